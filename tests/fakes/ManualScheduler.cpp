#include "fakes/ManualScheduler.h"

namespace orvi::test {

void ManualScheduler::schedule(Duration delay, Entry entry) {
    std::lock_guard lock(m_mutex);
    const auto when = m_now + std::chrono::duration_cast<Clock::duration>(delay);
    m_queue.emplace(std::make_pair(when, m_sequence++), std::move(entry));
}

void ManualScheduler::post(Task task) { schedule(Duration(0), Entry{std::move(task), nullptr}); }

void ManualScheduler::postAfter(Duration delay, Task task) { schedule(delay, Entry{std::move(task), nullptr}); }

TimerHandle ManualScheduler::startTimer(Duration delay, Task task) {
    auto cancelled = std::make_shared<bool>(false);
    schedule(delay, Entry{std::move(task), cancelled});
    return TimerHandle(cancelled);
}

TimerHandle ManualScheduler::startRepeatingTimer(Duration interval, Task task) {
    auto cancelled = std::make_shared<bool>(false);
    schedule(interval, Entry{std::move(task), cancelled, interval, true});
    return TimerHandle(cancelled);
}

void ManualScheduler::runInBackground(Task work) { work(); }

Clock::time_point ManualScheduler::now() const {
    std::lock_guard lock(m_mutex);
    return m_now;
}

double ManualScheduler::elapsed() const {
    std::lock_guard lock(m_mutex);
    return std::chrono::duration<double>(m_now - m_start).count();
}

std::size_t ManualScheduler::pendingCount() const {
    std::lock_guard lock(m_mutex);
    std::size_t count = 0;
    for (const auto& [key, entry] : m_queue)
        if (!entry.cancelled || !*entry.cancelled)
            ++count;
    return count;
}

bool ManualScheduler::runNextDue(Clock::time_point until) {
    Entry entry;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_queue.begin();
        if (it == m_queue.end() || it->first.first > until)
            return false;
        if (it->first.first > m_now)
            m_now = it->first.first;
        entry = std::move(it->second);
        m_queue.erase(it);
    }
    if (entry.cancelled && *entry.cancelled)
        return true;
    if (entry.repeating) {
        schedule(entry.interval, Entry{entry.task, entry.cancelled, entry.interval, true});
    } else if (entry.cancelled) {
        *entry.cancelled = true;
    }
    entry.task();
    return true;
}

void ManualScheduler::runPending() {
    while (runNextDue(now())) {
    }
}

void ManualScheduler::advance(Duration by) {
    const auto until = now() + std::chrono::duration_cast<Clock::duration>(by);
    while (runNextDue(until)) {
    }
    std::lock_guard lock(m_mutex);
    m_now = until;
}

bool ManualScheduler::runUntil(const std::function<bool()>& done, Duration timeout) {
    const auto deadline = now() + std::chrono::duration_cast<Clock::duration>(timeout);
    while (!done()) {
        if (!runNextDue(deadline))
            break;
    }
    if (!done()) {
        std::lock_guard lock(m_mutex);
        if (m_now < deadline)
            m_now = deadline;
    }
    return done();
}

} // namespace orvi::test

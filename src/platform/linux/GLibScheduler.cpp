#include "platform/linux/GLibScheduler.h"

#include <glib.h>
#include <memory>
#include <thread>

namespace orvi::platform {
namespace {

struct TimerState {
    Scheduler::Task task;
    std::shared_ptr<bool> cancelled;
    bool repeating = false;
};

guint toMilliseconds(Duration d) {
    const double ms = d.count() * 1000.0;
    return ms <= 0 ? 0 : static_cast<guint>(ms + 0.5);
}

gboolean runOnce(gpointer data) {
    auto* task = static_cast<Scheduler::Task*>(data);
    (*task)();
    return G_SOURCE_REMOVE;
}

void deleteTask(gpointer data) {
    delete static_cast<Scheduler::Task*>(data);
}

gboolean runTimer(gpointer data) {
    auto* state = static_cast<TimerState*>(data);
    if (*state->cancelled)
        return G_SOURCE_REMOVE;
    if (!state->repeating)
        *state->cancelled = true;
    // Copy first: the task may drop the handle, and with it nothing else, but it may also
    // start a new timer that reuses nothing of ours.
    auto task = state->task;
    task();
    return state->repeating && !*state->cancelled ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}

void deleteTimer(gpointer data) {
    delete static_cast<TimerState*>(data);
}

TimerHandle addTimer(Duration delay, Scheduler::Task task, bool repeating) {
    auto cancelled = std::make_shared<bool>(false);
    auto* state = new TimerState{std::move(task), cancelled, repeating};
    const guint id =
        g_timeout_add_full(G_PRIORITY_DEFAULT, toMilliseconds(delay), runTimer, state, deleteTimer);
    // Only called while the task is still due, so the source is still attached under this id.
    return TimerHandle(cancelled, [id] { g_source_remove(id); });
}

} // namespace

void GLibScheduler::post(Task task) {
    // An idle source, not g_main_context_invoke: the latter runs at once when called on the
    // main thread, and callers rely on the task running after they return.
    g_idle_add_full(G_PRIORITY_DEFAULT, runOnce, new Task(std::move(task)), deleteTask);
}

void GLibScheduler::postAfter(Duration delay, Task task) {
    auto* source = g_timeout_source_new(toMilliseconds(delay));
    g_source_set_callback(source, runOnce, new Task(std::move(task)), deleteTask);
    g_source_attach(source, g_main_context_default());
    g_source_unref(source);
}

TimerHandle GLibScheduler::startTimer(Duration delay, Task task) {
    return addTimer(delay, std::move(task), false);
}

TimerHandle GLibScheduler::startRepeatingTimer(Duration interval, Task task) {
    return addTimer(interval, std::move(task), true);
}

namespace {

// A few workers, started on first use: enough that a long export does not hold up a
// short probe queued behind it.
constexpr std::size_t kWorkers = 4;

} // namespace

GLibScheduler::~GLibScheduler() {
    drainBackgroundWork();
}

void GLibScheduler::runInBackground(Task work) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_draining) {
            if (m_workers.size() < kWorkers)
                m_workers.emplace_back([this] { workerLoop(); });
            m_queue.push_back(std::move(work));
            m_workAvailable.notify_one();
            return;
        }
    }
    work();
}

void GLibScheduler::workerLoop() {
    for (;;) {
        Task task;
        {
            std::unique_lock lock(m_mutex);
            m_workAvailable.wait(lock, [this] { return m_draining || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            task = std::move(m_queue.front());
            m_queue.pop_front();
        }
        task();
    }
}

void GLibScheduler::drainBackgroundWork() {
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(m_mutex);
        m_draining = true;
        workers.swap(m_workers);
    }
    m_workAvailable.notify_all();
    for (auto& worker : workers)
        worker.join();
}

bool GLibScheduler::runUntil(const std::function<bool()>& done, Duration timeout) {
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(timeout);
    auto* context = g_main_context_default();
    while (!done() && Clock::now() < deadline) {
        // Wake at least every 10 ms so the deadline is honoured even when nothing arrives.
        auto* tick = g_timeout_source_new(10);
        g_source_set_callback(
            tick, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
        g_source_attach(tick, context);
        g_main_context_iteration(context, TRUE);
        g_source_destroy(tick);
        g_source_unref(tick);
    }
    return done();
}

} // namespace orvi::platform

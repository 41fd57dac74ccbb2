#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <utility>

namespace orvi {

using Duration = std::chrono::duration<double>;
using Clock = std::chrono::steady_clock;

// A pending delayed task. Dropping the handle cancels the task, so a timer can never
// outlive the object that owns it.
class TimerHandle {
public:
    TimerHandle() = default;
    explicit TimerHandle(std::shared_ptr<bool> cancelled) : m_cancelled(std::move(cancelled)) {}
    // `release` frees the scheduler's side of a task cancelled before it ran out (its
    // captures included) at once rather than at its next tick.
    TimerHandle(std::shared_ptr<bool> cancelled, std::function<void()> release)
        : m_cancelled(std::move(cancelled)), m_release(std::move(release)) {}
    TimerHandle(TimerHandle&&) noexcept = default;
    TimerHandle& operator=(TimerHandle&& other) noexcept {
        if (this != &other) {
            cancel();
            m_cancelled = std::move(other.m_cancelled);
            m_release = std::move(other.m_release);
        }
        return *this;
    }
    TimerHandle(const TimerHandle&) = delete;
    TimerHandle& operator=(const TimerHandle&) = delete;
    ~TimerHandle() { cancel(); }

    void cancel() {
        if (m_cancelled) {
            const bool wasActive = !*m_cancelled;
            *m_cancelled = true;
            m_cancelled.reset();
            if (auto release = std::exchange(m_release, nullptr); release && wasActive)
                release();
        }
    }
    // True while the task is scheduled and not cancelled. A one-shot task that has run
    // also reads false.
    bool isActive() const { return m_cancelled && !*m_cancelled; }

private:
    std::shared_ptr<bool> m_cancelled;
    std::function<void()> m_release;
};

// The main queue and its clock. Core code schedules all time-based work through it so that
// tests can run a 45-second watchdog on a virtual clock in microseconds.
class Scheduler {
public:
    using Task = std::function<void()>;

    virtual ~Scheduler() = default;

    // Runs the task on the main queue soon. Safe to call from any thread.
    virtual void post(Task task) = 0;

    // Runs the task on the main queue after the delay; fire and forget. Safe from any thread.
    // The task must hold its owner weakly.
    virtual void postAfter(Duration delay, Task task) = 0;

    // Runs the task once after the delay unless the handle is cancelled or dropped first.
    // Main thread only.
    [[nodiscard]] virtual TimerHandle startTimer(Duration delay, Task task) = 0;

    // Runs the task every interval until the handle is cancelled or dropped. Main thread only.
    [[nodiscard]] virtual TimerHandle startRepeatingTimer(Duration interval, Task task) = 0;

    // Runs work on a background thread; whatever it wants to report it posts back itself.
    // Work still running when the scheduler is shut down is waited for.
    virtual void runInBackground(Task work) = 0;

    // Keeps delivering main-queue work (engine answers included) until done() is true or
    // the timeout has passed. Returns done(). Used only by the termination save.
    virtual bool runUntil(const std::function<bool()>& done, Duration timeout) = 0;

    virtual Clock::time_point now() const = 0;

    // Runs work in the background and delivers its result on the main queue.
    template <class Result>
    void runInBackground(std::function<Result()> work, std::function<void(Result)> completion) {
        runInBackground([this, work = std::move(work), completion = std::move(completion)]() mutable {
            auto shared = std::make_shared<Result>(work());
            post([completion = std::move(completion), shared]() mutable { completion(std::move(*shared)); });
        });
    }
};

} // namespace orvi

#pragma once

#include "core/base/Result.h"
#include "core/base/Scheduler.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace orvi {

// Why the page is not on screen.
enum class PageFailure { noResponse, noConnection, serverError, keepsCrashing };

// What the window says instead of a blank page, and what its button does.
struct PageTroubleState {
    PageFailure failure = PageFailure::noConnection;
    int statusCode = 0;

    std::string title() const;
    std::string reason() const;
    std::string actionLabel() const;
    // A page that keeps crashing is reloaded only when the user asks: reloading it on a
    // timer would only crash it again and again.
    bool retriesOnItsOwn() const { return failure != PageFailure::keepsCrashing; }

    bool operator==(const PageTroubleState&) const = default;

    // The trouble a failed main-frame load means; none for a load that was cancelled or
    // turned into something else (a download, a policy decision).
    static std::optional<PageTroubleState> fromLoadError(const Error& error);
    // A main-frame answer the page cannot be shown from.
    static std::optional<PageTroubleState> fromStatusCode(int statusCode);
};

// Keeps the trouble state of one page and the retries that end it: after a failed load the
// page is tried again 5 s, 15 s, 60 s and then every 5 minutes later, at once when the
// network comes back or the user asks, until a load succeeds. Main thread only.
class PageTrouble {
public:
    static constexpr std::array<Duration, 4> kRetryDelays{std::chrono::seconds(5), std::chrono::seconds(15),
                                                          std::chrono::seconds(60), std::chrono::minutes(5)};

    explicit PageTrouble(Scheduler& scheduler);

    const std::optional<PageTroubleState>& state() const { return m_state; }

    // Runs a retry; set by the page's supervisor, which holds itself weakly in it.
    std::function<void()> onRetry;
    std::function<void(const std::optional<PageTroubleState>&)> onChanged;

    void failed(const PageTroubleState& state);
    void loaded();
    void networkBack();
    void retryNow();

private:
    void show(std::optional<PageTroubleState> state);
    void retry();

    Scheduler& m_scheduler;
    std::optional<PageTroubleState> m_state;
    std::size_t m_failuresInARow = 0;
    TimerHandle m_retry;
};

} // namespace orvi

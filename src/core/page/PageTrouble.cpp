#include "core/page/PageTrouble.h"

#include "core/base/Log.h"
#include "engine/EngineTypes.h"

#include <algorithm>

namespace orvi {

namespace {

long long wholeSeconds(Duration delay) {
    return std::chrono::duration_cast<std::chrono::seconds>(delay).count();
}

} // namespace

std::string PageTroubleState::title() const {
    return "Не удалось загрузить ORVI";
}

std::string PageTroubleState::reason() const {
    switch (failure) {
    case PageFailure::noResponse:
        return "Сервер не отвечает";
    case PageFailure::noConnection:
        return "Нет соединения с сервером";
    case PageFailure::serverError:
        return "Сервер вернул ошибку " + std::to_string(statusCode);
    case PageFailure::keepsCrashing:
        return "Страница несколько раз подряд аварийно завершилась";
    }
    return {};
}

std::string PageTroubleState::actionLabel() const {
    return failure == PageFailure::keepsCrashing ? "Перезагрузить" : "Повторить";
}

std::optional<PageTroubleState> PageTroubleState::fromLoadError(const Error& error) {
    // The engine's own errors (a navigation interrupted by a policy decision or turned into
    // a download) are no trouble: the page that asked for it is still there.
    if (error.domain == engine::kWebKitErrorDomain)
        return std::nullopt;
    if (error.domain == engine::kURLErrorDomain) {
        if (error.code == engine::kURLErrorCancelled)
            return std::nullopt;
        if (error.code == engine::kURLErrorTimedOut)
            return PageTroubleState{PageFailure::noResponse};
    }
    return PageTroubleState{PageFailure::noConnection};
}

std::optional<PageTroubleState> PageTroubleState::fromStatusCode(int statusCode) {
    if (statusCode >= 500 && statusCode <= 599)
        return PageTroubleState{PageFailure::serverError, statusCode};
    return std::nullopt;
}

PageTrouble::PageTrouble(Scheduler& scheduler) : m_scheduler(scheduler) {}

void PageTrouble::failed(const PageTroubleState& state) {
    m_retry.cancel();
    if (!state.retriesOnItsOwn()) {
        logLine("❌ Page shows its trouble state: " + state.reason() + "; reloading only on request");
        show(state);
        return;
    }
    const Duration delay = kRetryDelays[std::min(m_failuresInARow, kRetryDelays.size() - 1)];
    ++m_failuresInARow;
    logLine("⚠️ Page could not load (" + state.reason() + "), retrying in " +
            std::to_string(wholeSeconds(delay)) + "s");
    m_retry = m_scheduler.startTimer(delay, [this] { retry(); });
    show(state);
}

void PageTrouble::loaded() {
    m_retry.cancel();
    m_failuresInARow = 0;
    if (!m_state)
        return;
    logLine("✅ Page loaded, trouble state cleared");
    show(std::nullopt);
}

void PageTrouble::networkBack() {
    if (!m_state || !m_state->retriesOnItsOwn())
        return;
    logLine("🌐 Network is back, retrying the page at once");
    retry();
}

void PageTrouble::retryNow() {
    if (m_state)
        retry();
}

void PageTrouble::retry() {
    // The next failure schedules the next retry; until a load succeeds the state stays.
    m_retry.cancel();
    if (onRetry)
        onRetry();
}

void PageTrouble::show(std::optional<PageTroubleState> state) {
    m_state = std::move(state);
    if (onChanged)
        onChanged(m_state);
}

} // namespace orvi

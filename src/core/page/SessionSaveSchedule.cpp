#include "core/page/SessionSaveSchedule.h"

#include "core/base/Log.h"

namespace orvi {
namespace {

std::string hashCookies(const std::vector<engine::Cookie>& cookies) {
    std::string hash;
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        if (i)
            hash += '|';
        hash += cookies[i].name + "-" + cookies[i].value;
    }
    return hash;
}

} // namespace

SessionSaveSchedule::SessionSaveSchedule(Scheduler& scheduler, StorageType storageType)
    : m_scheduler(scheduler), m_storageType(storageType) {}

void SessionSaveSchedule::startPeriodic(std::function<bool()> tick) {
    m_timer.cancel();
    const auto interval =
        m_storageType == StorageType::ephemeral ? kEphemeralSaveInterval : kPersistentSaveInterval;
    m_timer = m_scheduler.startRepeatingTimer(interval, [this, tick = std::move(tick)] {
        if (!tick())
            m_timer.cancel();
    });
}

void SessionSaveSchedule::stop() {
    m_timer.cancel();
    m_cookieChange.cancel();
}

void SessionSaveSchedule::afterCookieChange(std::function<void()> check) {
    if (!m_cookieChange.isActive())
        m_cookieChange = m_scheduler.startTimer(kCookieChangeDelay, std::move(check));
}

void SessionSaveSchedule::afterLogin(const std::function<void(const std::string& label)>& attempt) {
    if (loginSavesPending())
        return;
    m_loginFirst = m_scheduler.startTimer(std::chrono::seconds(1), [attempt] { attempt("t+1s"); });
    m_loginSecond = m_scheduler.startTimer(std::chrono::seconds(3), [attempt] { attempt("t+3s"); });
}

SessionSaveSchedule::CookieChange
SessionSaveSchedule::cookiesChanged(const std::vector<engine::Cookie>& cookies) {
    const auto hash = hashCookies(cookies);
    if (m_lastCookieCount == 0 && m_lastCookieHash.empty()) {
        m_lastCookieCount = cookies.size();
        m_lastCookieHash = hash;
        logLine("📊 Initial cookie state: " + std::to_string(cookies.size()) + " cookies");
    }
    if (cookies.size() == m_lastCookieCount && hash == m_lastCookieHash)
        return CookieChange::none;
    logLine("🔄 Cookies changed: " + std::to_string(m_lastCookieCount) + " -> " +
            std::to_string(cookies.size()) + ", saving...");
    const bool emptied = cookies.empty() && m_lastCookieCount > 0;
    m_lastCookieCount = cookies.size();
    m_lastCookieHash = hash;
    return emptied ? CookieChange::emptied : CookieChange::changed;
}

} // namespace orvi

#pragma once

#include "core/base/Scheduler.h"
#include "core/profiles/Profile.h"
#include "engine/EngineTypes.h"

#include <functional>
#include <string>
#include <vector>

namespace orvi {

// When a page's session is saved besides the moments the page reports itself: on a repeating
// interval (shorter for a profile whose data store dies with the process), shortly after the
// engine reports a cookie change, and twice shortly after a login, because the service writes
// its tokens in steps. Main thread only.
class SessionSaveSchedule {
public:
    static constexpr Duration kEphemeralSaveInterval = std::chrono::seconds(10);
    static constexpr Duration kPersistentSaveInterval = std::chrono::seconds(30);
    static constexpr Duration kCookieChangeDelay = std::chrono::seconds(1);

    enum class CookieChange {
        none,
        changed,
        // Cookies seen before are all gone: the service ended the session.
        emptied,
    };

    SessionSaveSchedule(Scheduler& scheduler, StorageType storageType);

    // (Re)starts the repeating save; the timer stops when `tick` answers false.
    void startPeriodic(std::function<bool()> tick);
    // Stops the periodic save and a pending cookie check.
    void stop();
    // Runs `check` a moment after the first of a burst of changes; the changes that follow
    // before it runs join it, so a page that keeps changing its cookies is still checked.
    void afterCookieChange(std::function<void()> check);
    // Calls `attempt` one and three seconds from now, with "t+1s" and "t+3s". A page that
    // reports its login again before both ran gets no second pair.
    void afterLogin(const std::function<void(const std::string& label)>& attempt);
    bool loginSavesPending() const { return m_loginFirst.isActive() || m_loginSecond.isActive(); }
    // Whether the cookies differ from the last ones seen; the first ones seen are the
    // baseline, not a change.
    CookieChange cookiesChanged(const std::vector<engine::Cookie>& cookies);

private:
    Scheduler& m_scheduler;
    const StorageType m_storageType;
    TimerHandle m_timer;
    TimerHandle m_loginFirst;
    TimerHandle m_loginSecond;
    TimerHandle m_cookieChange;
    std::size_t m_lastCookieCount = 0;
    std::string m_lastCookieHash;
};

} // namespace orvi

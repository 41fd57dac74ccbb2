#pragma once

#include "core/base/Scheduler.h"
#include "core/profiles/Profile.h"
#include "engine/EngineTypes.h"

#include <functional>
#include <string>
#include <vector>

namespace orvi {

// When a page's session is saved besides the moments the page reports itself: on a repeating
// interval (shorter for a profile whose data store dies with the process), whenever its
// cookies change, and twice shortly after a login, because the service writes its tokens in
// steps. Main thread only.
class SessionSaveSchedule {
public:
    static constexpr Duration kEphemeralSaveInterval = std::chrono::seconds(10);
    static constexpr Duration kPersistentSaveInterval = std::chrono::seconds(30);

    SessionSaveSchedule(Scheduler& scheduler, StorageType storageType);

    // (Re)starts the repeating save; the timer stops when `tick` answers false.
    void startPeriodic(std::function<bool()> tick);
    void stop();
    // Calls `attempt` one and three seconds from now, with "t+1s" and "t+3s". A page that
    // reports its login again before both ran gets no second pair.
    void afterLogin(const std::function<void(const std::string& label)>& attempt);
    bool loginSavesPending() const { return m_loginFirst.isActive() || m_loginSecond.isActive(); }
    // True when the cookies differ from the last ones seen; the first ones seen are the
    // baseline, not a change.
    bool cookiesChanged(const std::vector<engine::Cookie>& cookies);

private:
    Scheduler& m_scheduler;
    const StorageType m_storageType;
    TimerHandle m_timer;
    TimerHandle m_loginFirst;
    TimerHandle m_loginSecond;
    std::size_t m_lastCookieCount = 0;
    std::string m_lastCookieHash;
};

} // namespace orvi

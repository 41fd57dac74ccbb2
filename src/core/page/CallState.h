#pragma once

#include "core/base/Json.h"
#include "core/base/Scheduler.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace orvi {

// Folds the call-state script's reports from every frame of one page into one call flag,
// bridges the short gap while a call switches between audio and video, and decides whether
// the page may start the camera or microphone. Main thread only.
class CallState {
public:
    static constexpr Duration kTransitionGracePeriod = std::chrono::seconds(12);
    static constexpr Duration kHangUpConfirmDelay = std::chrono::milliseconds(250);
    static constexpr Duration kRecentHangUp = std::chrono::seconds(5);
    static constexpr Duration kGestureWindow = std::chrono::seconds(20);
    // Bounds what a page can make us keep: a page has a few frames, not thousands.
    static constexpr std::size_t kMaxContexts = 64;

    explicit CallState(Scheduler& scheduler);

    // One message posted to "callStateHandler". Returns false for a malformed one.
    bool handleMessage(const Json& body);

    // Whether a camera or microphone request may go ahead now.
    bool mayCapture(bool callsEnabled, const std::string& profileName) const;

    // The page that reported went away (navigation, crash, detach): nothing it said still
    // holds, so a call it left behind can never keep capture allowed.
    void reset();

    bool hasActiveCall() const { return m_hasActiveCall; }

    std::function<void(bool)> onCallStateChanged;
    std::function<void()> onMediaCaptureRequested;
    // The page's engine has no peer connections at all.
    std::function<void()> onCallsUnavailable;

private:
    bool anyContextActive() const;
    void scheduleDeactivation();
    void confirmDeactivation();
    void setActive(bool active);

    Scheduler& m_scheduler;
    std::shared_ptr<CallState*> m_self;
    bool m_hasActiveCall = false;
    std::map<std::string, bool> m_callStateByContext;
    TimerHandle m_pendingCallDeactivation;
    std::optional<Clock::time_point> m_lastExplicitCallEnd;
    std::optional<Clock::time_point> m_mediaCaptureAllowedUntil;
};

} // namespace orvi

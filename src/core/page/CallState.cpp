#include "core/page/CallState.h"

#include "core/base/Log.h"

#include <algorithm>
#include <cstdio>

namespace orvi {

namespace {

std::string textOf(const Json& body, const char* key) {
    const auto it = body.find(key);
    if (it == body.end())
        return "unknown";
    if (it->is_string())
        return it->get<std::string>();
    if (it->is_boolean())
        return it->get<bool>() ? "true" : "false";
    if (it->is_number_integer())
        return std::to_string(it->get<long long>());
    if (it->is_number())
        return it->dump();
    return "unknown";
}

bool isTrue(const Json& body, const char* key) {
    const auto it = body.find(key);
    return it != body.end() && it->is_boolean() && it->get<bool>();
}

std::string seconds(Duration delay) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", delay.count());
    return text;
}

} // namespace

CallState::CallState(Scheduler& scheduler)
    : m_scheduler(scheduler), m_self(std::make_shared<CallState*>(this)) {}

bool CallState::handleMessage(const Json& body) {
    if (!body.is_object())
        return false;
    if (isTrue(body, "mediaIntent")) {
        m_lastExplicitCallEnd.reset();
        m_mediaCaptureAllowedUntil =
            m_scheduler.now() + std::chrono::duration_cast<Clock::duration>(kGestureWindow);
        logLine("🎙️ Media capture authorized by explicit user gesture");
        if (onMediaCaptureRequested)
            onMediaCaptureRequested();
        return true;
    }
    if (isTrue(body, "callEndIntent")) {
        m_lastExplicitCallEnd = m_scheduler.now();
        logLine("🛑 Explicit call end gesture detected");
        return true;
    }
    if (const auto event = body.find("event"); event != body.end() && event->is_string()) {
        const auto name = event->get<std::string>();
        if (name == "peerState") {
            logLine("🧪 WebRTC peer " + textOf(body, "peerId") + " [" + textOf(body, "reason") +
                    "]: connection=" + textOf(body, "connection") + ", ice=" + textOf(body, "ice") +
                    ", gathering=" + textOf(body, "gathering") + ", signaling=" + textOf(body, "signaling") +
                    ", audio=" + textOf(body, "audioSenders") + "/" + textOf(body, "audioReceivers") +
                    ", video=" + textOf(body, "videoSenders") + "/" + textOf(body, "videoReceivers") + " " +
                    textOf(body, "detail"));
        } else if (name == "senderState") {
            logLine("📹 WebRTC sender peer " + textOf(body, "peerId") + " [" + textOf(body, "reason") +
                    "]: kind=" + textOf(body, "kind") + ", state=" + textOf(body, "readyState") +
                    ", enabled=" + textOf(body, "enabled") + ", muted=" + textOf(body, "muted") + " " +
                    textOf(body, "detail"));
        } else if (name == "callsUnavailable") {
            if (onCallsUnavailable)
                onCallsUnavailable();
        } else {
            logLine("🎧 WebRTC event: " + name +
                    ", userInitiated=" + (isTrue(body, "userInitiated") ? "true" : "false"));
        }
        return true;
    }
    const auto active = body.find("active");
    const auto context = body.find("contextId");
    if (active == body.end() || !active->is_boolean() || context == body.end() || !context->is_string())
        return false;
    const auto contextId = context->get<std::string>();
    if (!m_callStateByContext.count(contextId) && m_callStateByContext.size() >= kMaxContexts) {
        // A page minting contexts endlessly gets its inactive ones forgotten first; an active
        // context is never dropped, so a real call cannot be lost this way.
        auto inactive = std::find_if(m_callStateByContext.begin(), m_callStateByContext.end(),
                                     [](const auto& entry) { return !entry.second; });
        if (inactive == m_callStateByContext.end())
            return false;
        m_callStateByContext.erase(inactive);
    }
    m_callStateByContext[contextId] = active->get<bool>();
    if (anyContextActive()) {
        m_pendingCallDeactivation.cancel();
        if (!m_hasActiveCall)
            setActive(true);
    } else if (m_hasActiveCall && !m_pendingCallDeactivation.isActive()) {
        scheduleDeactivation();
    }
    return true;
}

bool CallState::anyContextActive() const {
    return std::any_of(m_callStateByContext.begin(), m_callStateByContext.end(),
                       [](const auto& entry) { return entry.second; });
}

void CallState::scheduleDeactivation() {
    const bool hungUp =
        m_lastExplicitCallEnd && m_scheduler.now() - *m_lastExplicitCallEnd <
                                     std::chrono::duration_cast<Clock::duration>(kRecentHangUp);
    const Duration delay = hungUp ? kHangUpConfirmDelay : kTransitionGracePeriod;
    std::weak_ptr<CallState*> weak = m_self;
    m_pendingCallDeactivation = m_scheduler.startTimer(delay, [weak] {
        if (auto self = weak.lock())
            (*self)->confirmDeactivation();
    });
    logLine("🔄 WebRTC transition detected; waiting " + seconds(delay) +
            "s for audio/video/background renegotiation");
}

void CallState::confirmDeactivation() {
    m_pendingCallDeactivation = TimerHandle();
    if (!anyContextActive() && m_hasActiveCall) {
        m_hasActiveCall = false;
        logLine("📡 WebRTC call state: inactive (confirmed)");
        if (onCallStateChanged)
            onCallStateChanged(false);
    }
}

void CallState::setActive(bool active) {
    m_hasActiveCall = active;
    logLine(active ? "📡 WebRTC call state: active" : "📡 WebRTC call state: inactive (page gone)");
    if (onCallStateChanged)
        onCallStateChanged(active);
}

bool CallState::mayCapture(bool callsEnabled, const std::string& profileName) const {
    if (!callsEnabled) {
        logLine("⚠️ Calls are disabled for profile: " + profileName);
        return false;
    }
    if (m_hasActiveCall)
        return true;
    if (m_mediaCaptureAllowedUntil && m_scheduler.now() <= *m_mediaCaptureAllowedUntil)
        return true;
    logLine("🔒 Blocked background media capture without user intent");
    return false;
}

void CallState::reset() {
    m_callStateByContext.clear();
    m_pendingCallDeactivation.cancel();
    m_mediaCaptureAllowedUntil.reset();
    m_lastExplicitCallEnd.reset();
    if (m_hasActiveCall)
        setActive(false);
}

} // namespace orvi

#include "core/web/scripts/OrviUserScripts.h"

namespace orvi {

std::string OrviUserScripts::callStateDetectionScript() {
    // Gesture and capture tracking come first and never depend on peer connections: an
    // engine built without WebRTC still needs the gesture window for the microphone.
    return R"JS((function () {
    if (window.__orviWrapperCallStateInstalled) return;
    window.__orviWrapperCallStateInstalled = true;
    function post(message) {
        try {
            var handlers = window.webkit && window.webkit.messageHandlers;
            if (handlers && handlers.callStateHandler) handlers.callStateHandler.postMessage(message);
        } catch (e) {}
    }
    var peers = new Set();
    var audioTracks = new Set();
    var lastState = false;
    var lastPeerActiveAt = 0;
    var explicitEndRequested = false;
    var mediaGestureUntil = 0;
    var lastMediaIntentAt = 0;
    var contextId = Math.random().toString(36).slice(2) + Date.now().toString(36);
    var peerIds = new WeakMap();
    var nextPeerId = 1;
    function peerId(pc) {
        if (!pc) return "?";
        if (!peerIds.has(pc)) peerIds.set(pc, nextPeerId++);
        return peerIds.get(pc);
    }
    function text(value) { return value === undefined || value === null ? "unknown" : String(value); }
    function count(list, kind) {
        var n = 0;
        try { list.forEach(function (x) { if (x.track && x.track.kind === kind) n++; }); } catch (e) {}
        return n;
    }
    function diagnosePeer(pc, reason, detail) {
        try {
            var senders = pc.getSenders ? pc.getSenders() : [];
            var receivers = pc.getReceivers ? pc.getReceivers() : [];
            post({event: "peerState", reason: reason, peerId: peerId(pc), contextId: contextId,
                  connection: text(pc.connectionState), ice: text(pc.iceConnectionState),
                  gathering: text(pc.iceGatheringState), signaling: text(pc.signalingState),
                  audioSenders: count(senders, "audio"), audioReceivers: count(receivers, "audio"),
                  videoSenders: count(senders, "video"), videoReceivers: count(receivers, "video"),
                  detail: detail ? String(detail) : ""});
        } catch (e) {}
    }
    function diagnoseSender(sender, reason, detail) {
        try {
            var track = sender && sender.track;
            var owner = null;
            peers.forEach(function (pc) {
                try { if (pc.getSenders().indexOf(sender) >= 0) owner = pc; } catch (e) {}
            });
            post({event: "senderState", reason: reason, peerId: owner ? peerId(owner) : "?", contextId: contextId,
                  kind: track ? track.kind : "none", readyState: track ? track.readyState : "none",
                  enabled: !!(track && track.enabled), muted: !!(track && track.muted),
                  detail: detail ? String(detail) : ""});
            if (owner) diagnosePeer(owner, reason, detail);
        } catch (e) {}
    }
    function report() {
        try {
            peers.forEach(function (pc) { if (pc.connectionState === "closed") peers.delete(pc); });
            audioTracks.forEach(function (t) { if (t.readyState === "ended") audioTracks.delete(t); });
            var now = Date.now();
            var peerActive = false;
            peers.forEach(function (pc) {
                var connecting = pc.connectionState === "connecting" || pc.connectionState === "connected" ||
                    pc.iceConnectionState === "checking" || pc.iceConnectionState === "connected" ||
                    pc.iceConnectionState === "completed";
                var liveAudio = false;
                try {
                    pc.getSenders().forEach(function (s) {
                        if (s.track && s.track.kind === "audio" && s.track.readyState === "live") liveAudio = true;
                    });
                } catch (e) {}
                if (connecting && liveAudio) peerActive = true;
            });
            if (peerActive) { lastPeerActiveAt = now; explicitEndRequested = false; }
            var liveCapture = false;
            audioTracks.forEach(function (t) { if (t.readyState === "live" && t.enabled) liveCapture = true; });
            var bridging = lastState && !explicitEndRequested && liveCapture && now - lastPeerActiveAt < 12000;
            var active = peerActive || bridging;
            if (active !== lastState) {
                lastState = active;
                post({active: active, contextId: contextId});
            }
        } catch (e) {}
    }
    function trackPeer(pc) {
        if (!pc || peers.has(pc)) return;
        peers.add(pc);
        try {
            pc.addEventListener("connectionstatechange", function () { report(); diagnosePeer(pc, "connection"); });
            pc.addEventListener("iceconnectionstatechange", function () { report(); diagnosePeer(pc, "ice"); });
            pc.addEventListener("icegatheringstatechange", function () { diagnosePeer(pc, "gathering"); });
            pc.addEventListener("signalingstatechange", function () { diagnosePeer(pc, "signaling"); });
            pc.addEventListener("negotiationneeded", function () { diagnosePeer(pc, "negotiationneeded"); });
            pc.addEventListener("icecandidateerror", function (e) {
                diagnosePeer(pc, "iceCandidateError", (e && e.errorCode) + " " + (e && e.errorText));
            });
        } catch (e) {}
        diagnosePeer(pc, "tracked");
        report();
    }
    function trackStream(stream, userInitiated) {
        try {
            stream.getAudioTracks().forEach(function (t) {
                audioTracks.add(t);
                t.addEventListener("ended", report);
            });
        } catch (e) {}
        post({event: "getUserMedia", userInitiated: userInitiated, contextId: contextId});
    }
    var endPattern = /(hang.?up|end.?call|leave.?call|decline|reject|сброс|завершить.?звон|отклонить)/i;
    var callPattern = /(call|phone|answer|microphone|mic|voice|audio|video|camera|record|звон|принять|ответить|микрофон|голос|аудио|видео|запис)/i;
    function onGesture(event) {
        try {
            var target = event.target;
            if (target && target.nodeType !== 1) target = target.parentElement;
            var control = target && target.closest ? target.closest('button, [role="button"], [aria-label], [data-testid]') : null;
            if (!control) return;
            var parts = [control.getAttribute("aria-label"), control.getAttribute("title"),
                         control.getAttribute("data-testid"),
                         typeof control.className === "string" ? control.className : null,
                         (control.textContent || "").trim().slice(0, 40)];
            var label = parts.filter(function (p) { return p; }).join(" ").toLowerCase();
            if (endPattern.test(label)) {
                explicitEndRequested = true;
                post({callEndIntent: true});
                report();
            } else if (callPattern.test(label)) {
                explicitEndRequested = false;
                var now = Date.now();
                mediaGestureUntil = now + 15000;
                if (now - lastMediaIntentAt >= 500) {
                    lastMediaIntentAt = now;
                    post({mediaIntent: true});
                }
            }
        } catch (e) {}
    }
    document.addEventListener("pointerdown", onGesture, true);
    document.addEventListener("click", onGesture, true);
    try {
        var devices = navigator.mediaDevices;
        if (devices && typeof devices.getUserMedia === "function") {
            var originalGetUserMedia = devices.getUserMedia;
            devices.getUserMedia = function () {
                var userInitiated = Date.now() <= mediaGestureUntil;
                var result = originalGetUserMedia.apply(devices, arguments);
                return Promise.resolve(result).then(function (stream) {
                    trackStream(stream, userInitiated);
                    return stream;
                });
            };
        }
    } catch (e) {}
    var Peer = window.RTCPeerConnection;
    if (typeof Peer !== "function" || !Peer.prototype) {
        post({event: "callsUnavailable", userInitiated: false, contextId: contextId});
    } else {
        try {
            var proto = Peer.prototype;
            var addTrack = proto.addTrack;
            if (addTrack) proto.addTrack = function (track) {
                trackPeer(this);
                var sender = addTrack.apply(this, arguments);
                diagnosePeer(this, "addTrack", track && track.kind);
                report();
                return sender;
            };
            var addTransceiver = proto.addTransceiver;
            if (addTransceiver) proto.addTransceiver = function () {
                trackPeer(this);
                return addTransceiver.apply(this, arguments);
            };
            var setLocalDescription = proto.setLocalDescription;
            if (setLocalDescription) proto.setLocalDescription = function () {
                var pc = this;
                trackPeer(pc);
                var result = setLocalDescription.apply(pc, arguments);
                Promise.resolve(result).then(function () { diagnosePeer(pc, "localDescriptionSet"); },
                    function (error) { diagnosePeer(pc, "localDescriptionError", error && error.message); })
                    .then(report, report);
                return result;
            };
            var close = proto.close;
            if (close) proto.close = function () {
                var result = close.apply(this, arguments);
                report();
                return result;
            };
        } catch (e) {}
        try {
            var Sender = window.RTCRtpSender;
            var replaceTrack = Sender && Sender.prototype && Sender.prototype.replaceTrack;
            if (replaceTrack) Sender.prototype.replaceTrack = function () {
                var sender = this;
                diagnoseSender(sender, "replaceTrackRequested");
                var result = replaceTrack.apply(sender, arguments);
                Promise.resolve(result).then(function () { diagnoseSender(sender, "replaceTrackSucceeded"); },
                    function (error) { diagnoseSender(sender, "replaceTrackFailed", error && error.message); });
                return result;
            };
        } catch (e) {}
    }
    setInterval(report, 1000);
    post({active: false, contextId: contextId});
})();
)JS";
}

} // namespace orvi

// Generic classes such as "badge" or "count" are never read: the page uses them for time
// stamps, reactions and participant counts, and a zero is better than a false notification.
(function () {
try {
    if (window.__orviWrapperUnreadObserver) {
        window.__orviWrapperUnreadObserver.disconnect();
    }
    var profileId = {{profileId}};
    var lastSentCount = -1;
    var scheduled = false;

    function numberFrom(value) {
        if (value === null || value === undefined) return null;
        var text = String(value).trim().replace(/\s+/g, "");
        if (text === "") return null;
        var match = text.match(/\d+/);
        return match ? parseInt(match[0], 10) : null;
    }

    function isVisible(element) {
        if (!element || element.getAttribute("aria-hidden") === "true") return false;
        var style = window.getComputedStyle(element);
        return style.display !== "none" && style.visibility !== "hidden" && style.opacity !== "0";
    }

    var counterSelector = '[data-unread-count], [data-testid*="unread-count"], ' +
        '[aria-label*="непрочитан" i], [aria-label*="unread" i]';
    var chatSelector = '[role="listitem"], li, [data-chat-id], [data-dialog-id], ' +
        '[class*="chat" i], [class*="dialog" i]';

    function detectUnreadCount() {
        var titleMatch = (document.title || "").match(/[\(（]\s*(\d+)\s*[\)）]/);
        if (titleMatch) return parseInt(titleMatch[1], 10);

        var globalMax = 0;
        var chatSum = 0;
        var countedChats = new Set();
        var counters = document.querySelectorAll(counterSelector);
        for (var i = 0; i < counters.length; i++) {
            var element = counters[i];
            if (!isVisible(element)) continue;
            var value = numberFrom(element.getAttribute("data-unread-count"));
            if (value === null) value = numberFrom(element.getAttribute("aria-label"));
            if (value === null) value = numberFrom(element.textContent);
            if (value === null || value <= 0) continue;
            var chat = element.closest(chatSelector);
            if (chat) {
                if (!countedChats.has(chat)) {
                    countedChats.add(chat);
                    chatSum += value;
                }
            } else if (value > globalMax) {
                globalMax = value;
            }
        }
        if (globalMax > 0) return globalMax;
        if (chatSum > 0) return chatSum;
        return 0;
    }

    function sendCount() {
        scheduled = false;
        var count = detectUnreadCount();
        if (count === lastSentCount) return;
        lastSentCount = count;
        if (window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.unreadCountHandler) {
            window.webkit.messageHandlers.unreadCountHandler.postMessage({count: count, profileId: profileId});
        }
    }

    function scheduleScan() {
        if (scheduled) return;
        scheduled = true;
        setTimeout(sendCount, 150);
    }

    var observer = new MutationObserver(scheduleScan);
    window.__orviWrapperUnreadObserver = observer;
    observer.observe(document.documentElement, {
        childList: true,
        subtree: true,
        characterData: true,
        attributes: true,
        attributeFilter: ["class", "data-unread", "data-unread-count", "aria-label", "aria-hidden"]
    });
    sendCount();
} catch (error) {
    console.log("OrviWrapper unread detection error:", error);
}
})();

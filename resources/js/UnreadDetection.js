// Generic classes such as "badge" or "count" are never read: the page uses them for time
// stamps, reactions and participant counts, and a zero is better than a false notification.
(function () {
try {
    if (window.__orviWrapperUnreadObserver) {
        window.__orviWrapperUnreadObserver.disconnect();
    }
    if (window.__orviWrapperUnreadResize) {
        window.removeEventListener("resize", window.__orviWrapperUnreadResize);
    }
    var profileId = {{profileId}};
    var lastSentCount = -1;
    var scheduled = false;

    // A busy chat list changes a hundred times a second; reading every counter's style after
    // each burst cost the page more than its own work. So each counter keeps what was last
    // read of it, and a scan reads again only the subtrees the page changed since.
    var counters = new Map();
    var loose = new Set();
    var chats = new Map();
    var chatValues = new Map();
    var changedChats = new Set();
    var chatSum = 0;
    var changed = new Set();
    var removed = false;
    var rereadAll = true;
    var lastFullRead = 0;
    // What a subtree read cannot see (media queries, sibling selectors) is caught up this often.
    var fullReadInterval = 120000;
    var changedLimit = 500;

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

    function forget(element) {
        var entry = counters.get(element);
        if (!entry) return;
        counters.delete(element);
        if (!entry.chat) {
            loose.delete(element);
            return;
        }
        var members = chats.get(entry.chat);
        members.delete(element);
        if (members.size === 0) chats.delete(entry.chat);
        changedChats.add(entry.chat);
    }

    function read(element) {
        forget(element);
        if (!element.matches(counterSelector)) return;
        var value = numberFrom(element.getAttribute("data-unread-count"));
        if (value === null) value = numberFrom(element.getAttribute("aria-label"));
        if (value === null) value = numberFrom(element.textContent);
        if (value === null || value <= 0) return;
        var entry = {value: value, chat: element.closest(chatSelector), visible: isVisible(element)};
        counters.set(element, entry);
        if (!entry.chat) {
            loose.add(element);
            return;
        }
        if (!chats.has(entry.chat)) chats.set(entry.chat, new Set());
        chats.get(entry.chat).add(element);
        changedChats.add(entry.chat);
    }

    function readSubtree(root) {
        if (!root.isConnected) return;
        read(root);
        var found = root.querySelectorAll(counterSelector);
        for (var i = 0; i < found.length; i++) read(found[i]);
    }

    // A chat counts its first visible counter in document order, as a reader sees it.
    function chatValue(chat) {
        var first = null;
        (chats.get(chat) || []).forEach(function (element) {
            if (!counters.get(element).visible) return;
            if (!first || (first.compareDocumentPosition(element) & Node.DOCUMENT_POSITION_PRECEDING)) {
                first = element;
            }
        });
        return first ? counters.get(first).value : 0;
    }

    function refresh() {
        var now = Date.now();
        if (rereadAll || now - lastFullRead >= fullReadInterval) {
            rereadAll = false;
            removed = false;
            lastFullRead = now;
            counters.clear();
            loose.clear();
            chats.clear();
            chatValues.clear();
            changedChats.clear();
            changed.clear();
            chatSum = 0;
            readSubtree(document.documentElement);
        } else {
            changed.forEach(readSubtree);
            changed.clear();
        }
        if (removed) {
            removed = false;
            counters.forEach(function (entry, element) {
                if (!element.isConnected) forget(element);
            });
        }
        changedChats.forEach(function (chat) {
            var value = chatValue(chat);
            chatSum += value - (chatValues.get(chat) || 0);
            if (value > 0) chatValues.set(chat, value);
            else chatValues.delete(chat);
        });
        changedChats.clear();
    }

    function detectUnreadCount() {
        var titleMatch = (document.title || "").match(/[\(（]\s*(\d+)\s*[\)）]/);
        watchTitleOnly(!!titleMatch);
        if (titleMatch) return parseInt(titleMatch[1], 10);

        refresh();
        var globalMax = 0;
        loose.forEach(function (element) {
            var entry = counters.get(element);
            if (entry.visible && entry.value > globalMax) globalMax = entry.value;
        });
        return globalMax > 0 ? globalMax : chatSum;
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

    function isStyleSheet(node) {
        return node.nodeName === "STYLE" || node.nodeName === "LINK";
    }

    function noteText(element) {
        if (!element) return;
        if (isStyleSheet(element)) rereadAll = true;
        var counter = element.closest(counterSelector);
        if (counter) changed.add(counter);
    }

    function noteChanges(records) {
        for (var i = 0; i < records.length && !rereadAll; i++) {
            var record = records[i];
            if (record.type === "attributes") {
                changed.add(record.target);
            } else if (record.type === "characterData") {
                noteText(record.target.parentElement);
            } else {
                noteText(record.target.nodeType === 1 ? record.target : record.target.parentElement);
                for (var j = 0; j < record.addedNodes.length; j++) {
                    var added = record.addedNodes[j];
                    if (added.nodeType !== 1) continue;
                    if (isStyleSheet(added)) rereadAll = true;
                    changed.add(added);
                }
                for (var k = 0; k < record.removedNodes.length; k++) {
                    if (record.removedNodes[k].nodeType !== 1) continue;
                    if (isStyleSheet(record.removedNodes[k])) rereadAll = true;
                    removed = true;
                }
            }
        }
        if (changed.size > changedLimit) rereadAll = true;
        scheduleScan();
    }

    var observer = new MutationObserver(noteChanges);
    window.__orviWrapperUnreadObserver = observer;
    var titleOnly = false;
    var watchedHead = null;

    function watchEverything() {
        observer.observe(document.documentElement, {
            childList: true,
            subtree: true,
            characterData: true,
            attributes: true,
            attributeFilter: ["class", "style", "hidden", "role", "data-unread", "data-unread-count", "data-testid",
                "data-chat-id", "data-dialog-id", "aria-label", "aria-hidden"]
        });
    }

    // While the title carries the count nothing else decides it, and a busy chat list would
    // only cost the page the engine's reports of its changes; so then only the head (where
    // the title lives) and the document's own children are watched, and once the title stops
    // carrying a count the whole page is watched and read again.
    function watchTitleOnly(only) {
        // A page that swaps its head element keeps the title-only watch on the new one.
        if (only === titleOnly && (!only || document.head === watchedHead)) return;
        var title = document.querySelector("title");
        if (only && !(document.head && title && title.parentNode === document.head)) return;
        observer.disconnect();
        titleOnly = only;
        watchedHead = only ? document.head : null;
        if (only) {
            observer.observe(document.head, {childList: true, subtree: true, characterData: true});
            observer.observe(document.documentElement, {childList: true});
        } else {
            rereadAll = true;
            watchEverything();
        }
    }

    watchEverything();
    window.__orviWrapperUnreadResize = function () {
        rereadAll = true;
        scheduleScan();
    };
    window.addEventListener("resize", window.__orviWrapperUnreadResize);
    sendCount();
} catch (error) {
    console.log("OrviWrapper unread detection error:", error);
}
})();

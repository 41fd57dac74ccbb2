#include "core/web/scripts/JavaScriptLiteral.h"
#include "core/web/scripts/OrviUserScripts.h"

namespace orvi {

std::string OrviUserScripts::downloadClickScript(const OrviDomains& domains) {
    return "(function () {\n"
           "    var serviceDomain = " +
           javaScriptStringLiteral(asciiLowercase(domains.serviceDomain)) +
           ";\n"
           "    var downloadHosts = [" +
           javaScriptStringLiteral(asciiLowercase(domains.downloadHost)) + ", " +
           javaScriptStringLiteral(asciiLowercase(domains.webDownloadHost)) + ", " +
           javaScriptStringLiteral(asciiLowercase(domains.fileHost)) +
           "];\n"
           "    var fileHost = " +
           javaScriptStringLiteral(asciiLowercase(domains.fileHost)) + ";\n" + R"JS(
    if (window.__downloadClickIntercepted) return;
    window.__downloadClickIntercepted = true;
    var genericLabels = ["скачать", "download", "все", "все файлы", "file", "файл", "новые", "new"];
    var remembered = null;
    function isGeneric(text) { return genericLabels.indexOf(String(text).trim().toLowerCase()) >= 0; }
    function meaningful(text) {
        var t = String(text || "").trim();
        return t.length > 0 && !isGeneric(t) && (t.length >= 4 || t.indexOf(".") >= 0);
    }
    function fileNameFromText(text) {
        if (!text) return null;
        var collapsed = String(text).replace(/\s+/g, " ");
        var runs = collapsed.match(/[^\/:*?"<>|\t\r\n]+\.[A-Za-zА-Яа-яЁё0-9]{2,8}/g) || [];
        for (var i = 0; i < runs.length; i++) {
            var name = runs[i].trim().replace(/^["'«\[(]+/, "").replace(/["'»\])]+$/, "").trim();
            if (meaningful(name)) return name;
        }
        return null;
    }
    function isDownloadCaption(text) {
        var t = String(text || "").trim();
        return isGeneric(t) || t.indexOf("Скачать") >= 0 || t.indexOf("Download") >= 0;
    }
    function hostOf(url) { try { return url.hostname.toLowerCase(); } catch (e) { return ""; } }
    function isServiceHost(url) {
        var host = hostOf(url);
        return host.indexOf(serviceDomain) >= 0 || host.indexOf(fileHost) >= 0;
    }
    function isFileURL(url) {
        var host = hostOf(url);
        for (var i = 0; i < downloadHosts.length; i++) if (host.indexOf(downloadHosts[i]) >= 0) return true;
        if (host.indexOf(serviceDomain) < 0) return false;
        var path = url.pathname.toLowerCase();
        return ["/download", "/file", "/attachment", "/get/", "/blob/"].some(function (p) { return path.indexOf(p) >= 0; });
    }
    function cardName(element) {
        var card = element.closest ? element.closest('button, [role="button"]') : null;
        if (!card && element.parentElement && element.parentElement.tagName === "BUTTON") card = element.parentElement;
        if (!card) return null;
        var parts = card.querySelectorAll('.title, .name, .filename, [data-filename], [data-name], [title]');
        for (var i = 0; i < parts.length; i++) {
            var name = fileNameFromText(parts[i].getAttribute("data-filename") || parts[i].getAttribute("data-name") ||
                                        parts[i].getAttribute("title") || parts[i].textContent);
            if (name) return name;
        }
        return fileNameFromText(card.textContent);
    }
    function displayName(node) {
        var element = node && node.nodeType === 3 ? node.parentElement : node;
        if (!element || element.nodeType !== 1) return null;
        var fromCard = cardName(element);
        if (fromCard) return fromCard;
        for (var e = element; e && e.nodeType === 1; e = e.parentElement) {
            var attributes = ["data-filename", "data-name", "title", "aria-label"];
            for (var i = 0; i < attributes.length; i++) {
                var name = fileNameFromText(e.getAttribute(attributes[i]));
                if (name) return name;
            }
        }
        var own = element.textContent;
        if (!isDownloadCaption(own)) return fileNameFromText(own);
        return null;
    }
    function describe(node) {
        var parts = [];
        for (var e = node && node.nodeType === 3 ? node.parentElement : node; e && e.nodeType === 1 && parts.length < 6; e = e.parentElement) {
            var classes = typeof e.className === "string" ? e.className.trim().split(/\s+/).filter(Boolean).slice(0, 4) : [];
            parts.push(e.tagName.toLowerCase() + (classes.length ? "." + classes.join(".") : "") +
                       ' "' + (e.textContent || "").trim().replace(/\s+/g, " ").slice(0, 80) + '"');
        }
        return parts.join(" <- ");
    }
    function urlOf(node) {
        var raw = null;
        if (typeof node.href === "string" && node.href) raw = node.href;
        else if (node.href && typeof node.href.baseVal === "string") raw = node.href.baseVal;
        if (!raw && node.getAttribute) {
            raw = node.getAttribute("href") || node.getAttribute("data-url") || node.getAttribute("data-href") ||
                  node.getAttribute("data-src");
        }
        if (!raw) return null;
        try { return new URL(raw, document.baseURI); } catch (e) { return null; }
    }
    document.addEventListener("click", function (event) {
        try {
            var target = event.target;
            var start = target && target.nodeType === 3 ? target.parentElement : target;
            if (start && start.closest) {
                var card = start.closest('button, [role="button"]');
                if (card) {
                    var cardLabel = cardName(start);
                    if (cardLabel) remembered = {label: cardLabel, at: Date.now(), context: describe(card)};
                }
            }
            var accepted = null;
            var acceptedURL = null;
            for (var node = start; node && node.nodeType === 1; node = node.parentElement) {
                var url = urlOf(node);
                if (!url || !isServiceHost(url)) continue;
                if (isFileURL(url) || node.hasAttribute("download") || isDownloadCaption(node.textContent)) {
                    accepted = node;
                    acceptedURL = url;
                    break;
                }
            }
            if (!accepted) return;
            var rememberedLabel = remembered && Date.now() - remembered.at <= 2000 ? remembered.label : null;
            var label = displayName(start) || displayName(accepted) || rememberedLabel;
            var handlers = window.webkit && window.webkit.messageHandlers;
            if (!handlers || !handlers.downloadLink) return;
            handlers.downloadLink.postMessage({url: acceptedURL.href, label: label || null,
                                               debugContext: describe(start), rememberedLabel: rememberedLabel});
            event.preventDefault();
            event.stopPropagation();
            event.stopImmediatePropagation();
        } catch (e) {}
    }, true);
})();
)JS";
}

} // namespace orvi

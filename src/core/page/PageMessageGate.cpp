#include "core/page/PageMessageGate.h"

#include "core/base/Log.h"
#include "core/base/TextFolding.h"
#include "engine/WebView.h"

#include <cstdio>

namespace orvi {

PageMessageGate::PageMessageGate(Scheduler& scheduler, OrviDomains domains)
    : m_scheduler(scheduler), m_domains(std::move(domains)) {}

unsigned PageMessageGate::limitFor(std::string_view handler) {
    // A user clicks a few files a second at most; the call-state script reports once a
    // second per frame plus its diagnostics; console output comes in bursts.
    if (handler == "downloadLink")
        return 5;
    if (handler == "unreadCountHandler")
        return 20;
    return 60;
}

bool PageMessageGate::admit(std::string_view handler, const engine::WebView& webView, const Json& body) {
    if (!m_domains.isAllowed(webView.url()))
        return false;
    const auto now = m_scheduler.now();
    auto it = m_windows.find(handler);
    if (it == m_windows.end())
        it = m_windows.emplace(std::string(handler), Window{now}).first;
    auto& window = it->second;
    if (now - window.start >= std::chrono::duration_cast<Clock::duration>(kWindow))
        window = Window{now};
    if (++window.count > limitFor(handler)) {
        if (!window.reported) {
            window.reported = true;
            logLine("⚠️ Too many page messages to " + std::string(handler) + ", dropping them for now");
        }
        return false;
    }
    if (body.is_string() ? body.get_ref<const std::string&>().size() > kMaxBodyBytes
                         : body.dump(-1, ' ', false, Json::error_handler_t::replace).size() > kMaxBodyBytes)
        return false;
    return true;
}

std::string PageMessageGate::oneLine(std::string_view text, std::size_t maxCharacters) {
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n')
            escaped += "\\n";
        else if (c == '\r')
            escaped += "\\r";
        else if (c == '\t')
            escaped += "\\t";
        else if (byte < 0x20 || byte == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", byte);
            escaped += code;
        } else
            escaped += c;
    }
    auto cut = text::prefixCharacters(escaped, maxCharacters);
    if (cut.size() < escaped.size())
        cut += "…";
    return cut;
}

std::string PageMessageGate::pageLogLine(std::string_view type, std::string_view message) {
    return "[page] " + oneLine(type, 16) + ": " + oneLine(message);
}

} // namespace orvi

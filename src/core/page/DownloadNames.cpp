#include "core/page/DownloadNames.h"

#include "core/base/Hex.h"
#include "core/base/TextFolding.h"
#include "core/web/policy/Url.h"

#include <array>

namespace orvi::downloads {

namespace {

constexpr std::array<std::string_view, 8> kGenericLabels = {"скачать", "download", "все",   "все файлы",
                                                            "file",    "файл",     "новые", "new"};
// Leaves room for a "_123" suffix and a temporary prefix inside the usual 255-byte limit.
constexpr std::size_t kMaxNameBytes = 200;

std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::string_view trimmedAscii(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Cuts at a character boundary so that the result stays valid UTF-8.
std::string cutToBytes(std::string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return std::string(text);
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end));
}

} // namespace

bool isGenericLabel(std::string_view label) {
    const auto folded = text::caseFolded(text::trimmed(label));
    for (const auto generic : kGenericLabels)
        if (folded == generic)
            return true;
    return false;
}

std::string extensionOf(std::string_view filename) {
    const auto dot = filename.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == filename.size())
        return {};
    return std::string(filename.substr(dot + 1));
}

std::string safeFileName(std::string_view name) {
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos)
        name = name.substr(slash + 1);
    std::string clean;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            continue;
        clean += c;
    }
    const auto firstKept = clean.find_first_not_of(". ");
    clean = firstKept == std::string::npos ? std::string() : clean.substr(firstKept);
    while (!clean.empty() && (clean.back() == ' ' || clean.back() == '.'))
        clean.pop_back();
    if (clean.empty())
        return "download";
    if (clean.size() > kMaxNameBytes) {
        const auto extension = extensionOf(clean);
        if (!extension.empty() && extension.size() < 16) {
            auto base = cutToBytes(clean, kMaxNameBytes - extension.size() - 1);
            clean = base + "." + extension;
        } else {
            clean = cutToBytes(clean, kMaxNameBytes);
        }
    }
    return clean;
}

std::string suggestedFilename(const std::optional<engine::NavigationResponse>& response,
                              const std::string& url) {
    if (response) {
        const auto disposition = response->header("Content-Disposition").value_or("");
        const auto lower = asciiLowercase(disposition);
        if (const auto star = lower.find("filename*=utf-8''"); star != std::string::npos) {
            auto value = std::string_view(disposition).substr(star + 17);
            value = value.substr(0, value.find(';'));
            if (auto decoded = percentDecoded(trimmedAscii(value)); decoded && !decoded->empty())
                return safeFileName(*decoded);
        }
        if (const auto quoted = lower.find("filename=\""); quoted != std::string::npos) {
            auto value = std::string_view(disposition).substr(quoted + 10);
            value = value.substr(0, value.find('"'));
            if (!value.empty())
                return safeFileName(value);
        }
    }
    if (auto parsed = Url::parse(url)) {
        const auto last = parsed->lastPathComponent();
        if (!last.empty())
            return safeFileName(last);
    }
    return "download";
}

std::optional<std::string> cleanSuggestedDisplayName(const std::optional<std::string>& label,
                                                     const std::string& fallbackFilename) {
    if (!label)
        return std::nullopt;
    const auto trimmedLabel = text::trimmed(*label);
    if (trimmedLabel.empty() || isGenericLabel(trimmedLabel) || trimmedLabel.find('.') == std::string::npos)
        return std::nullopt;
    const auto fallbackExtension = extensionOf(fallbackFilename);
    if (!fallbackExtension.empty() &&
        asciiLowercase(fallbackExtension) != asciiLowercase(extensionOf(trimmedLabel)))
        return std::nullopt;
    return safeFileName(trimmedLabel);
}

std::filesystem::path uniqueDestination(const std::filesystem::path& folder, const std::string& filename) {
    const auto name = safeFileName(filename);
    std::error_code error;
    auto candidate = folder / name;
    if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, error)))
        return candidate;
    const auto extension = extensionOf(name);
    const auto base = extension.empty() ? name : name.substr(0, name.size() - extension.size() - 1);
    for (unsigned n = 1;; ++n) {
        candidate = folder / (base + "_" + std::to_string(n) + (extension.empty() ? "" : "." + extension));
        if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, error)))
            return candidate;
    }
}

} // namespace orvi::downloads

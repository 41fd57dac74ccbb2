#include "core/chat/ChatExportSheetModel.h"

#include "core/base/Log.h"
#include "core/prefs/PreferenceKeys.h"

#include <cstring>
#include <fstream>
#include <unistd.h>

namespace orvi {
namespace {

constexpr int kDefaultRetryCount = 4;
constexpr int kDefaultWaitSeconds = 6;
constexpr int kDefaultDurationMinutes = 3;

} // namespace

std::shared_ptr<ChatExportSheetModel>
ChatExportSheetModel::create(PreferencesStore& preferences, Scheduler& scheduler,
                             ChatExportCollector::ModuleSource moduleSource, WebViewSource webViewSource) {
    return std::shared_ptr<ChatExportSheetModel>(
        new ChatExportSheetModel(preferences, scheduler, std::move(moduleSource), std::move(webViewSource)));
}

ChatExportSheetModel::ChatExportSheetModel(PreferencesStore& preferences, Scheduler& scheduler,
                                           ChatExportCollector::ModuleSource moduleSource,
                                           WebViewSource webViewSource)
    : m_preferences(preferences), m_scheduler(scheduler), m_webViewSource(std::move(webViewSource)),
      m_collector(ChatExportCollector::create(scheduler, std::move(moduleSource))) {}

ChatExportSheetModel::~ChatExportSheetModel() {
    m_collector->cancel();
}

int ChatExportSheetModel::stored(std::string_view key, int fallback, Range range) const {
    auto value = m_preferences.integer(key);
    if (!value)
        return fallback;
    if (*value < range.minimum)
        return range.minimum;
    if (*value > range.maximum)
        return range.maximum;
    return static_cast<int>(*value);
}

int ChatExportSheetModel::retryCount() const {
    return stored(keys::kChatExportRetryCount, kDefaultRetryCount, kRetryRange);
}
int ChatExportSheetModel::waitSeconds() const {
    return stored(keys::kChatExportWaitSeconds, kDefaultWaitSeconds, kWaitRange);
}
int ChatExportSheetModel::durationMinutes() const {
    return stored(keys::kChatExportDurationMinutes, kDefaultDurationMinutes, kDurationRange);
}
void ChatExportSheetModel::setRetryCount(int value) {
    m_preferences.setInteger(keys::kChatExportRetryCount, kRetryRange.clamp(value));
}
void ChatExportSheetModel::setWaitSeconds(int value) {
    m_preferences.setInteger(keys::kChatExportWaitSeconds, kWaitRange.clamp(value));
}
void ChatExportSheetModel::setDurationMinutes(int value) {
    m_preferences.setInteger(keys::kChatExportDurationMinutes, kDurationRange.clamp(value));
}

ChatExportOptions ChatExportSheetModel::options() const {
    return ChatExportOptions{retryCount(), waitSeconds(), durationMinutes()};
}

void ChatExportSheetModel::startCollecting() {
    saveError.set(std::nullopt);
    m_collector->start(m_webViewSource ? m_webViewSource() : nullptr,
                       history() ? ChatHistory::loadOlder : ChatHistory::onlyLoaded, options());
}

void ChatExportSheetModel::stopAndSave() {
    m_collector->requestStop();
}

void ChatExportSheetModel::close() {
    m_collector->cancel();
}

std::optional<std::string> ChatExportSheetModel::errorText() const {
    if (m_collector->error())
        return m_collector->error();
    return saveError();
}

std::string ChatExportSheetModel::suggestedFileName() const {
    return std::string(kDefaultFileStem) + (format() == TranscriptFormat::html ? ".html" : ".json");
}

void ChatExportSheetModel::render(std::function<void(std::string bytes)> ready) {
    const auto& transcript = m_collector->transcript();
    if (!transcript)
        return;
    // A later press (or another format) supersedes a rendering still under way.
    const unsigned generation = ++m_renderGeneration;
    rendering.set(true);
    std::weak_ptr<ChatExportSheetModel> weak = weak_from_this();
    auto copy = std::make_shared<const ChatTranscript>(*transcript);
    const auto chosen = format();
    m_scheduler.runInBackground<Result<std::string>>(
        [copy, chosen] { return copy->data(chosen); },
        [weak, generation, ready = std::move(ready)](Result<std::string> bytes) {
            auto self = weak.lock();
            if (!self || generation != self->m_renderGeneration)
                return;
            self->rendering.set(false);
            if (!bytes.ok()) {
                logLine("❌ Chat export rendering failed: " + bytes.error().message);
                self->saveError.set(bytes.error().message);
                return;
            }
            ready(std::move(bytes).value());
        });
}

bool ChatExportSheetModel::write(const std::filesystem::path& path, const std::string& bytes) {
    // The panel has already asked before replacing a file; the old one stays until the new
    // one is complete.
    auto temporary = path;
    temporary += ".part-" + std::to_string(::getpid());
    auto fail = [&](const std::string& what) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        const std::string message = "Не удалось сохранить файл " + path.filename().string() + ": " + what;
        logLine("❌ Chat export save failed: " + path.string() + ": " + what);
        saveError.set(message);
        return false;
    };
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return fail(std::strerror(errno));
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out)
            return fail(std::strerror(errno));
    }
    std::error_code renamed;
    std::filesystem::rename(temporary, path, renamed);
    if (renamed)
        return fail(renamed.message());
    logLine("💾 Chat export saved to " + path.string() + " (" + std::to_string(bytes.size()) + " bytes)");
    return true;
}

void ChatExportSheetModel::saveFailed(const std::string& message) {
    logLine("❌ Chat export save panel failed: " + message);
    saveError.set(message);
}

} // namespace orvi

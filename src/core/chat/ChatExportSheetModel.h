#pragma once

#include "core/base/Scheduler.h"
#include "core/base/Signal.h"
#include "core/chat/ChatExportCollector.h"
#include "core/prefs/PreferencesStore.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvi {

// The export sheet's state: the three remembered options, the history and format choices,
// the collector it owns while shown, and rendering and saving the result. Main thread only.
class ChatExportSheetModel final : public std::enable_shared_from_this<ChatExportSheetModel> {
public:
    struct Range {
        int minimum;
        int maximum;
        int clamp(int value) const { return value < minimum ? minimum : value > maximum ? maximum : value; }
    };
    static constexpr Range kRetryRange{0, 20};
    static constexpr Range kWaitRange{1, 60};
    static constexpr Range kDurationRange{1, 60};
    static constexpr const char* kDefaultFileStem = "ORVI-переписка";

    // The web view showing the messenger page now, if any.
    using WebViewSource = std::function<std::shared_ptr<engine::WebView>()>;

    static std::shared_ptr<ChatExportSheetModel> create(PreferencesStore& preferences, Scheduler& scheduler,
                                                        ChatExportCollector::ModuleSource moduleSource,
                                                        WebViewSource webViewSource);
    // Closing the sheet cancels a collection in progress; the page is still cleaned up.
    ~ChatExportSheetModel();

    ChatExportCollector& collector() { return *m_collector; }
    const ChatExportCollector& collector() const { return *m_collector; }

    Published<bool> history{true};
    Published<TranscriptFormat> format{TranscriptFormat::html};
    Published<std::optional<std::string>> saveError;
    // True while the transcript is being rendered for the save panel.
    Published<bool> rendering{false};

    // The stored values, clamped to their stepper ranges; a value stored out of range (edited
    // by hand) is used clamped and left as it is until the user changes it.
    int retryCount() const;
    int waitSeconds() const;
    int durationMinutes() const;
    void setRetryCount(int value);
    void setWaitSeconds(int value);
    void setDurationMinutes(int value);
    ChatExportOptions options() const;

    void startCollecting();
    void stopAndSave();
    // "Закрыть": cancels the collection, if any.
    void close();
    // Escape and the window's close button are refused while collecting.
    bool canDismissInteractively() const { return !m_collector->running(); }

    // The collector's error, else the last rendering or saving failure.
    std::optional<std::string> errorText() const;
    // "ORVI-переписка" with the extension of the chosen format.
    std::string suggestedFileName() const;

    // Renders the transcript in the chosen format away from the main thread and hands the
    // bytes to `ready` on the main thread; a failure sets saveError and `ready` is not called.
    void render(std::function<void(std::string bytes)> ready);
    // Writes the bytes in place of the chosen file, whole or not at all. A failure sets
    // saveError and returns false.
    bool write(const std::filesystem::path& path, const std::string& bytes);
    // The save panel itself failed.
    void saveFailed(const std::string& message);

private:
    ChatExportSheetModel(PreferencesStore& preferences, Scheduler& scheduler,
                         ChatExportCollector::ModuleSource moduleSource, WebViewSource webViewSource);
    int stored(std::string_view key, int fallback, Range range) const;

    PreferencesStore& m_preferences;
    Scheduler& m_scheduler;
    WebViewSource m_webViewSource;
    std::shared_ptr<ChatExportCollector> m_collector;
    unsigned m_renderGeneration = 0;
};

} // namespace orvi

#pragma once

#include "core/base/Scheduler.h"
#include "core/base/Signal.h"
#include "core/chat/ChatTranscript.h"
#include "engine/WebView.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvi {

struct ChatExportOptions {
    // Retries after a break in history loading; handed to the page module unchanged.
    int retryCount = 4;
    // How long the module waits for history to load, handed over in step ticks.
    int waitSeconds = 6;
    // The overall limit of the step loop.
    int durationMinutes = 3;

    bool operator==(const ChatExportOptions&) const = default;
};

enum class ChatHistory {
    // Scroll up through older history, step by step.
    loadOlder,
    // Take only the messages the page already holds.
    onlyLoaded,
};

// Drives the page-side export module through its four calls (configure, step, finish,
// cleanup) in the page's isolated world, owns the timing, publishes progress for the export
// sheet and turns the module's JSON into a transcript. Main thread only.
class ChatExportCollector final : public std::enable_shared_from_this<ChatExportCollector> {
public:
    // The module's script text, or none when the application carries no module.
    using ModuleSource = std::function<std::optional<std::string>()>;

    static constexpr Duration kStepTick = std::chrono::milliseconds(700);
    static constexpr const char* kErrorDomain = "ChatExport";
    static constexpr int kModuleMissingCode = 1;
    static constexpr int kNothingCollectedCode = 2;
    static constexpr int kCorruptDataCode = 3;

    static std::shared_ptr<ChatExportCollector> create(Scheduler& scheduler, ModuleSource moduleSource);
    // A run still in progress is cancelled; the page is still cleaned up.
    ~ChatExportCollector();
    ChatExportCollector(const ChatExportCollector&) = delete;
    ChatExportCollector& operator=(const ChatExportCollector&) = delete;

    Published<bool> running{false};
    Published<std::string> status;
    Published<std::optional<ChatTranscript>> transcript;
    Published<std::optional<std::string>> error;

    // Returns at once; ignored while a run is in progress.
    void start(std::shared_ptr<engine::WebView> webView, ChatHistory history,
               const ChatExportOptions& options);
    // Ends the step loop at its next check and saves what was gathered so far.
    void requestStop();
    // Aborts the run without publishing an error; the page is still cleaned up.
    void cancel();

    // The module's wait, in step ticks: ceil(seconds / 0.7) in double precision, so that 21 s
    // gives 31, not 30.
    static std::int64_t waitTicks(int waitSeconds);

private:
    struct Run;
    using Next = std::function<void(engine::ScriptResult)>;

    ChatExportCollector(Scheduler& scheduler, ModuleSource moduleSource);

    void evaluate(const std::shared_ptr<Run>& run, const std::string& script, Next next);
    void loadModule(const std::shared_ptr<Run>& run);
    void configure(const std::shared_ptr<Run>& run);
    void loopHead(const std::shared_ptr<Run>& run);
    void stepAnswered(const std::shared_ptr<Run>& run, const Json& answer);
    void callFinish(const std::shared_ptr<Run>& run);
    void finishAnswered(const std::shared_ptr<Run>& run, const Json& answer);
    void end(const std::shared_ptr<Run>& run, std::optional<Error> failure);
    static void cleanUpPage(const std::shared_ptr<Run>& run, std::function<void()> then);

    Scheduler& m_scheduler;
    ModuleSource m_moduleSource;
    std::shared_ptr<Run> m_run;
};

} // namespace orvi

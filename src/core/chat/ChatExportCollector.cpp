#include "core/chat/ChatExportCollector.h"

#include "core/base/Log.h"

#include <cmath>

namespace orvi {
namespace {

constexpr const char* kNoWebViewText = "Откройте диалог ORVI.";
constexpr const char* kModuleMissingText = "Не найден модуль экспорта.";
constexpr const char* kNothingCollectedText = "Не удалось собрать сообщения.";
constexpr const char* kCorruptDataText = "Модуль экспорта вернул данные в неожиданном виде.";
constexpr const char* kCollectedPrefix = "Собрано сообщений: ";
constexpr const char* kGoingDownText = "Переход к последним сообщениям…";

constexpr const char* kStepScript = "window.__orviChatExport.step()";
constexpr const char* kCleanupScript = "window.__orviChatExport?.cleanup()";

std::int64_t integerOr(const Json& object, const char* key, std::int64_t fallback) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_number())
        return fallback;
    // The page's numbers are doubles; a fractional count is not an integer and reads as absent.
    const double value = it->get<double>();
    if (!std::isfinite(value) || value != std::floor(value) || std::fabs(value) > 9e15)
        return fallback;
    return static_cast<std::int64_t>(value);
}

// The page's own exception messages are shown as they are; the engine's failures carry English
// texts meant for the log, so the window gets a Russian line for the ones a user can meet.
Error describedForTheWindow(Error error) {
    if (error.domain != engine::kJavaScriptErrorDomain)
        return error;
    if (error.code == engine::kJavaScriptTimedOutCode)
        error.message = "Страница ORVI не ответила вовремя.";
    else if (error.code == engine::kWebViewInvalidatedCode)
        error.message = "Страница ORVI закрылась во время экспорта.";
    else if (error.code == engine::kJavaScriptResultTypeUnsupportedCode)
        error.message = kCorruptDataText;
    return error;
}

Error corruptData() {
    return Error{ChatExportCollector::kErrorDomain, ChatExportCollector::kCorruptDataCode, kCorruptDataText};
}

} // namespace

struct ChatExportCollector::Run {
    // Weak: an evaluation waiting in the page holds the run, and the run must not keep the
    // page alive in turn.
    std::weak_ptr<engine::WebView> webView;
    ChatHistory history = ChatHistory::loadOlder;
    ChatExportOptions options;
    Clock::time_point deadline;
    bool stopRequested = false;
    bool cancelled = false;
    bool ended = false;
    TimerHandle sleep;
};

std::shared_ptr<ChatExportCollector> ChatExportCollector::create(Scheduler& scheduler,
                                                                 ModuleSource moduleSource) {
    return std::shared_ptr<ChatExportCollector>(new ChatExportCollector(scheduler, std::move(moduleSource)));
}

ChatExportCollector::ChatExportCollector(Scheduler& scheduler, ModuleSource moduleSource)
    : m_scheduler(scheduler), m_moduleSource(std::move(moduleSource)) {}

ChatExportCollector::~ChatExportCollector() {
    if (!m_run || m_run->ended)
        return;
    m_run->cancelled = true;
    // A script in flight finds its collector gone and cleans up itself; a sleeping run has
    // nobody left to wake it, so the page is cleaned up from here.
    if (m_run->sleep.isActive()) {
        m_run->sleep.cancel();
        m_run->ended = true;
        cleanUpPage(m_run, [] {});
    }
}

std::int64_t ChatExportCollector::waitTicks(int waitSeconds) {
    return static_cast<std::int64_t>(std::ceil(static_cast<double>(waitSeconds) / 0.7));
}

void ChatExportCollector::start(std::shared_ptr<engine::WebView> webView, ChatHistory history,
                                const ChatExportOptions& options) {
    if (running())
        return;
    if (!webView) {
        error.set(std::string(kNoWebViewText));
        return;
    }
    running.set(true);
    transcript.set(std::nullopt);
    error.set(std::nullopt);
    auto run = std::make_shared<Run>();
    run->webView = std::move(webView);
    run->history = history;
    run->options = options;
    m_run = run;
    logLine(std::string("📤 Chat export started (") +
            (history == ChatHistory::loadOlder ? "loading older history" : "messages in the page only") +
            ")");
    // Returning first keeps start() free of engine answers that could arrive synchronously.
    std::weak_ptr<ChatExportCollector> weak = weak_from_this();
    m_scheduler.post([weak, run] {
        if (auto self = weak.lock(); self && !run->ended) {
            if (run->cancelled)
                self->end(run, std::nullopt);
            else
                self->loadModule(run);
        }
    });
}

void ChatExportCollector::requestStop() {
    if (m_run && !m_run->ended)
        m_run->stopRequested = true;
}

void ChatExportCollector::cancel() {
    if (!m_run || m_run->ended || m_run->cancelled)
        return;
    m_run->cancelled = true;
    if (m_run->sleep.isActive()) {
        m_run->sleep.cancel();
        end(m_run, std::nullopt);
    }
}

void ChatExportCollector::evaluate(const std::shared_ptr<Run>& run, const std::string& script, Next next) {
    std::weak_ptr<ChatExportCollector> weak = weak_from_this();
    auto webView = run->webView.lock();
    if (!webView) {
        end(run, describedForTheWindow(Error{engine::kJavaScriptErrorDomain, engine::kWebViewInvalidatedCode,
                                             "web view gone"}));
        return;
    }
    webView->evaluateJavaScript(script, engine::World::client,
                                [weak, run, next = std::move(next)](engine::ScriptResult result) {
                                    auto self = weak.lock();
                                    if (!self) {
                                        run->ended = true;
                                        cleanUpPage(run, [] {});
                                        return;
                                    }
                                    if (run->cancelled) {
                                        self->end(run, std::nullopt);
                                        return;
                                    }
                                    if (!result.ok()) {
                                        self->end(run, describedForTheWindow(result.error()));
                                        return;
                                    }
                                    next(std::move(result));
                                });
}

void ChatExportCollector::loadModule(const std::shared_ptr<Run>& run) {
    auto module = m_moduleSource ? m_moduleSource() : std::nullopt;
    if (!module) {
        end(run, Error{kErrorDomain, kModuleMissingCode, kModuleMissingText});
        return;
    }
    evaluate(run, *module, [this, run](engine::ScriptResult) { configure(run); });
}

void ChatExportCollector::configure(const std::shared_ptr<Run>& run) {
    const std::string script = "window.__orviChatExport.configure(" +
                               std::to_string(run->options.retryCount) + ", " +
                               std::to_string(waitTicks(run->options.waitSeconds)) + ")";
    evaluate(run, script, [this, run](engine::ScriptResult) {
        if (run->history == ChatHistory::onlyLoaded) {
            callFinish(run);
            return;
        }
        run->deadline = m_scheduler.now() + std::chrono::duration_cast<Clock::duration>(
                                                std::chrono::minutes(run->options.durationMinutes));
        loopHead(run);
    });
}

void ChatExportCollector::loopHead(const std::shared_ptr<Run>& run) {
    if (run->stopRequested || m_scheduler.now() >= run->deadline) {
        callFinish(run);
        return;
    }
    evaluate(run, kStepScript,
             [this, run](engine::ScriptResult result) { stepAnswered(run, result.value()); });
}

void ChatExportCollector::stepAnswered(const std::shared_ptr<Run>& run, const Json& answer) {
    if (!answer.is_object()) {
        end(run, corruptData());
        return;
    }
    const auto count = std::to_string(integerOr(answer, "count", 0));
    const auto phase = stringMember(answer, "phase");
    if (phase == "down")
        status.set(kGoingDownText);
    else if (phase == "recovering")
        status.set(kCollectedPrefix + count + ". Повторная попытка " +
                   std::to_string(integerOr(answer, "attempt", 1)) + " из " +
                   std::to_string(run->options.retryCount) + "…");
    else
        status.set(kCollectedPrefix + count);

    if (boolMember(answer, "done").value_or(false)) {
        callFinish(run);
        return;
    }
    std::weak_ptr<ChatExportCollector> weak = weak_from_this();
    run->sleep = m_scheduler.startTimer(kStepTick, [weak, run] {
        if (auto self = weak.lock())
            self->loopHead(run);
    });
}

void ChatExportCollector::callFinish(const std::shared_ptr<Run>& run) {
    if (run->cancelled) {
        end(run, std::nullopt);
        return;
    }
    const std::string script = std::string("window.__orviChatExport.finish(") +
                               (run->history == ChatHistory::onlyLoaded ? "true" : "false") + ")";
    evaluate(run, script, [this, run](engine::ScriptResult result) { finishAnswered(run, result.value()); });
}

void ChatExportCollector::finishAnswered(const std::shared_ptr<Run>& run, const Json& answer) {
    if (!answer.is_string()) {
        end(run, corruptData());
        return;
    }
    auto decoded = ChatTranscript::fromJsonText(answer.get_ref<const std::string&>());
    if (!decoded.ok()) {
        end(run, decoded.error());
        return;
    }
    if (decoded.value().messages.empty()) {
        end(run, Error{kErrorDomain, kNothingCollectedCode, kNothingCollectedText});
        return;
    }
    const auto count = decoded.value().messages.size();
    transcript.set(std::move(decoded).value());
    status.set(kCollectedPrefix + std::to_string(count));
    logLine("✅ Chat export collected " + std::to_string(count) + " messages");
    end(run, std::nullopt);
}

void ChatExportCollector::end(const std::shared_ptr<Run>& run, std::optional<Error> failure) {
    if (run->ended)
        return;
    run->ended = true;
    run->sleep.cancel();
    if (run->cancelled)
        logLine("ℹ️ Chat export cancelled");
    else if (failure) {
        logLine("❌ Chat export failed: " + failure->message);
        error.set(failure->message);
    }
    std::weak_ptr<ChatExportCollector> weak = weak_from_this();
    cleanUpPage(run, [weak, run] {
        auto self = weak.lock();
        if (self && self->m_run == run)
            self->running.set(false);
    });
}

void ChatExportCollector::cleanUpPage(const std::shared_ptr<Run>& run, std::function<void()> then) {
    auto webView = run->webView.lock();
    if (!webView) {
        then();
        return;
    }
    webView->evaluateJavaScript(kCleanupScript, engine::World::client,
                                [then = std::move(then)](engine::ScriptResult) { then(); });
}

} // namespace orvi

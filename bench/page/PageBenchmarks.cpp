// Whole-process and in-page timings of the page supervision:
//   ColdStart: launch of the application to the first request of the service page and to
//              the page's first finished load (the coordinator's first cookie comparison).
//   UnreadScriptUnderChurn: a page of 5,000 chat items mutating 100 times a second, with and
//              without the unread script, in a mapped window (a view in no window has its
//              timers throttled to about one a second). The CPU time of the web process's
//              main thread per hundred changes (a second of churn on an idle machine) with and
//              without the script gives script_added_percent, what the script costs the page;
//              measured once with a plain title and once with a count in the title.
//   BareObserverUnderChurn: the same with an observer that does nothing in place of the script,
//              what the engine charges for reporting the changes at all: the script's floor.
// Run under xvfb-run and dbus-run-session, like the integration tests.
#include "ProcessTree.h"
#include "core/page/UnreadDetectionService.h"
#include "core/web/scripts/UnreadDetectionScript.h"
#include "engine/webkit/WebKitEngine.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtk/gtk.h>
#include <map>
#include <optional>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using orvi::test::ChildProcess;
using orvi::test::TempDir;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void ColdStart(benchmark::State& state) {
    double toRequest = 0;
    double toFinished = 0;
    for (auto _ : state) {
        TempDir dir;
        auto service = ChildProcess::start(ORVI_IMITATION_SERVICE_BINARY, {{"--log-requests"}, {}, {}});
        auto endpoints = service->waitForLine(
            [](const std::string& l) { return l.starts_with("ORVI_SERVICE_ENDPOINTS="); }, 10s);
        auto proxy =
            service->waitForLine([](const std::string& l) { return l.starts_with("ORVI_PROXY="); }, 10s);
        if (!endpoints || !proxy) {
            state.SkipWithError("imitation service did not start");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        auto app = ChildProcess::start(
            ORVI_APP_BINARY, {{},
                              {{"HOME", (dir.path() / "home").string()},
                               {"XDG_CONFIG_HOME", (dir.path() / "config").string()},
                               {"XDG_DATA_HOME", (dir.path() / "data").string()},
                               {"XDG_CACHE_HOME", (dir.path() / "cache").string()},
                               {"GSK_RENDERER", "cairo"},
                               {"NO_AT_BRIDGE", "1"},
                               {"ORVI_SERVICE_ENDPOINTS", endpoints->substr(endpoints->find('=') + 1)},
                               {"ORVI_PROXY", proxy->substr(proxy->find('=') + 1)}},
                              {}});
        if (!service->waitForLine(
                [](const std::string& l) { return l.starts_with("REQUEST GET web.orvi.test/ "); }, 60000ms)) {
            state.SkipWithError("no page request");
            return;
        }
        toRequest += secondsSince(start);
        if (!app->waitForLine([](const std::string& l) { return l.starts_with("📊 Initial cookie state"); },
                              60000ms)) {
            state.SkipWithError("the page never finished");
            return;
        }
        toFinished += secondsSince(start);
        state.SetIterationTime(secondsSince(start));
        app->sendSignal(SIGTERM);
        app->waitForExit(15000ms);
        service->sendSignal(SIGTERM);
        service->waitForExit(5000ms);
    }
    state.counters["to_first_request_s"] = benchmark::Counter(toRequest, benchmark::Counter::kAvgIterations);
    state.counters["to_page_finished_s"] = benchmark::Counter(toFinished, benchmark::Counter::kAvgIterations);
}
BENCHMARK(ColdStart)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

constexpr const char* kChurnPage = R"HTML(<!DOCTYPE html><html><head><title>ORVI</title></head><body>
<ul id="chats"></ul>
<script>
const list = document.getElementById('chats');
for (let i = 0; i < 5000; i++) {
  const item = document.createElement('li');
  item.className = 'chat';
  item.dataset.chatId = String(i);
  item.innerHTML = '<span class="name">Chat ' + i + '</span><span data-unread-count="' + (i % 7) + '"></span>';
  list.appendChild(item);
}
window.lag = { samples: 0, total: 0, max: 0 };
let expected = performance.now() + 10;
setInterval(() => {
  const now = performance.now();
  const late = Math.max(0, now - expected);
  window.lag.samples++; window.lag.total += late; window.lag.max = Math.max(window.lag.max, late);
  expected = now + 10;
  // A fixed walk rather than random picks: each turn of the measure then repaints about as
  // many visible items as the next.
  window.step = (window.step || 0) + 1;
  const item = list.children[(window.step * 7919) % 5000];
  item.lastChild.setAttribute('data-unread-count', String(window.step % 5));
}, 10);
</script></body></html>)HTML";

// The unread service's own world: the script stopped or started in the page's world would be
// a second copy beside the service's, which goes on watching.
constexpr auto kUnreadWorld = orvi::engine::World::client;

// Keeps, on each observer, what it was last told to watch since its last disconnect.
constexpr const char* kObserverRecorder = R"JS(
    (function () {
        const observe = MutationObserver.prototype.observe;
        const disconnect = MutationObserver.prototype.disconnect;
        MutationObserver.prototype.observe = function (target, options) {
            (this.__watched = this.__watched || []).push([target, options]);
            return observe.call(this, target, options);
        };
        MutationObserver.prototype.disconnect = function () {
            this.__watched = [];
            return disconnect.call(this);
        };
    })())JS";
constexpr const char* kPauseObserver = R"JS(
    window.__orviWrapperUnreadPaused = window.__orviWrapperUnreadObserver.__watched.slice();
    window.__orviWrapperUnreadObserver.disconnect())JS";
constexpr const char* kResumeObserver = R"JS(
    window.__orviWrapperUnreadPaused.forEach(function (watched) {
        window.__orviWrapperUnreadObserver.observe(watched[0], watched[1]);
    }))JS";

// CPU seconds spent so far by the main threads of this process's web content processes
// (children or, inside the sandbox, grandchildren).
double webProcessMainThreadSeconds() {
    double seconds = 0;
    for (const int pid : orvi::bench::processTree(static_cast<int>(getpid()))) {
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::string command;
        std::getline(comm, command);
        if (!command.starts_with("WebKitWebProces"))
            continue;
        if (const auto spent = orvi::bench::cpuSeconds(pid, pid))
            seconds += *spent;
    }
    return seconds;
}

// Waits on the main loop rather than polling it: a polling loop takes a whole core from the
// web process, the compositor and the X server it measures. Returns whether `done` came true.
template <typename Done> bool runUntil(Done done, std::chrono::milliseconds timeout) {
    bool timedOut = false;
    const guint timer = g_timeout_add(
        static_cast<guint>(timeout.count()),
        [](gpointer flag) {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        },
        &timedOut);
    while (!done() && !timedOut)
        g_main_context_iteration(nullptr, TRUE);
    if (!timedOut)
        g_source_remove(timer);
    return done();
}

void runFor(std::chrono::milliseconds duration) {
    runUntil([] { return false; }, duration);
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void evaluate(orvi::engine::WebView& view, const std::string& script,
              orvi::engine::World world = orvi::engine::World::page) {
    bool answered = false;
    view.evaluateJavaScript(script + "\n;1", world, [&](orvi::engine::ScriptResult) { answered = true; });
    runUntil([&] { return answered; }, 10s);
}

// CPU time of the web process's main thread per hundred of the page's changes over `duration`,
// or nothing when the page made no change.
std::optional<double> msPer100Changes(orvi::engine::WebView& view, std::chrono::milliseconds duration) {
    evaluate(view, "window.lag = { samples: 0, total: 0, max: 0 }");
    const double cpuBefore = webProcessMainThreadSeconds();
    runFor(duration);
    const double cpu = webProcessMainThreadSeconds() - cpuBefore;
    std::optional<double> result;
    bool answered = false;
    view.evaluateJavaScript("window.lag.samples", orvi::engine::World::page,
                            [&](orvi::engine::ScriptResult r) {
                                answered = true;
                                // Per change rather than per second: a loaded machine runs fewer of the
                                // page's timers.
                                if (r.ok() && r.value().is_number() && r.value().get<double>() > 0)
                                    result = cpu * 1000 / r.value().get<double>() * 100;
                            });
    runUntil([&] { return answered; }, 5s);
    return result;
}

// Separate pages in separate web processes differed by up to 30 % with nothing else changed.
// So one page in one process is measured in turns, with the watcher (the script, or a bare
// observer) and with it stopped, in the order with, without, without, with, ... so that a
// drift of the machine or of the page weighs on both; each adjacent pair gives one ratio. A
// turn of the same kind still varies by half (the page's own work is a few milliseconds a
// second, and one garbage collection is as much), hence many pairs and their median.
// The watcher runs throughout, as on a real page; a turn without it only stops its observer.
void measureChurn(benchmark::State& state, bool countInTitle,
                  const std::function<std::string(const orvi::ProfileId&)>& watcher) {
    TempDir dir;
    orvi::engine::webkit::WebKitEngine engine(dir.path() / "data", dir.path() / "cache");
    auto unread = orvi::UnreadDetectionService::create();
    int reports = 0;
    auto subscription = unread->subscribeUnreadCount([&](const orvi::UnreadEvent&) { ++reports; });
    std::vector<double> without;
    std::vector<double> with;
    std::vector<double> addedPercent;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        orvi::engine::WebViewConfiguration configuration;
        configuration.dataStore = engine.nonPersistentDataStore();
        auto view = engine.makeWebView(configuration);
        GtkWidget* window = gtk_window_new();
        gtk_window_set_default_size(GTK_WINDOW(window), 900, 700);
        gtk_window_set_child(GTK_WINDOW(window), orvi::engine::webkit::WebKitEngine::widget(*view));
        gtk_window_present(GTK_WINDOW(window));
        const auto profileId = orvi::ProfileId::generate();
        unread->attach(view, profileId);
        const int reportsBefore = reports;
        std::string page = kChurnPage;
        // With a count in the title the script needs to watch only the title.
        if (countInTitle)
            page.replace(page.find("<title>ORVI"), 11, "<title>(3) ORVI");
        view->loadHTMLString(page, "http://web.orvi.test/");
        runUntil([&] { return reports != reportsBefore; }, 10s);
        // The service's copy is replaced by the watcher measured, behind a record of what its
        // observer watches, so that a turn without it can stop the observer and the next turn
        // start it again as it was. Injecting it again for each turn instead measured a script
        // run for a second where a page runs it for hours: its code not yet compiled, its first
        // read of all 5,000 items still being collected.
        evaluate(*view, kObserverRecorder, kUnreadWorld);
        evaluate(*view, watcher(profileId), kUnreadWorld);
        // The page settles for seconds after the first report (the first layout and paint of
        // 5,000 items among it): measured, that was charged to the first turn, which is always
        // one with the script.
        runFor(6000ms);
        bool watching = true;
        double previous = -1; // none while negative
        for (const bool withScript : {true, false, false, true, true, false, false, true, true, false, false,
                                      true, true, false, false, true}) {
            if (withScript != watching) {
                evaluate(*view, withScript ? kResumeObserver : kPauseObserver, kUnreadWorld);
                runFor(200ms);
            }
            watching = withScript;
            const auto measured = msPer100Changes(*view, 2000ms);
            if (!measured)
                continue;
            (withScript ? with : without).push_back(*measured);
            // Pairs are (with, without) or (without, with), in turn.
            if (previous >= 0) {
                const double scripted = withScript ? *measured : previous;
                const double plain = withScript ? previous : *measured;
                addedPercent.push_back((scripted - plain) / plain * 100);
                previous = -1;
            } else {
                previous = *measured;
            }
        }
        unread->detach(view);
        gtk_window_destroy(GTK_WINDOW(window));
        state.SetIterationTime(secondsSince(start));
    }
    state.counters["page_ms_per_100_changes"] = median(without);
    state.counters["with_script_ms_per_100_changes"] = median(with);
    state.counters["script_added_percent"] = median(addedPercent);
    if (!addedPercent.empty()) {
        state.counters["script_added_percent_min"] =
            *std::min_element(addedPercent.begin(), addedPercent.end());
        state.counters["script_added_percent_max"] =
            *std::max_element(addedPercent.begin(), addedPercent.end());
    }
    state.counters["unread_reports"] = reports;
}
void UnreadScriptUnderChurn(benchmark::State& state) {
    measureChurn(state, state.range(0) == 1, orvi::unreadDetectionScript);
}
BENCHMARK(UnreadScriptUnderChurn)
    ->ArgName("title_count")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// What the engine charges the page for reporting its changes to any observer, whatever the
// observer does with them: one with an empty callback, told of the same changes of this page
// as the script (its attributes among them). The script cannot cost the page less than this.
void BareObserverUnderChurn(benchmark::State& state) {
    measureChurn(state, false, [](const orvi::ProfileId&) {
        return R"JS(
            if (window.__orviWrapperUnreadObserver) window.__orviWrapperUnreadObserver.disconnect();
            window.removeEventListener('resize', window.__orviWrapperUnreadResize);
            window.__orviWrapperUnreadObserver = new MutationObserver(function () {});
            window.__orviWrapperUnreadObserver.observe(document.documentElement, {childList: true,
                subtree: true, characterData: true, attributes: true,
                attributeFilter: ["class", "style", "hidden", "data-unread-count", "aria-label"]});)JS";
    });
}
BENCHMARK(BareObserverUnderChurn)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    gtk_init();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Rendering a long conversation for the save panel: 100,000 messages of mixed length, some
// with characters that need escaping, to the HTML page and to the JSON file. Besides the
// time, it reports how much memory the result takes beside the transcript itself, as a
// multiple of the output size.
#include "core/chat/ChatTranscript.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

namespace {

using orvi::ChatTranscript;
using orvi::TranscriptFormat;

const ChatTranscript& longTranscript() {
    static const ChatTranscript transcript = [] {
        ChatTranscript t{
            "Рабочий чат <команда>", "6 декабря 2026 г., 14:00", "фрагмент", "Собрано со страницы", {}};
        const std::string phrases[] = {
            "Привет! Как дела?", "Созвонимся в 15:00, ссылка https://orvi.test/call/42 & пароль \"abc\"",
            "Отправил отчёт, посмотри <b>раздел 3</b> и дай знать, если что-то не так.\nСпасибо!", "ok",
            "Длинное сообщение: " + std::string(400, 'x')};
        t.messages.reserve(100'000);
        for (int i = 0; i < 100'000; ++i)
            t.messages.push_back({phrases[i % 5] + " #" + std::to_string(i),
                                  i % 3 == 0 ? "" : "Анна Смирнова", i % 3 == 0 ? "outgoing" : "incoming",
                                  std::to_string(i / 500 + 1) + " марта",
                                  std::to_string(i % 24) + ":" + std::to_string(10 + i % 50), i % 10 == 7});
        return t;
    }();
    return transcript;
}

void render(benchmark::State& state, TranscriptFormat format) {
    const auto& transcript = longTranscript();
    std::size_t bytes = 0;
    double extra = 0;
    for (auto _ : state) {
        const auto before = mallinfo2().uordblks + mallinfo2().hblkhd;
        auto result = transcript.data(format);
        const auto after = mallinfo2().uordblks + mallinfo2().hblkhd;
        if (!result.ok()) {
            state.SkipWithError("rendering failed");
            break;
        }
        bytes = result.value().size();
        extra = static_cast<double>(after - before) / static_cast<double>(bytes);
        benchmark::DoNotOptimize(result.value().data());
    }
    state.counters["output_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["memory_per_output_byte"] = extra;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_RenderTranscriptHtml(benchmark::State& state) {
    render(state, TranscriptFormat::html);
}
void BM_RenderTranscriptJson(benchmark::State& state) {
    render(state, TranscriptFormat::json);
}

BENCHMARK(BM_RenderTranscriptHtml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderTranscriptJson)->Unit(benchmark::kMillisecond);

} // namespace

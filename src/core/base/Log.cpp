#include "core/base/Log.h"

#include <cstdio>
#include <mutex>

namespace orvi {
namespace {

std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

Log::Sink& currentSink() {
    static Log::Sink sink;
    return sink;
}

} // namespace

void Log::line(std::string_view text) {
    std::lock_guard lock(sinkMutex());
    if (auto& sink = currentSink()) {
        sink(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

Log::Sink Log::setSink(Sink sink) {
    std::lock_guard lock(sinkMutex());
    auto previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

} // namespace orvi

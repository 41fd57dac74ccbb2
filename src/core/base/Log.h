#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace orvi {

// One line per event on standard output, flushed at once so that a crash or a kill never
// loses the last lines. Tests replace the sink to capture lines instead of parsing stdout.
class Log {
public:
    using Sink = std::function<void(std::string_view line)>;

    static void line(std::string_view text);

    // Installs a sink in place of standard output and returns the previous one; an empty
    // sink restores standard output.
    static Sink setSink(Sink sink);
};

// Shorthand for Log::line.
inline void logLine(std::string_view text) { Log::line(text); }

} // namespace orvi

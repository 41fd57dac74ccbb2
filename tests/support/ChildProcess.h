#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace orvi::test {

// A program started by a test, its standard output read line by line. The process is
// killed when the object goes if it is still running.
class ChildProcess {
public:
    struct Options {
        std::vector<std::string> arguments;
        // Set on top of the test's own environment.
        std::map<std::string, std::string> environment;
        std::optional<mode_t> umask;
    };

    static std::unique_ptr<ChildProcess> start(const std::string& program, const Options& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads output until a line satisfies the predicate or the time-out passes; the line
    // when found.
    std::optional<std::string> waitForLine(const std::function<bool(const std::string&)>& matches,
                                           std::chrono::milliseconds timeout);
    bool waitForExactLine(const std::string& line, std::chrono::milliseconds timeout) {
        return waitForLine([&](const std::string& l) { return l == line; }, timeout).has_value();
    }

    void sendSignal(int signal);
    // The exit status (or 128 + signal), or no value when still running at the time-out.
    // Output still in the pipe is collected.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);

    // Passes over everything printed so far, so that later waits see only what follows.
    void skipOutput();

    // Every line read so far.
    const std::vector<std::string>& lines() const { return m_lines; }
    pid_t pid() const { return m_pid; }

private:
    ChildProcess(pid_t pid, int outputFd) : m_pid(pid), m_outputFd(outputFd) {}
    // Reads what is available within the time-out; false at end of output.
    bool readSome(std::chrono::milliseconds timeout);

    pid_t m_pid;
    int m_outputFd;
    std::string m_partial;
    std::vector<std::string> m_lines;
    std::size_t m_scanned = 0;
    std::optional<int> m_status;
};

} // namespace orvi::test

#include "support/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace orvi::test {
namespace {

using Clock = std::chrono::steady_clock;

int decodeStatus(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::string& program, const Options& options) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<std::string> argumentStrings{program};
    argumentStrings.insert(argumentStrings.end(), options.arguments.begin(), options.arguments.end());
    std::vector<char*> argv;
    for (auto& a : argumentStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        // Only async-signal-safe calls would be strictly proper here; the test process is
        // single-threaded at this point, so setenv is safe enough.
        for (const auto& [name, value] : options.environment)
            ::setenv(name.c_str(), value.c_str(), 1);
        if (options.umask)
            ::umask(*options.umask);
        ::dup2(fds[1], STDOUT_FILENO);
        const int devNull = ::open("/dev/null", O_WRONLY);
        if (devNull >= 0)
            ::dup2(devNull, STDERR_FILENO);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    return std::unique_ptr<ChildProcess>(new ChildProcess(pid, fds[0]));
}

ChildProcess::~ChildProcess() {
    if (!m_status) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    ::close(m_outputFd);
}

bool ChildProcess::readSome(std::chrono::milliseconds timeout) {
    pollfd pfd{m_outputFd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(timeout.count()));
    if (ready <= 0)
        return true;
    char buffer[4096];
    const ssize_t n = ::read(m_outputFd, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    m_partial.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t newline; (newline = m_partial.find('\n')) != std::string::npos;) {
        m_lines.push_back(m_partial.substr(0, newline));
        m_partial.erase(0, newline + 1);
    }
    return true;
}

std::optional<std::string> ChildProcess::waitForLine(const std::function<bool(const std::string&)>& matches,
                                                     std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        for (; m_scanned < m_lines.size(); ++m_scanned)
            if (matches(m_lines[m_scanned]))
                return m_lines[m_scanned++];
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !readSome(std::min(left, std::chrono::milliseconds(100))))
            return std::nullopt;
    }
}

void ChildProcess::skipOutput() {
    for (pollfd pfd{m_outputFd, POLLIN, 0};
         ::poll(&pfd, 1, 100) > 0 && readSome(std::chrono::milliseconds(0));)
        ;
    m_scanned = m_lines.size();
}

void ChildProcess::sendSignal(int signal) {
    ::kill(m_pid, signal);
}

std::optional<int> ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!m_status) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_status = decodeStatus(status);
            break;
        }
        if (Clock::now() >= deadline)
            return std::nullopt;
        readSome(std::chrono::milliseconds(20));
    }
    // The write end closes with the process, unless something it started inherited it.
    const auto drainDeadline = Clock::now() + std::chrono::seconds(1);
    while (Clock::now() < drainDeadline && readSome(std::chrono::milliseconds(50))) {
    }
    if (!m_partial.empty())
        m_lines.push_back(std::exchange(m_partial, {}));
    return m_status;
}

} // namespace orvi::test

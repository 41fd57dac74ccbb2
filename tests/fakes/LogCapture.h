#pragma once

#include "core/base/Log.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace orvi::test {

// Captures log lines for the life of the object instead of printing them.
class LogCapture {
public:
    LogCapture() {
        m_previous = Log::setSink([this](std::string_view line) {
            std::lock_guard lock(m_mutex);
            m_lines.emplace_back(line);
        });
    }
    ~LogCapture() { Log::setSink(std::move(m_previous)); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    bool contains(const std::string& exact) const { return count(exact) > 0; }
    bool containsSubstring(const std::string& part) const {
        for (const auto& line : lines())
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }
    std::size_t count(const std::string& exact) const {
        auto all = lines();
        return static_cast<std::size_t>(std::count(all.begin(), all.end(), exact));
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    Log::Sink m_previous;
};

} // namespace orvi::test

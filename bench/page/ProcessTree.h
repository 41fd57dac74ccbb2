#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace orvi::bench {

// What the benchmarks read of a /proc stat file, of a process or of one of its threads.
struct ProcStat {
    int parent = 0;
    // User and system time so far.
    double cpuSeconds = 0;
};

// The command name (field 2) may hold spaces and parentheses, so the fields are counted from
// the last closing parenthesis.
inline std::optional<ProcStat> readStat(const std::filesystem::path& file) {
    std::ifstream stream(file);
    const std::string text((std::istreambuf_iterator<char>(stream)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(close + 1));
    std::vector<std::string> values{"", ""};
    for (std::string field; values.size() < 15 && fields >> field;)
        values.push_back(field);
    if (values.size() < 15)
        return std::nullopt;
    // values[n - 1] is field n: 4 the parent, 14 and 15 user and system time in clock ticks.
    return ProcStat{std::stoi(values[3]), (std::stod(values[13]) + std::stod(values[14])) /
                                              static_cast<double>(sysconf(_SC_CLK_TCK))};
}

// The process and every process below it (the web processes run as children or, inside the
// sandbox, grandchildren), read from /proc.
inline std::vector<int> processTree(int root) {
    std::map<int, std::vector<int>> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const auto name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (const auto stat = readStat(entry.path() / "stat"))
            children[stat->parent].push_back(std::stoi(name));
    }
    std::vector<int> tree;
    std::vector<int> pending = {root};
    while (!pending.empty()) {
        const int pid = pending.back();
        pending.pop_back();
        tree.push_back(pid);
        for (int child : children[pid])
            pending.push_back(child);
    }
    return tree;
}

} // namespace orvi::bench

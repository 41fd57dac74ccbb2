#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace orvi::bench {

// The parent named in a /proc/<pid>/stat file. The command name before it may hold spaces and
// parentheses, so the fields are counted from the last closing parenthesis.
inline std::optional<int> parentOf(const std::filesystem::path& stat) {
    std::ifstream stream(stat);
    const std::string text((std::istreambuf_iterator<char>(stream)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(close + 1));
    std::string state;
    int parent = 0;
    if (!(fields >> state >> parent))
        return std::nullopt;
    return parent;
}

// Time a thread has spent on a CPU, in seconds, from /proc/<pid>/task/<tid>/schedstat, which
// counts nanoseconds: stat's clock ticks (10 ms) were coarser than what a page spends in two
// seconds of churn.
inline std::optional<double> cpuSeconds(int pid, int tid) {
    std::ifstream stream("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/schedstat");
    double nanoseconds = 0;
    if (!(stream >> nanoseconds))
        return std::nullopt;
    return nanoseconds / 1e9;
}

// The process and every process below it (the web processes run as children or, inside the
// sandbox, grandchildren), read from /proc.
inline std::vector<int> processTree(int root) {
    std::map<int, std::vector<int>> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const auto name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (const auto parent = parentOf(entry.path() / "stat"))
            children[*parent].push_back(std::stoi(name));
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

#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace orvi::bench {

// The process and every process below it (the web processes run as children or, inside the
// sandbox, grandchildren), read from /proc.
inline std::vector<int> processTree(int root) {
    std::map<int, std::vector<int>> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const auto name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const auto close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(text.substr(close + 2));
        std::string state;
        int parent = 0;
        fields >> state >> parent;
        children[parent].push_back(std::stoi(name));
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

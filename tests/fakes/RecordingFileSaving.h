#pragma once

#include "platform/FileSaving.h"

#include <vector>

namespace orvi::test {

// Keeps every save request open until the test answers it.
class RecordingFileSaving final : public platform::FileSaving {
public:
    struct Request {
        std::string suggestedName;
        std::filesystem::path startFolder;
        std::function<void(std::optional<std::filesystem::path>)> completion;
    };

    void
    chooseSaveDestination(const std::string& suggestedName, const std::filesystem::path& startFolder,
                          std::function<void(std::optional<std::filesystem::path>)> completion) override {
        requests.push_back({suggestedName, startFolder, std::move(completion)});
    }
    void reveal(const std::filesystem::path&) override {}

    std::vector<Request> requests;
};

} // namespace orvi::test

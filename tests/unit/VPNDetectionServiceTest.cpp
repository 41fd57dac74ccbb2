#include "core/env/VPNDetectionService.h"

#include "fakes/ManualScheduler.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace std::chrono_literals;

namespace {

struct FakeNetwork final : platform::NetworkEnvironment {
    std::optional<std::vector<std::string>> names = std::vector<std::string>{};
    // None: the monitor never answers.
    std::optional<platform::NetworkPath> path;
    mutable int monitorsMade = 0;
    mutable std::shared_ptr<int> cancels = std::make_shared<int>(0);

    struct Monitor final : platform::NetworkPathMonitor {
        std::optional<platform::NetworkPath> path;
        std::shared_ptr<int> cancels;
        void start(std::function<void(const platform::NetworkPath&)> handler) override {
            if (path)
                handler(*path);
        }
        void cancel() override { ++*cancels; }
    };

    std::optional<std::vector<std::string>> interfaceNames() const override { return names; }
    std::unique_ptr<platform::NetworkPathMonitor> makePathMonitor() const override {
        ++monitorsMade;
        auto monitor = std::make_unique<Monitor>();
        monitor->path = path;
        monitor->cancels = cancels;
        return monitor;
    }
    Connection subscribeToNetworkBack(std::function<void()>) const override { return {}; }
};

} // namespace

TEST(VPNDetectionService, RecognisesTunnelInterfaceNames) {
    const std::pair<const char*, bool> cases[] = {{"utun3", true},    {"ppp0", true},  {"tap0", true},
                                                  {"tun0", true},     {"wg0", true},   {"myVPNif", true},
                                                  {"en0", false},     {"lo0", false},  {"lo", false},
                                                  {"bridge0", false}, {"eth0", false}, {"wlp2s0", false}};
    for (const auto& [name, tunnel] : cases)
        EXPECT_EQ(VPNDetectionService::isTunnelName(name), tunnel) << name;
}

// A tunnel among all interfaces answers without asking the path; otherwise the default route's
// interfaces count only when the network is usable.
TEST(VPNDetectionService, FindsATunnelAmongAllInterfacesOrOnAUsableDefaultRouteAndAnswersOnTheMainQueue) {
    struct Case {
        std::optional<std::vector<std::string>> names;
        std::optional<platform::NetworkPath> path;
        bool expected;
    };
    const std::vector<Case> cases = {
        {std::vector<std::string>{"lo", "eth0", "wg0"}, std::nullopt, true},
        {std::vector<std::string>{"lo", "eth0"}, platform::NetworkPath{true, {"eth0"}}, false},
        {std::nullopt, platform::NetworkPath{true, {"eth0", "tun0"}}, true},
        {std::vector<std::string>{"lo"}, platform::NetworkPath{false, {"tun0"}}, false},
        {std::vector<std::string>{"lo"}, std::nullopt, false},
    };
    for (const auto& c : cases) {
        auto network = std::make_shared<FakeNetwork>();
        network->names = c.names;
        network->path = c.path;
        test::ManualScheduler scheduler;
        VPNDetectionService service(network, scheduler, 1ms);
        EXPECT_EQ(service.isVPNEnabled(), c.expected);
        std::vector<bool> answers;
        service.checkVPNStatus([&](bool vpn) { answers.push_back(vpn); });
        EXPECT_TRUE(answers.empty());
        scheduler.runPending();
        EXPECT_EQ(answers, std::vector<bool>{c.expected});
        EXPECT_EQ(network->monitorsMade, c.path || !c.expected ? 2 : 0);
        EXPECT_EQ(*network->cancels, network->monitorsMade)
            << "a monitor is stopped once the answer is taken";
    }
}

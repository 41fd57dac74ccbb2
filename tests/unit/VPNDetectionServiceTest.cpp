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
    struct Case {
        const char* name;
        bool tunnel;
    };
    for (const auto& c : std::vector<Case>{{"utun3", true},
                                           {"ppp0", true},
                                           {"tap0", true},
                                           {"tun0", true},
                                           {"wg0", true},
                                           {"myVPNif", true},
                                           {"en0", false},
                                           {"lo0", false},
                                           {"lo", false},
                                           {"bridge0", false},
                                           {"eth0", false},
                                           {"wlp2s0", false}}) {
        EXPECT_EQ(VPNDetectionService::isTunnelName(c.name), c.tunnel) << c.name;
    }
}

TEST(VPNDetectionService, ATunnelAmongAllInterfacesAnswersWithoutAskingThePath) {
    auto network = std::make_shared<FakeNetwork>();
    network->names = std::vector<std::string>{"lo", "eth0", "wg0"};
    test::ManualScheduler scheduler;
    VPNDetectionService service(network, scheduler);
    EXPECT_TRUE(service.isVPNEnabled());
    EXPECT_EQ(network->monitorsMade, 0);
}

TEST(VPNDetectionService, FallsBackOnTheDefaultRouteInterfacesOnlyWhenTheNetworkIsUsable) {
    struct Case {
        std::optional<std::vector<std::string>> names;
        std::optional<platform::NetworkPath> path;
        bool expected;
    };
    const std::vector<Case> cases = {
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
        EXPECT_EQ(*network->cancels, 1) << "the monitor is stopped once the answer is taken";
    }
}

TEST(VPNDetectionService, CheckDeliversTheAnswerOnTheMainQueue) {
    auto network = std::make_shared<FakeNetwork>();
    network->names = std::vector<std::string>{"ppp0"};
    test::ManualScheduler scheduler;
    VPNDetectionService service(network, scheduler);
    std::vector<bool> answers;
    service.checkVPNStatus([&](bool vpn) { answers.push_back(vpn); });
    EXPECT_TRUE(answers.empty());
    scheduler.runPending();
    EXPECT_EQ(answers, std::vector<bool>{true});
}

#include "core/env/MediaPermissionService.h"

#include "core/shell/StartupMediaPermissions.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;
using platform::MediaDevices;
using platform::MediaKind;

namespace {

// Grants the camera and refuses the microphone at once, recording when each was asked.
class FakeMediaDevices final : public MediaDevices {
public:
    explicit FakeMediaDevices(ManualScheduler& scheduler) : m_scheduler(scheduler) {}

    int authorizationStatus(MediaKind kind) override {
        return kind == MediaKind::camera ? camera : microphone;
    }
    std::string statusDescription(int status) override { return "status " + std::to_string(status); }
    void requestAccess(MediaKind kind, std::function<void(bool)> completion) override {
        asked.emplace_back(kind, m_scheduler.elapsed());
        completion(kind == MediaKind::camera);
    }

    int camera = MediaDevices::kNotDetermined;
    int microphone = MediaDevices::kNotDetermined;
    std::vector<std::pair<MediaKind, double>> asked;

private:
    ManualScheduler& m_scheduler;
};

platform::TableApplicationInfo infoWithMicrophoneText(bool present) {
    std::map<std::string, nlohmann::json, std::less<>> values;
    if (present)
        values["NSMicrophoneUsageDescription"] = std::string(100, 'm');
    return platform::TableApplicationInfo(values, "com.orviwrapper.OrviWrapper");
}

} // namespace

TEST(MediaPermissionService, AsksWhatIsNotGrantedCameraFirstAndTheMicrophoneTwoSecondsAfterItsAnswer) {
    struct Case {
        const char* what;
        int camera;
        int microphone;
        bool microphoneText;
        std::vector<std::pair<MediaKind, double>> asked;
        std::pair<bool, bool> result;
        bool serviceGoneAfterCamera = false;
    };
    const int granted = MediaDevices::kAuthorized, unknown = MediaDevices::kNotDetermined;
    const auto camera = MediaKind::camera, microphone = MediaKind::microphone;
    const Case cases[] = {
        {"camera granted", granted, unknown, true, {{microphone, 0}}, {true, false}},
        {"microphone granted", unknown, granted, true, {{camera, 0}}, {true, true}},
        {"neither", unknown, MediaDevices::kDenied, true, {{camera, 0}, {microphone, 2}}, {true, false}},
        {"no microphone usage text", unknown, unknown, false, {{camera, 0}}, {true, false}},
        {"service gone before the microphone", unknown, unknown, true, {{camera, 0}}, {true, false}, true},
    };
    for (const auto& c : cases) {
        LogCapture log;
        ManualScheduler scheduler;
        auto devices = std::make_shared<FakeMediaDevices>(scheduler);
        devices->camera = c.camera;
        devices->microphone = c.microphone;
        const auto info = infoWithMicrophoneText(c.microphoneText);
        auto service = MediaPermissionService::create(devices, info, scheduler);
        std::vector<std::pair<bool, bool>> results;
        service->requestAllMediaPermissions(
            [&](bool camera, bool microphone) { results.emplace_back(camera, microphone); });
        if (c.serviceGoneAfterCamera) {
            scheduler.runPending();
            service.reset();
        }
        scheduler.advance(1.9s);
        if (c.asked.size() > 1) {
            EXPECT_EQ(devices->asked.size(), 1u) << c.what;
        }
        scheduler.advance(10s);
        EXPECT_EQ(devices->asked, c.asked) << c.what;
        EXPECT_EQ(results, (std::vector<std::pair<bool, bool>>{c.result})) << c.what;
    }
}

TEST(StartupMediaPermissions, AsksTwoSecondsAfterAppearingRetriesOnceWhenInactiveAndNeverWhenSwitchedOff) {
    struct Case {
        const char* what;
        bool enabled;
        std::vector<bool> activeAnswers;
        int requestsAt2s;
        int requestsAtEnd;
        int activations;
    };
    const Case cases[] = {
        {"active at once", true, {true}, 1, 1, 1},
        {"inactive, then retried regardless", true, {false, false}, 0, 1, 2},
        {"switched off", false, {true}, 0, 0, 0},
    };
    for (const auto& c : cases) {
        LogCapture log;
        ManualScheduler scheduler;
        // Without a microphone usage text each request asks for the camera alone.
        auto devices = std::make_shared<FakeMediaDevices>(scheduler);
        const auto info = infoWithMicrophoneText(false);
        const auto requests = [&] { return static_cast<int>(devices->asked.size()); };
        int activations = 0;
        auto startup = StartupMediaPermissions::create(
            scheduler, MediaPermissionService::create(devices, info, scheduler),
            {[&] { return c.enabled; },
             [&] {
                 return c.activeAnswers[std::min<std::size_t>(activations++, c.activeAnswers.size() - 1)];
             }});
        startup->windowDidAppear();
        scheduler.advance(1.9s);
        EXPECT_EQ(requests(), 0) << c.what;
        scheduler.advance(0.2s);
        EXPECT_EQ(requests(), c.requestsAt2s) << c.what;
        scheduler.advance(30s);
        EXPECT_EQ(requests(), c.requestsAtEnd) << c.what;
        EXPECT_EQ(activations, c.activations) << c.what;
    }
}

#include "integration/WebKitTestSupport.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;

namespace {

engine::WebViewConfiguration withMockCapture() {
    engine::WebViewConfiguration configuration;
    configuration.mockCaptureDevicesEnabled = true;
    return configuration;
}

struct DialogPage : TestPage {
    DialogPage() : TestPage(withMockCapture()) {
        view->setUIDelegate(&ui);
        show();
        load();
    }
    // Media capture needs a secure context; a loopback origin is one without TLS.
    void load() {
        int before = nav.finished;
        view->loadHTMLString("<!DOCTYPE html><title>Dialogs</title>", "http://localhost/");
        if (!waitForFinish(nav, before))
            ADD_FAILURE() << "the page did not load";
    }
    ~DialogPage() { view->setUIDelegate(nullptr); }

    RecordingUIDelegate ui;
};

} // namespace

TEST(WebKitUIDelegate, AlertsConfirmsAndMediaCaptureWaitForTheDelegatesAnswer) {
    DialogPage page;
    for (const bool answer : {true, false}) {
        page.ui.confirmAnswer = answer;
        EXPECT_EQ(valueOf(*page.view, "alert('Привет'); confirm('Удалить?')"), answer);
    }
    EXPECT_EQ(page.ui.alerts, (std::vector<std::string>{"Привет", "Привет"}));
    EXPECT_EQ(page.ui.confirms, (std::vector<std::string>{"Удалить?", "Удалить?"}));

    EXPECT_EQ(valueOf(*page.view, "prompt('Имя?', 'x')"), nullptr) << "no prompt is offered";

    // An answer that comes later, from the main loop.
    page.ui.holdConfirms = true;
    std::optional<engine::ScriptResult> deferred;
    page.view->evaluateJavaScript("confirm('Позже?')", engine::World::page,
                                  [&](engine::ScriptResult result) { deferred.emplace(std::move(result)); });
    ASSERT_TRUE(runMainLoopUntil([&] { return bool(page.ui.heldConfirm); }));
    runMainLoopFor(std::chrono::milliseconds(100));
    EXPECT_FALSE(deferred.has_value()) << "the page waits for the answer";
    page.ui.heldConfirm(true);
    ASSERT_TRUE(runMainLoopUntil([&] { return deferred.has_value(); }));
    ASSERT_TRUE(deferred->ok());
    EXPECT_EQ(deferred->value(), true);

    page.view->setUIDelegate(nullptr);
    EXPECT_EQ(valueOf(*page.view, "alert('a'); confirm('b')"), false);
    EXPECT_EQ(page.ui.alerts.size(), 2u);

    // WebKit remembers a grant for the document, so every case loads the page again.
    page.view->setUIDelegate(&page.ui);
    const char* request = "try { const stream = await navigator.mediaDevices.getUserMedia(constraints);"
                          " const kinds = stream.getTracks().map(t => t.kind).sort();"
                          " stream.getTracks().forEach(t => t.stop()); return kinds; }"
                          " catch (e) { return e.name; }";
    struct Case {
        engine::PermissionDecision answer;
        Json constraints;
        engine::MediaCaptureType type;
        Json expected;
    };
    const Case cases[] = {
        {engine::PermissionDecision::grant, Json{{"video", true}, {"audio", true}},
         engine::MediaCaptureType::cameraAndMicrophone, Json::array({"audio", "video"})},
        {engine::PermissionDecision::grant, Json{{"audio", true}}, engine::MediaCaptureType::microphone,
         Json::array({"audio"})},
        {engine::PermissionDecision::deny, Json{{"video", true}}, engine::MediaCaptureType::camera,
         "NotAllowedError"},
        {engine::PermissionDecision::prompt, Json{{"video", true}}, engine::MediaCaptureType::camera,
         "NotAllowedError"},
    };
    for (const auto& c : cases) {
        page.load();
        page.ui.permissionAnswer = c.answer;
        auto before = page.ui.permissionRequests.size();
        auto result = callAsync(*page.view, request, Json{{"constraints", c.constraints}});
        ASSERT_TRUE(result.ok()) << result.error().message;
        EXPECT_EQ(result.value(), c.expected) << c.constraints;
        ASSERT_EQ(page.ui.permissionRequests.size(), before + 1) << c.constraints;
        EXPECT_EQ(page.ui.permissionRequests.back().first, "http://localhost");
        EXPECT_EQ(page.ui.permissionRequests.back().second, c.type) << c.constraints;
    }
}

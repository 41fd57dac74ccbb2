#pragma once

#include "core/page/WebViewFactory.h"
#include "core/profiles/Profile.h"
#include "core/web/policy/OrviDomains.h"
#include "fakes/MemoryPreferencesStore.h"
#include "integration/WebKitTestSupport.h"
#include "platform/linux/GLibScheduler.h"

#include <memory>
#include <optional>
#include <string>

namespace orvi::test {

// A real factory on the WebKit engine, with the endpoints of the imitation service read the
// way the application reads them.
struct WebFixture {
    WebFixture();

    Profile makeProfile(const std::string& name, const LocationSettings& location) const;
    // The profile's web view from the factory, with the recording delegate attached.
    std::shared_ptr<engine::WebView> open(const Profile& profile, const LocationSettings& location);
    // Shows the HTML as if it came from the base URL; true when the load finished.
    bool loadHTML(engine::WebView& view, const std::string& html, const std::string& baseURL);
    std::string webURL(const std::string& path = "/") const { return env.service->webURL(path); }

    WebKitTestEnvironment env;
    OrviDomains domains;
    MemoryPreferencesStore preferences;
    platform::GLibScheduler scheduler;
    // Before the factory, so that the web views it holds go first.
    RecordingNavigationDelegate navigation;
    std::unique_ptr<WebViewFactory> factory;
};

} // namespace orvi::test

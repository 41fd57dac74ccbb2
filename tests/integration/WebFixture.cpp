#include "integration/WebFixture.h"

namespace orvi::test {

WebFixture::WebFixture()
    : domains(
          OrviDomains::fromJsonText(env.service->endpoints().toJson().dump(), "imitation endpoints").value()),
      factory(std::make_unique<WebViewFactory>(*env.engine, preferences, scheduler, domains)) {}

Profile WebFixture::makeProfile(const std::string& name, const LocationSettings& location) const {
    return Profile{
        ProfileId::generate(), name, false, StorageType::persistentMain, false, location, true, true};
}

std::shared_ptr<engine::WebView> WebFixture::open(const Profile& profile, const LocationSettings& location) {
    auto view = factory->makeWebView(profile, location);
    view->setNavigationDelegate(&navigation);
    return view;
}

bool WebFixture::loadHTML(engine::WebView& view, const std::string& html, const std::string& baseURL) {
    const int before = navigation.finished;
    view.loadHTMLString(html, baseURL);
    return waitForFinish(navigation, before);
}

} // namespace orvi::test

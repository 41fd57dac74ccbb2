#include "core/profiles/ProfilesViewModel.h"

#include "core/page/WebViewFactory.h"
#include "core/profiles/ProfileStore.h"
#include "core/session/BrowserCookieImportProtocol.h"
#include "fakes/FakeEngine.h"
#include "fakes/LogCapture.h"
#include "fakes/MemoryPreferencesStore.h"
#include "support/PageFakes.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;

namespace {

class CountingImport final : public BrowserCookieImportProtocol {
public:
    void importFromBrowser(const ProfileId& profileId, engine::DataStore&, const std::string& domain,
                           std::function<void(int)> completion) override {
        imports.push_back({profileId, domain});
        completion(3);
    }
    std::vector<std::pair<ProfileId, std::string>> imports;
};

struct ProfilesFixture {
    explicit ProfilesFixture(std::vector<std::string> names,
                             std::shared_ptr<BrowserCookieImportProtocol> import = {})
        : model(store, factory, std::move(import)) {
        // A fresh store starts with its main profile; it is renamed to the first name.
        auto first = store.profiles().front();
        first.name = names.front();
        store.updateProfile(first);
        for (std::size_t i = 1; i < names.size(); ++i)
            model.addProfile({names[i]});
    }
    const Profile& named(const std::string& name) const {
        for (const auto& p : model.profiles())
            if (p.name == name)
                return p;
        throw std::runtime_error("no profile " + name);
    }

    LogCapture log;
    MemoryPreferencesStore preferences;
    ProfileStore store{preferences};
    std::shared_ptr<RecordingFactory> factory = std::make_shared<RecordingFactory>();
    ProfilesViewModel model;
};

} // namespace

TEST(ProfilesViewModel, NamesAreTrimmedAndUniqueIgnoringCaseAndAnEditMayRecaseOnlyItsOwn) {
    ProfilesFixture f({"Основной", "работа"});
    struct Case {
        std::string name;
        std::optional<std::string> error;
    };
    for (const auto& c : std::vector<Case>{{"  Работа ", "Профиль с таким именем уже существует"},
                                           {"РАБОТА", "Профиль с таким именем уже существует"},
                                           {" \n\t ", "Введите имя профиля"},
                                           {"", "Введите имя профиля"},
                                           {"Работа 2", std::nullopt}}) {
        EXPECT_EQ(f.model.nameError(c.name), c.error) << c.name;
        const auto added = f.model.addProfile({c.name});
        EXPECT_EQ(added.has_value(), !c.error.has_value()) << c.name;
    }
    ASSERT_EQ(f.model.profiles().size(), 3u);
    const auto& added = f.model.profiles().back();
    EXPECT_EQ(added.name, "Работа 2");
    EXPECT_EQ(added.storageType, StorageType::ephemeral);
    EXPECT_NE(f.store.activeProfile().id, added.id) << "a new profile waits until the user selects it";

    auto work = f.named("работа");
    EXPECT_FALSE(f.model.nameError(" РАБОТА ", work.id)) << "an edit may recase its own name";
    work.name = "основной";
    EXPECT_FALSE(f.model.updateProfile(work));
    EXPECT_EQ(f.named("работа").id, work.id);
}

TEST(ProfilesViewModel, OnlyACoordinateChangeOrADeletionDropsTheCachedWebView) {
    ProfilesFixture f({"Основной", "Работа"});
    std::vector<ProfileId> announced;
    auto connection = f.model.webViewDropped.connect([&](const ProfileId& id) { announced.push_back(id); });
    const auto work = f.named("Работа");
    auto toggled = work;
    toggled.desktopMode = true;
    toggled.callsEnabled = false;
    f.model.updateProfile(toggled);
    EXPECT_TRUE(f.factory->removed.empty());

    auto pinned = f.store.profiles().back();
    pinned.locationSettings.latitude = 10.5;
    f.model.updateProfile(pinned);
    EXPECT_EQ(f.store.profiles().back().locationSettings.latitude, 10.5);
    EXPECT_EQ(announced, std::vector<ProfileId>{work.id});
    f.model.deleteProfile(work.id);
    EXPECT_EQ(f.model.profiles().size(), 1u);
    EXPECT_EQ(f.factory->removed, (std::vector<ProfileId>{work.id, work.id}));
}

TEST(ProfilesViewModel, BrowserImportRunsOnlyForAnAcceptedNewProfile) {
    FakeEngine engine;
    auto dataStore = engine.nonPersistentDataStore();
    std::vector<int> counts;
    auto record = [&](int n) { counts.push_back(n); };

    ProfilesFixture without({"Основной"});
    EXPECT_FALSE(without.model.canImportFromBrowser());
    without.model.addProfileFromBrowser({"Новый"}, *dataStore, "web.example", record);
    EXPECT_EQ(without.model.profiles().size(), 1u) << "no profile is added when nothing can be imported";

    auto import = std::make_shared<CountingImport>();
    ProfilesFixture with({"Основной"}, import);
    EXPECT_TRUE(with.model.canImportFromBrowser());
    with.model.addProfileFromBrowser({"основной "}, *dataStore, "web.example", record);
    with.model.addProfileFromBrowser({" Новый "}, *dataStore, "web.example", record);
    EXPECT_EQ(counts, (std::vector<int>{0, 0, 3}));
    ASSERT_EQ(import->imports.size(), 1u);
    EXPECT_EQ(import->imports[0].first, with.named("Новый").id);
    EXPECT_EQ(import->imports[0].second, "web.example");
}

// The form's judgement and the page's use of custom coordinates must agree, bounds included.
TEST(ProfilesViewModel, CoordinatesAreEitherAbsentBothWithinInclusiveBoundsOrFlagged) {
    using State = ProfilesViewModel::CoordinateState;
    struct Case {
        std::optional<double> latitude, longitude;
        State state;
    };
    for (const auto& c :
         {Case{std::nullopt, std::nullopt, State::empty}, Case{55.75, std::nullopt, State::invalid},
          Case{std::nullopt, 37.6, State::invalid}, Case{90.0001, 0, State::invalid},
          Case{0, -180.0001, State::invalid}, Case{-90, 180, State::custom}, Case{90, -180, State::custom},
          Case{0, 0, State::custom}, Case{55.75, 37.62, State::custom}}) {
        const LocationSettings location{"UTC", "en_US", "x", c.latitude, c.longitude};
        EXPECT_EQ(ProfilesViewModel::coordinateState(location), c.state)
            << c.latitude.value_or(-1) << "," << c.longitude.value_or(-1);
        EXPECT_EQ(location.hasCustomCoordinates(), c.state == State::custom);
    }
}

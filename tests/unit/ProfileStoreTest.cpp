#include "core/profiles/ProfileStore.h"

#include "core/prefs/PreferenceKeys.h"
#include "core/profiles/LeftoverSessions.h"
#include "fakes/LogCapture.h"
#include "fakes/MemoryPreferencesStore.h"
#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

using namespace orvi;
using orvi::test::LogCapture;
using orvi::test::MemoryPreferencesStore;

namespace {

const char* kIdA = "11111111-1111-4111-8111-111111111111";
const char* kIdB = "22222222-2222-4222-8222-222222222222";
const char* kIdC = "33333333-3333-4333-8333-333333333333";

ProfileId id(const char* text) {
    return *ProfileId::parse(text);
}

Profile makeProfile(const char* idText, std::string name, StorageType type = StorageType::persistentMain) {
    return Profile{id(idText), std::move(name), false, type, false, LocationSettings::defaultLocation(), true,
                   true};
}

void expectConsistent(const ProfileStore& store, const MemoryPreferencesStore& prefs) {
    const auto& profiles = store.profiles();
    ASSERT_FALSE(profiles.empty());
    EXPECT_TRUE(std::any_of(profiles.begin(), profiles.end(),
                            [](const Profile& p) { return p.storageType == StorageType::persistentMain; }));
    EXPECT_NE(std::find(profiles.begin(), profiles.end(), store.activeProfile()), profiles.end())
        << "the active profile is an element of the list, field for field";
    EXPECT_EQ(prefs.string(keys::kActiveProfileId), store.activeProfile().id.text());
    const auto stored = decodeProfiles(prefs.data(keys::kProfiles).value_or(""));
    ASSERT_TRUE(stored.ok());
    EXPECT_EQ(stored.value(), profiles);
}

class ProfileStoreTest : public ::testing::Test {
protected:
    void storeList(const std::vector<Profile>& profiles) {
        prefs.setData(keys::kProfiles, encodeProfiles(profiles));
    }

    MemoryPreferencesStore prefs;
    LogCapture log;
};

} // namespace

// Whatever was stored, the list written back reads again as the same profiles.
TEST_F(ProfileStoreTest, AMissingEmptyOrDamagedListIsRecoveredAsFarAsItCanBeAndWrittenBack) {
    struct Case {
        const char* name;
        std::optional<std::string> stored;
        std::vector<std::string> expectedNames; // empty: one default profile
    };
    const std::string a =
        std::string(R"({"id":")") + kIdA + R"(","name":"A","storageType":"weird","desktopMode":"yes")";
    const std::vector<Case> cases = {
        {"bad id dropped",
         "[" + a +
             R"(,"locationSettings":{"timezone":"Europe/Moscow","locale":"ru_RU","cityName":"Москва","latitude":"x"}},)" +
             R"({"id":"nope","name":"B"},{"id":")" + kIdC + R"(","name":"C","callsEnabled":0}])",
         {"A", "C"}},
        {"missing", std::nullopt, {}},
        {"empty", "[]", {}},
        {"not JSON", "{{{ not json", {}},
        {"not an array of objects", "{}", {}},
        {"null element among good ones", std::string("[null, ") + a + "}, 5]", {"A"}},
        {"nothing usable", R"([{"id":"x","name":"A"},{"name":"B"}])", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryPreferencesStore local;
        if (c.stored)
            local.setData(keys::kProfiles, *c.stored);
        ProfileStore store(local);
        std::vector<std::string> names;
        for (const auto& p : store.profiles())
            names.push_back(p.name);
        EXPECT_EQ(names, c.expectedNames.empty() ? std::vector<std::string>{"Основной"} : c.expectedNames);
        expectConsistent(store, local);
        ProfileStore reopened(local);
        EXPECT_EQ(reopened.profiles(), store.profiles());
        EXPECT_EQ(reopened.activeProfile(), store.activeProfile());
        if (c.expectedNames.size() == 2) {
            const auto& recovered = store.profiles()[0];
            EXPECT_FALSE(recovered.desktopMode);
            EXPECT_EQ(recovered.locationSettings.cityName, "Москва");
            EXPECT_FALSE(recovered.locationSettings.latitude);
            EXPECT_TRUE(store.profiles()[1].callsEnabled) << "a mistyped flag takes its default";
        }
    }
}

TEST_F(ProfileStoreTest, ALostListKeepsItsBytesEveryTimeAndGivesLeftoverSessionsBackUnderTheirIdentifiers) {
    struct Case {
        const char* name;
        std::function<void(MemoryPreferencesStore&)> store;
        std::vector<const char*> leftovers;
        std::vector<std::pair<const char*, std::string>> expected; // id, name
        bool keptCopy;
    };
    const std::string good = std::string(R"({"id":")") + kIdA + R"(","name":"A"})";
    const auto data = [](std::string bytes) {
        return [=](MemoryPreferencesStore& p) { p.setData(keys::kProfiles, bytes); };
    };
    const std::vector<Case> cases = {
        {"not JSON", data("{{{"), {kIdB}, {{kIdB, "Восстановленный профиль 1"}}, true},
        {"stored as text",
         [&](MemoryPreferencesStore& p) { p.setString(keys::kProfiles, "[" + good + "]"); },
         {kIdA, kIdB},
         {{kIdA, "Восстановленный профиль 1"}, {kIdB, "Восстановленный профиль 2"}},
         true},
        {"missing", [](MemoryPreferencesStore&) {}, {kIdC}, {{kIdC, "Восстановленный профиль 1"}}, false},
        {"intact list wins", data("[" + good + "]"), {kIdB}, {{kIdA, "A"}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryPreferencesStore local;
        c.store(local);
        const auto before = local.data(keys::kProfiles);
        std::vector<ProfileId> leftovers;
        for (auto text : c.leftovers)
            leftovers.push_back(id(text));
        ProfileStore store(local, [&] { return leftovers; });

        std::vector<std::pair<ProfileId, std::string>> got;
        for (const auto& p : store.profiles())
            got.emplace_back(p.id, p.name);
        std::vector<std::pair<ProfileId, std::string>> expected;
        for (const auto& [idText, name] : c.expected)
            expected.emplace_back(id(idText), name);
        EXPECT_EQ(got, expected);
        expectConsistent(store, local);

        const auto copies = local.keysWithPrefix(ProfileStore::unreadableProfilesKeyPrefix);
        EXPECT_EQ(copies.size(), c.keptCopy ? 1u : 0u);
        if (c.keptCopy && before) {
            EXPECT_EQ(local.data(copies.at(0)), before) << "the damaged bytes are kept as they were";
        }
    }

    for (const char* stored : {"first damage", "second damage"}) {
        prefs.setData(keys::kProfiles, stored);
        ProfileStore store(prefs);
    }
    const auto copies = prefs.keysWithPrefix(ProfileStore::unreadableProfilesKeyPrefix);
    ASSERT_EQ(copies.size(), 2u) << "a repeated recovery keeps every earlier copy";
    EXPECT_EQ(prefs.data(copies[0]), "first damage");
    EXPECT_EQ(prefs.data(copies[1]), "second damage");
}

TEST(LeftoverSessions, FindsSessionKeysAndEngineFoldersNamedAfterProfiles) {
    orvi::test::TempDir dir;
    MemoryPreferencesStore prefs;
    prefs.setData(keys::cookies(id(kIdB)), "[]");
    prefs.setData(keys::storage(id(kIdC)), "{}");
    prefs.setData(keys::storage(id(kIdB)), "{}");
    prefs.setData(std::string(keys::kCookiesPrefix) + "not-an-id", "[]");
    prefs.setData(keys::kLegacyCookies, "[]");
    std::filesystem::create_directories(dir / "engine" / kIdA);
    std::filesystem::create_directories(dir / "engine" / "not-an-id");
    std::ofstream(dir / "engine" / "44444444-4444-4444-8444-444444444444") << "a file, not a folder";

    const auto found = findLeftoverSessions(prefs, {dir / "engine", dir / "missing"});
    EXPECT_EQ(found, (std::vector<ProfileId>{id(kIdA), id(kIdB), id(kIdC)}));
}

TEST(ProfileStore, LoadedProfilesBecomePersistentAndOnlyAKnownStoredActiveIdentifierIsKept) {
    for (const auto& [stored, active] : {std::pair{kIdB, kIdB}, {kIdC, kIdA}, {"garbage", kIdA}}) {
        MemoryPreferencesStore local;
        local.setData(keys::kProfiles, encodeProfiles({makeProfile(kIdA, "A", StorageType::ephemeral),
                                                       makeProfile(kIdB, "B", StorageType::ephemeral)}));
        local.setString(keys::kActiveProfileId, stored);
        ProfileStore store(local);
        for (const auto& p : store.profiles())
            EXPECT_EQ(p.storageType, StorageType::persistentMain);
        EXPECT_EQ(store.activeProfile().id, id(active)) << stored;
        expectConsistent(store, local);
    }
}

TEST_F(ProfileStoreTest, NamesAreTrimmedNonEmptyAndUniqueIgnoringCase) {
    storeList({makeProfile(kIdA, "work"), makeProfile(kIdB, "Работа")});
    ProfileStore store(prefs);
    struct Case {
        std::string name;
        bool accepted;
    };
    const Case cases[] = {
        {"  Work \n", false},
        {"РАБОТА", false},
        {" \t\n", false},
        {"", false},
        {"\xC2\xA0работа\xE2\x80\x83", false},
        {"  Дом  ", true},
        {"дом", false},
    };
    for (const auto& c : cases) {
        const auto before = store.profiles().size();
        auto candidate = makeProfile(kIdC, c.name, StorageType::ephemeral);
        candidate.id = ProfileId::generate();
        store.addProfile(candidate);
        EXPECT_EQ(store.profiles().size(), before + (c.accepted ? 1 : 0)) << "'" << c.name << "'";
    }
    EXPECT_EQ(store.profiles().back().name, "Дом");
    EXPECT_EQ(store.profiles().back().storageType, StorageType::ephemeral)
        << "a persistent profile already exists";
    EXPECT_EQ(store.activeProfile().id, id(kIdA)) << "adding does not switch";

    auto renamed = store.profiles()[0];
    renamed.name = " WORK ";
    store.updateProfile(renamed);
    EXPECT_EQ(store.profiles()[0].name, "WORK") << "a profile may change the case of its own name";
    EXPECT_EQ(store.activeProfile().name, "WORK");
    renamed.name = "работа";
    store.updateProfile(renamed);
    EXPECT_EQ(store.profiles()[0].name, "WORK") << "but not take another's name";
    expectConsistent(store, prefs);
}

// A failed write is logged as a failure, never as saved.
TEST_F(ProfileStoreTest, RejectedChangesWriteAndAnnounceNothingButSettingTheActiveProfileAlwaysDoes) {
    storeList({makeProfile(kIdA, "A"), makeProfile(kIdB, "B")});
    ProfileStore store(prefs);
    const auto storedBefore = prefs.data(keys::kProfiles);
    int announcements = 0;
    auto c1 = store.subscribeToProfiles([&](const auto&) { ++announcements; });
    auto c2 = store.subscribeToActiveProfile([&](const auto&) { ++announcements; });
    log.clear();

    store.addProfile(makeProfile(kIdA, "Other")); // identifier already taken
    store.updateProfile(makeProfile(kIdC, "C"));  // unknown identifier
    store.updateProfile(makeProfile(kIdB, " "));  // empty name
    store.setActiveProfile(id(kIdC));

    EXPECT_EQ(announcements, 0);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(prefs.data(keys::kProfiles), storedBefore);
    EXPECT_EQ(store.profiles().size(), 2u);

    std::vector<std::string> heard;
    auto c3 = store.subscribeToActiveProfile([&](const Profile& p) { heard.push_back(p.name); });
    store.setActiveProfile(id(kIdB));
    store.setActiveProfile(id(kIdB));
    EXPECT_EQ(heard, (std::vector<std::string>{"B", "B"})) << "an equal value is announced again";
    EXPECT_EQ(prefs.string(keys::kActiveProfileId), kIdB);
    ProfileStore reopened(prefs);
    EXPECT_EQ(reopened.activeProfile().id, id(kIdB));

    prefs.setFailWrites(true);
    log.clear();
    store.addProfile(makeProfile(kIdC, "Новый"));
    EXPECT_TRUE(log.contains("❌ Failed to save 3 profiles to UserDefaults"));
    EXPECT_FALSE(log.containsSubstring("💾 Saved 3 profiles"));
}

TEST_F(ProfileStoreTest, DeletingRemovesTheSessionKeysAndKeepsTheInvariants) {
    storeList({makeProfile(kIdA, "A"), makeProfile(kIdB, "B"), makeProfile(kIdC, "C")});
    prefs.setString(keys::kActiveProfileId, std::string(kIdB));
    ProfileStore store(prefs);
    for (const std::size_t ephemeral : {0u, 2u}) {
        auto p = store.profiles()[ephemeral];
        p.storageType = StorageType::ephemeral;
        store.updateProfile(p);
    }
    for (const char* idText : {kIdA, kIdB, kIdC}) {
        prefs.setData(keys::cookies(id(idText)), "[]");
        prefs.setData(keys::storage(id(idText)), "{}");
    }

    store.deleteProfile(id(kIdB));

    for (const auto& key : prefs.keys())
        EXPECT_EQ(key.find(kIdB), std::string::npos) << key;
    EXPECT_TRUE(prefs.contains(keys::cookies(id(kIdA))));
    ASSERT_EQ(store.profiles().size(), 2u);
    EXPECT_EQ(store.activeProfile().id, id(kIdA)) << "the first remaining profile becomes active";
    EXPECT_EQ(store.activeProfile().storageType, StorageType::persistentMain)
        << "the active record follows the persistent repair";
    expectConsistent(store, prefs);

    store.deleteProfile(id(kIdC));
    store.deleteProfile(id(kIdA));
    EXPECT_EQ(store.profiles().size(), 1u) << "the last profile cannot be deleted";
    expectConsistent(store, prefs);
}

TEST_F(ProfileStoreTest, UpdatingTheOnlyPersistentProfileToEphemeralRepairsTheFirstOne) {
    storeList({makeProfile(kIdA, "A"), makeProfile(kIdB, "B")});
    ProfileStore store(prefs);
    for (auto p : std::vector<Profile>(store.profiles())) {
        p.storageType = StorageType::ephemeral;
        p.locationSettings.latitude = std::nan("");
        store.updateProfile(p);
    }
    EXPECT_EQ(store.profiles()[0].storageType, StorageType::persistentMain);
    EXPECT_EQ(store.profiles()[1].storageType, StorageType::ephemeral);
    EXPECT_FALSE(store.profiles()[1].locationSettings.latitude) << "a typed NaN is stored as no coordinate";
    expectConsistent(store, prefs);
}

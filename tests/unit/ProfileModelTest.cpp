#include "core/base/TextFolding.h"
#include "core/profiles/Profile.h"

#include <gtest/gtest.h>
#include <limits>

using namespace orvi;

namespace {

constexpr const char* kId = "0F8FAD5B-D9CB-469F-A165-70867728950E";

Json parsed(const std::string& text) {
    auto json = parseJson(text);
    EXPECT_TRUE(json) << text;
    return json.value_or(Json());
}

} // namespace

TEST(Profile, StrictReadingFailsOnMissingOrMistypedMembers) {
    const std::string id = std::string("\"id\":\"") + kId + "\"";
    const char* nulls =
        R"({"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","name":"a","desktopMode":null,"storageType":null,"locationSettings":null})";
    EXPECT_TRUE(Profile::fromJson(parsed(nulls)).ok()) << "null counts as absent";
    const std::string rejected[] = {
        R"({"name":"a"})",
        "{" + id + "}",
        R"({"id":"not-a-uuid","name":"a"})",
        R"({"id":42,"name":"a"})",
        "{" + id + R"(,"name":7})",
        "{" + id + R"(,"name":"a","storageType":"persistent"})",
        "{" + id + R"(,"name":"a","storageType":1})",
        "{" + id + R"(,"name":"a","desktopMode":"true"})",
        "{" + id + R"(,"name":"a","callsEnabled":1})",
        "{" + id + R"(,"name":"a","locationSettings":{"timezone":"Europe/Moscow","locale":"ru_RU"}})",
        "{" + id +
            R"(,"name":"a","locationSettings":{"timezone":"X","locale":"y","cityName":"z","latitude":"55"}})",
        "[]",
    };
    for (const auto& text : rejected)
        EXPECT_FALSE(Profile::fromJson(parsed(text)).ok()) << text;

    auto decoded = decodeProfiles("[{" + id + R"(,"name":"a"},{"id":"bad","name":"b"}])");
    ASSERT_FALSE(decoded.ok()) << "one bad element fails the whole list";
    EXPECT_NE(decoded.error().message.find("element 1"), std::string::npos) << decoded.error().message;
    EXPECT_FALSE(decodeProfiles("{}").ok());
    EXPECT_FALSE(decodeProfiles("not json").ok());
}

TEST(Profile, AnIdAndANameTakeEveryDefaultAndWritingEmitsAllEightMembersAndReadsBackEqual) {
    auto minimal =
        Profile::fromJson(parsed(R"({"name":"Работа","id":"0f8fad5b-d9cb-469f-a165-70867728950e"})"));
    ASSERT_TRUE(minimal.ok()) << minimal.error().message;
    EXPECT_EQ(minimal.value(), (Profile{*ProfileId::parse(kId), "Работа", false, StorageType::ephemeral,
                                        false, LocationSettings::defaultLocation(), true, true}));

    const LocationSettings moscow{"Europe/Moscow", "ru_RU", "Москва", 55.75, 37.61};
    const Profile profile{
        ProfileId::generate(), "Дом", true, StorageType::persistentMain, true, moscow, false, true};
    const auto json = profile.toJson();
    EXPECT_EQ(json.size(), 8u);
    EXPECT_EQ(json["storageType"], "persistentMain");
    EXPECT_EQ(json["id"], profile.id.text());
    auto back = decodeProfiles(encodeProfiles({profile, Profile::makeDefault()}));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.value()[0], profile);
}

TEST(LocationSettings, AbsentOrNonFiniteCoordinatesAreWrittenAsNoMembersAndReadBackAbsentEvenLoosely) {
    const double inf = std::numeric_limits<double>::infinity();
    LocationSettings typed{"UTC", "en_US", "x", std::nan(""), -inf};
    const auto& preset = LocationSettings::presets()[1];
    for (const auto& json : {typed.toJson(), preset.toJson()})
        EXPECT_FALSE(json.contains("latitude") || json.contains("longitude")) << json.dump();
    EXPECT_EQ(LocationSettings::fromJson(preset.toJson()).value(), preset);
    EXPECT_EQ(typed.withFiniteCoordinates(),
              (LocationSettings{"UTC", "en_US", "x", std::nullopt, std::nullopt}));

    Profile profile = Profile::makeDefault();
    profile.locationSettings = typed;
    auto back = decodeProfiles(encodeProfiles({profile}));
    ASSERT_TRUE(back.ok()) << "a list holding non-finite coordinates still encodes to readable JSON";
    EXPECT_FALSE(back.value()[0].locationSettings.latitude);

    // Loose reading needs the three texts and drops a bad coordinate alone.
    EXPECT_FALSE(LocationSettings::from(parsed(R"({"timezone":"a","locale":"b"})")));
    EXPECT_FALSE(LocationSettings::from(parsed(R"({"timezone":"a","locale":"b","cityName":5})")));
    EXPECT_FALSE(LocationSettings::from(parsed("[]")));
    auto loose = LocationSettings::from(
        parsed(R"({"timezone":"a","locale":"b","cityName":"c","latitude":"55","longitude":37})"));
    ASSERT_TRUE(loose);
    EXPECT_EQ(*loose, (LocationSettings{"a", "b", "c", std::nullopt, 37.0}));
}

TEST(TextFolding, TrimsUnicodeSpaceComparesIgnoringCaseAndCutsByCharacters) {
    EXPECT_EQ(text::trimmed(" \t\n Work \xC2\xA0\xE2\x80\x83\r\n"), "Work");
    EXPECT_EQ(text::trimmed("\xE3\x80\x80"), "");
    EXPECT_EQ(text::trimmed("a b"), "a b");
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    const Case cases[] = {
        {"Work", "wORK", true},      {"Работа", "работа", true}, {"ЁЛКА", "ёлка", true},
        {"Їжак", "їжАК", true},      {"Σοφία", "ΣΟΦΊΑ", true},   {"ΟΔΟΣ", "οδος", true},
        {"Ærø", "æRØ", true},        {"Łódź", "łÓDŹ", true},     {"Ґанок", "ґанок", true},
        {"Работа", "Рабата", false}, {"Work", "Worker", false},  {"e", "é", false},
        {"ӁӃ", "ӂӄ", true},          {"Ǆ", "ǆ", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text::equalIgnoringCase(c.a, c.b), c.equal) << c.a << " / " << c.b;

    EXPECT_EQ(text::prefixCharacters("Камера нужна", 6), "Камера");
    EXPECT_EQ(text::prefixCharacters("abc", 50), "abc");
    EXPECT_EQ(text::prefixCharacters("", 3), "");
}

#include "core/base/Json.h"
#include "core/base/ProfileId.h"
#include "core/base/Signal.h"

#include <gtest/gtest.h>
#include <set>

using orvi::ProfileId;

TEST(ProfileId, TextIsUpperCaseWithHyphensAndOnlyTheCanonicalShapeParses) {
    const auto text = ProfileId::generate().text();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[8], '-');
    EXPECT_EQ(text[14], '4');
    EXPECT_EQ(ProfileId::parse(text)->text(), text);
    EXPECT_EQ(ProfileId::parse("0f8fad5b-d9cb-469f-a165-70867728950e")->text(),
              "0F8FAD5B-D9CB-469F-A165-70867728950E");
    const char* rejected[] = {"",
                              "0F8FAD5B-D9CB-469F-A165-70867728950",
                              "0F8FAD5B-D9CB-469F-A165-70867728950EE",
                              "{0F8FAD5B-D9CB-469F-A165-70867728950E}",
                              "0F8FAD5BD9CB-469F-A165-70867728950E0",
                              "0F8FAD5B-D9CB-469F-A165-70867728950G",
                              "0F8FAD5B-D9CB-469F-A16-570867728950E",
                              " 0F8FAD5B-D9CB-469F-A165-70867728950"};
    for (const char* bad : rejected)
        EXPECT_FALSE(ProfileId::parse(bad)) << bad;
}

TEST(Published, TellsSubscribersOfEveryAssignmentIncludingAnEqualValue) {
    orvi::Published<int> value(1);
    std::vector<int> heard;
    auto connection = value.subscribe([&](const int& v) { heard.push_back(v); });
    value.set(2);
    value.set(2);
    connection.disconnect();
    value.set(3);
    EXPECT_EQ(heard, (std::vector<int>{2, 2}));
    EXPECT_EQ(value.get(), 3);
}

TEST(Signal, ASlotMayDisconnectAnotherOrDestroyTheOwnerDuringEmission) {
    orvi::Signal<int> signal;
    int secondCalls = 0;
    orvi::Connection second;
    auto first = signal.connect([&](const int&) { second.disconnect(); });
    second = signal.connect([&](const int&) { ++secondCalls; });
    signal.emit(1);
    EXPECT_EQ(secondCalls, 0);

    auto owner = std::make_unique<orvi::Published<std::string>>("x");
    std::vector<std::string> heard;
    auto closing = owner->subscribe([&](const std::string& v) {
        heard.push_back(v);
        owner.reset();
    });
    auto late = owner->subscribe([&](const std::string& v) { heard.push_back("late " + v); });
    owner->set("closing");
    EXPECT_EQ(heard, std::vector<std::string>{"closing"});
    EXPECT_FALSE(owner);
}

TEST(Json, MalformedOrHostileTextGivesNoValue) {
    EXPECT_FALSE(orvi::parseJson("{\"a\": "));
    EXPECT_FALSE(orvi::parseJson("\xff\xfe"));
    EXPECT_FALSE(orvi::parseJson(std::string(100000, '[')));
    EXPECT_FALSE(orvi::parseJson(std::string(10000, '[') + std::string(10000, ']')));
    ASSERT_TRUE(orvi::parseJson("[[1]]"));
    EXPECT_EQ(orvi::parseJson("{\"b\":1,\"a\":2}")->dump(), "{\"a\":2,\"b\":1}");
}

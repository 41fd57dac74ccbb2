#include "core/prefs/PreferenceKeys.h"
#include "integration/WebKitTestSupport.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;

namespace {

// The page's own first script records what storage held before any page code ran.
const char* kRecordingPage = R"(<!DOCTYPE html><html><head><script>
    window.__seenByPage = JSON.stringify({
        localStorage: Object.fromEntries(Object.keys(localStorage).map((k) => [k, localStorage.getItem(k)])),
        sessionStorage: Object.fromEntries(Object.keys(sessionStorage).map((k) => [k, sessionStorage.getItem(k)]))
    });
</script></head><body>page</body></html>)";

Json hostileSnapshot() {
    return Json{{"localStorage",
                 {{"token", "plain"},
                  {"quotes\"'`", "say \"hi\" it's `x`"},
                  {"back\\slash", "C:\\path\\n"},
                  {"lines", "one\ntwo\r\nthree\u2028four\u2029"},
                  {"nul", std::string("before\0after", 12)},
                  {"script", "</script><script>window.__pwned = 1</script>"},
                  {"__proto__", "not a prototype"},
                  {"Ключ", "Значение 😀"}}},
                {"sessionStorage", {{"s", "session \"value\"\n"}}}};
}

Json seenByPage(engine::WebView& view) {
    const auto seen = valueOf(view, "window.__seenByPage");
    return seen.is_string() ? Json::parse(seen.get<std::string>()) : Json();
}

} // namespace

// The image fallback runs on the same page, so one view serves both scripts.
TEST(DocumentStartScripts, StorageIsRestoredUnchangedOnTheServiceOnlyWithoutOverwritingAndImagesFallBack) {
    WebFixture fixture;
    const auto profile = fixture.makeProfile("Work", LocationSettings::defaultLocation());
    fixture.preferences.setData(keys::storage(profile.id), hostileSnapshot().dump());
    auto view = fixture.open(profile, profile.locationSettings);
    for (const std::string base :
         {"http://elsewhere.example/", "http://evilweb.orvi.test/", "http://orvi.test/"}) {
        ASSERT_TRUE(fixture.loadHTML(*view, kRecordingPage, base)) << base;
        EXPECT_EQ(seenByPage(*view),
                  (Json{{"localStorage", Json::object()}, {"sessionStorage", Json::object()}}))
            << base;
    }
    ASSERT_TRUE(fixture.loadHTML(*view, kRecordingPage, "http://x.web.orvi.test/"));
    EXPECT_EQ(seenByPage(*view), hostileSnapshot());
    EXPECT_EQ(valueOf(*view, "typeof window.__pwned"), "undefined");

    // A reload after a crash runs the restore script again: it fills in, never overwrites.
    evaluate(*view, "localStorage.setItem('token', 'rotated'); localStorage.removeItem('Ключ'); true");
    ASSERT_TRUE(fixture.loadHTML(*view, kRecordingPage, "http://x.web.orvi.test/"));
    auto expected = hostileSnapshot()["localStorage"];
    expected["token"] = "rotated";
    EXPECT_EQ(seenByPage(*view)["localStorage"], expected);

    const auto result = callAsync(*view, R"(
        const png = Uint8Array.from(atob(
            'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg=='),
            (c) => c.charCodeAt(0));
        const outcome = async (source) => {
            try {
                await createImageBitmap(source);
                return 'resolved';
            } catch (e) {
                return e.name + ': ' + e.message;
            }
        };
        return [
            await outcome(new File([png], 'photo.PNG', { type: 'IMAGE/PNG' })),
            await outcome(new Blob([png], { type: 'image/png' })),
            await outcome(new File([png], 'notes.txt', { type: 'text/plain' })),
            window.__orviFileImageBitmapFallback === true
        ];
    )",
                                  Json::object());
    ASSERT_TRUE(result.ok()) << result.error().message;
    const auto& outcomes = result.value();
    EXPECT_EQ(outcomes[0], "NotSupportedError: Use FileReader fallback for local images");
    EXPECT_EQ(outcomes[1], "resolved");
    EXPECT_NE(outcomes[2], "NotSupportedError: Use FileReader fallback for local images");
    EXPECT_EQ(outcomes[3], true);
}

#include "core/page/DownloadNames.h"

#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::downloads;

namespace {

engine::NavigationResponse withDisposition(const std::string& value) {
    return {.url = "https://files.orvi.example/f/abc123", .headers = {{"content-disposition", value}}};
}

} // namespace

TEST(DownloadNames, ServerNamesComeFromEitherDispositionFormThenTheUrl) {
    struct Case {
        std::optional<std::string> disposition;
        std::string expected;
        std::string url = "https://x.example/a";
    };
    const Case cases[] = {
        {"attachment; filename*=UTF-8''%D0%9E%D1%82%D1%87%D1%91%D1%82%202024.pdf", "Отчёт 2024.pdf"},
        {"attachment; FILENAME*=utf-8''report.pdf; size=10", "report.pdf"},
        {"attachment; filename=\"Договор.docx\"", "Договор.docx"},
        {"attachment; filename*=UTF-8''%ZZ; filename=\"fallback.txt\"", "fallback.txt"},
        {"attachment; filename=plain.txt", "token.bin", "https://x.example/files/token.bin"},
        {std::nullopt, "download", "https://x.example/"},
        {"attachment; filename=\"../../.bashrc\"", "bashrc"},
        {"attachment; filename*=UTF-8''..%2F..%2Fetc%2Fpasswd", "passwd"},
        {"attachment; filename=\"a\\\\b.pdf\"", "b.pdf"},
    };
    for (const auto& c : cases) {
        std::optional<engine::NavigationResponse> response;
        if (c.disposition)
            response = withDisposition(*c.disposition);
        EXPECT_EQ(suggestedFilename(response, c.url), c.expected) << c.disposition.value_or("none");
    }
}

TEST(DownloadNames, HostileNamesBecomeOneHarmlessComponent) {
    const std::pair<std::string, std::string> cases[] = {
        {"../../.bashrc", "bashrc"},
        {"a/b.pdf", "b.pdf"},
        {std::string("con\0.txt", 8), "con.txt"},
        {"line\nbreak\r.txt", "linebreak.txt"},
        {"..", "download"},
        {".", "download"},
        {"", "download"},
        {"dir/", "download"},
        {"Отчёт.pdf", "Отчёт.pdf"},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(safeFileName(name), expected);

    for (const std::string& longName :
         {std::string(300, 'x') + ".pdf", std::string(150, 'x') + std::string(150, 'x') + "Ж.tar"}) {
        const auto safe = safeFileName(longName);
        EXPECT_LE(safe.size(), 200u);
        EXPECT_EQ(extensionOf(safe), extensionOf(longName));
    }
    // 300 bytes of two-byte letters must not be cut inside a letter.
    std::string cyrillic;
    for (int i = 0; i < 150; ++i)
        cyrillic += "ж";
    const auto cut = safeFileName(cyrillic);
    EXPECT_LE(cut.size(), 200u);
    EXPECT_EQ(cut.size() % 2, 0u);
}

TEST(DownloadNames, PageLabelsAreAcceptedOnlyAsRealNamesAgreeingWithTheServerExtension) {
    struct Case {
        std::optional<std::string> label;
        std::string fallback;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"Договор.PDF", "3f9a0c.pdf", "Договор.PDF"},
        {"  Отчёт.pdf \n", "token", "Отчёт.pdf"},
        {"Договор.pdf", "archive.zip", std::nullopt},
        {"Скачать", "a.pdf", std::nullopt},
        {"DOWNLOAD", "a", std::nullopt},
        {"все файлы", "a", std::nullopt},
        {"без расширения", "a.pdf", std::nullopt},
        {std::nullopt, "a.pdf", std::nullopt},
        {"   ", "a.pdf", std::nullopt},
        {"../secret.pdf", "x.pdf", "secret.pdf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cleanSuggestedDisplayName(c.label, c.fallback), c.expected) << c.label.value_or("none");
}

TEST(DownloadNames, TakenNamesGetNumberedSuffixesBeforeTheExtension) {
    test::TempDir dir;
    auto take = [&](const std::string& name) {
        const auto path = uniqueDestination(dir.path(), name);
        std::ofstream(path) << "x";
        return path.filename().string();
    };
    EXPECT_EQ(take("a.pdf"), "a.pdf");
    EXPECT_EQ(take("a.pdf"), "a_1.pdf");
    EXPECT_EQ(take("a.pdf"), "a_2.pdf");
    EXPECT_EQ(take("README"), "README");
    EXPECT_EQ(take("README"), "README_1");
    EXPECT_EQ(uniqueDestination(dir.path(), "../a.pdf").parent_path(), dir.path());
}

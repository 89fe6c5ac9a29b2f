// The reader against bytes nobody planned: random input and mutations of
// real files, a bounded number each run (the sanitizers watch every one).
// Whatever comes in gives a page or an error, and a page it gives is one the
// program can hold and save again.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/Utf.h"
#include "catalogue/Catalogue.h"
#include "compose/Composition.h"
#include "project/ProjectFile.h"

namespace mojian::project {
namespace {

void ExpectSound(const ProjectRead& read, const std::string& input) {
    if (!read.Ok()) {
        EXPECT_FALSE(ProjectErrorMessage(read.error).empty());
        return;
    }
    const PageData& page = *read.page;
    ASSERT_LE(page.lines.size(), 32767u);
    ASSERT_LE(page.customSources.size(), 100u);
    for (const auto& [n, text] : page.customSources) {
        EXPECT_TRUE(n >= 1 && n <= kMaxCustomSource) << n;
        EXPECT_EQ(FirstInvalidUtf8(text), std::string::npos);
        EXPECT_EQ(text.find('\0'), std::string::npos);
    }
    for (const auto& line : page.lines) EXPECT_EQ(FirstInvalidUtf8(line), std::string::npos);
    // what was read saves and reads back, and opens as a page
    ProjectError error;
    const auto again = SerializeProject(page, error);
    ASSERT_TRUE(again.has_value()) << ProjectErrorMessage(error) << "\n" << input.substr(0, 300);
    const ProjectRead reread = ParseProject(*again);
    ASSERT_TRUE(reread.Ok());
    Composition composition;
    EXPECT_EQ(composition.Open(page).outcome == Outcome::PageFull, false);
}

std::string SampleFile() {
    PageData page;
    page.lines = {"栏目文字-炫黑", "自定义源码-1", "图片展示-样式3", "自定义源码-2", "自定义源码-1", "x"};
    page.customSources = {{1, "<p>墨笺\r\n第二行</p>"}, {2, "\xF0\x9F\x98\x80 €"}};
    page.editedBlocks = {{{1, 2}, "<img src=\"a.jpg\">"}, {{0, 0}, "<b>头</b>"}};
    page.choice = Choice::BuiltIn(4, 12);
    ProjectError error;
    return *SerializeProject(page, error);
}

TEST(ProjectFuzz, RandomBytesNeverGiveMoreThanAnError) {
    std::mt19937 rng(7);
    for (int i = 0; i < 500; ++i) {
        std::string bytes(rng() % 300, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        if (i % 2) bytes.insert(0, "{");  // past the first look, into the parser
        const ProjectRead read = ParseProject(bytes);
        ASSERT_NO_FATAL_FAILURE(ExpectSound(read, bytes));
    }
}

TEST(ProjectFuzz, MutatedFilesGiveASoundPageOrAnError) {
    const std::string file = SampleFile();
    ASSERT_TRUE(ParseProject(file).Ok());
    // Pieces that make a mutation land on something the reader checks.
    const std::vector<std::string> pieces = {"\"", "{", "}", "[", "]", ",", ":", "-1", "0", "101", "1e9",
                                             "18446744073709551616", "null", "true", "\"number\"", "\"text\"",
                                             "\"lines\"", "\"requires\"", "\\u0000", "\\ud800", "\xFF", "\xE5",
                                             "自定义源码-3", "\"format\": \"mojian-page\","};
    std::mt19937 rng(11);
    int pages = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string bytes = file;
        for (int m = 1 + static_cast<int>(rng() % 4); m > 0; --m) {
            const std::size_t at = rng() % (bytes.size() + 1);
            switch (rng() % 6) {
            case 0: bytes.resize(at); break;
            case 1: if (at < bytes.size()) bytes[at] = static_cast<char>(rng()); break;
            case 2: bytes.erase(at, rng() % 16); break;
            case 3: bytes.insert(at, pieces[rng() % pieces.size()]); break;
            case 4: bytes.insert(at, bytes.substr(rng() % bytes.size(), rng() % 64)); break;
            default: if (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9') bytes[at] = '9'; break;
            }
        }
        const ProjectRead read = ParseProject(bytes);
        pages += read.Ok();
        ASSERT_NO_FATAL_FAILURE(ExpectSound(read, bytes));
    }
    // both ways out were taken: the mutations reach past the parser
    EXPECT_GT(pages, 30);
    EXPECT_LT(pages, 2900);
}

}  // namespace
}  // namespace mojian::project

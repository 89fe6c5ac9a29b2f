// Random bytes, mutated pages and deep nesting through the whole import:
// under the native build's sanitizers any crash, overflow or leak fails here.
// Whatever comes in is either refused with a reason or imported losslessly,
// in whole pieces, within the custom-source numbers it was given.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/File.h"
#include "base/Utf.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/Composition.h"
#include "import/Cut.h"
#include "html/Parser.h"
#include "import/Import.h"
#include "tests/import/RandomBlocks.h"
#include "tests/import/WholePieces.h"

namespace mojian::import {
namespace {

constexpr const char* kPieces[] = {
    "<table width=750>", "</table>", "<tr>", "</tr>", "<td>", "</td>", "<tbody>", "<div>", "</div>", "<p>", "</p>",
    "<span>", "</span>", "<font color=red>", "</font>", "<b>", "</b>", "<i>", "</i>", "<a href=x>", "</a>",
    "<img src=x>", "<br>", "</br>", "<center>", "</center>", "<ul><li>", "</li>", "<script>", "</script>",
    "<style>", "</style>", "<!--", "-->", "<!DOCTYPE html>", "<html>", "</html>", "<head>", "</head>", "<body>",
    "</body>", "<meta charset=gbk>", "<title>", "</title>", "<textarea>", "</textarea>", "&nbsp;", "&#x1F600;",
    "中文", "text ", "\r\n", "\r\n", "\r\n", "\n", "\r", "\t", " ", "=", "\"", "'", "<", ">", "/", "<td\r\n",
    "<caption>", "<nobr>", "<strong>", "</strong>", "<h1>", "</h1>", "\xF0\x9F\x98\x80", "\xE2\x82\xA9",
};

// Imports `text` into a fresh page and checks what came out.
void ImportAndCheck(const std::string& text, int freeNumbers = kMaxCustomSource) {
    ImportContext context = FreshPageContext();
    context.freeCustomNumbers = freeNumbers;
    const ImportResult r = ImportDescriptionText(text, context);
    if (!r.Ok()) {
        EXPECT_FALSE(ImportErrorMessage(r.error).empty());
        return;
    }
    const DecodeResult decoded = NormaliseDescription(text);
    ASSERT_TRUE(decoded.Ok());
    const std::string expected = decoded.decoded->text + (r.imported->lineBreakAdded ? "\r\n" : "");
    EXPECT_EQ(r.imported->lineBreakAdded, !decoded.decoded->text.ends_with("\r\n"));
    Composition page;
    ASSERT_TRUE(page.ReplaceLines(r.imported->page.lines, r.imported->page.customSources).Applied());
    ASSERT_TRUE(page.PageHtml() == expected);
    EXPECT_LE(r.imported->page.customSources.size(), static_cast<std::size_t>(freeNumbers));
    for (const std::string& line : r.imported->page.lines) EXPECT_FALSE(ResolveEntry(line).IsNothing()) << line;
    const html::Document doc = html::ParseHtml(expected);
    testing::ExpectWholePieces(expected, doc, CutPoints(expected, doc));
}

std::string RandomPage(std::mt19937& rng) {
    std::string doc;
    const int parts = std::uniform_int_distribution<int>(1, 150)(rng);
    for (int k = 0; k < parts; ++k) {
        const unsigned roll = rng() % 16;
        if (roll == 0) {
            doc += testing::PickBlock(rng).html;
        } else if (roll == 1) {
            // any character, now and then a byte that makes the text no UTF-8
            if (rng() % 20 == 0) {
                doc += static_cast<char>(rng() & 0xff);
            } else {
                const auto cp = static_cast<char32_t>(rng() % 0x30000);
                AppendUtf8(doc, cp >= 0xD800 && cp <= 0xDFFF ? U'\uFFFD' : cp);
            }
        } else {
            doc += kPieces[rng() % std::size(kPieces)];
        }
    }
    return doc;
}

// Lines of a few random tokens between blocks: most of them cut, some of
// them open what a later line closes.
std::string RandomLines(std::mt19937& rng) {
    static const char* const kLines[] = {"<p>段落</p>", "<div>块</div>", "<b>粗</b>", "文字", "<!-- 注释 -->",
                                         "<img src=a.jpg>", "<br>", "<table><tr><td>格</td></tr></table>", ""};
    std::string doc;
    const int lines = std::uniform_int_distribution<int>(1, 60)(rng);
    for (int k = 0; k < lines; ++k) {
        const unsigned roll = rng() % 8;
        if (roll == 0) {
            doc += testing::PickBlock(rng).html;
            continue;
        }
        if (roll < 5) doc += kLines[rng() % std::size(kLines)];
        else for (unsigned t = 0; t < 1 + rng() % 3; ++t) doc += kPieces[rng() % std::size(kPieces)];
        doc += "\r\n";
    }
    return doc;
}

TEST(ImportFuzz, RandomPagesAreRefusedOrImportedLosslesslyInWholePieces) {
    std::mt19937 rng(20261216);
    for (int i = 0; i < 600; ++i) {
        const std::string doc = i % 2 ? RandomPage(rng) : RandomLines(rng);
        SCOPED_TRACE(doc);
        ImportAndCheck(doc, 1 + static_cast<int>(rng() % 100));
        if (HasFailure()) return;
    }
}

TEST(ImportFuzz, RandomBytesNeverCrash) {
    std::mt19937 rng(7);
    for (int i = 0; i < 500; ++i) {
        std::string bytes(std::uniform_int_distribution<std::size_t>(0, 3000)(rng), '\0');
        for (char& c : bytes) c = static_cast<char>(rng() & 0xff);
        const ImportResult r = ImportDescription(bytes, FreshPageContext());
        if (!r.Ok()) {
            EXPECT_FALSE(ImportErrorMessage(r.error).empty());
        }
    }
}

TEST(ImportFuzz, BlocksCutAndSplicedAtRandom) {
    std::mt19937 rng(90);
    for (int kind = 0; kind < kKindCount; ++kind) {
        for (int style = 0; style < kStyleCounts[static_cast<std::size_t>(kind)]; ++style) {
            const std::string& block = BuiltInLibrary().Get(kind, style);
            const std::size_t at = rng() % (block.size() + 1);
            const std::size_t from = rng() % (block.size() + 1);
            const std::string doc = BuiltInLibrary().Get(1, 1) + block.substr(0, at) + kPieces[rng() % std::size(kPieces)] +
                                    block.substr(from) + BuiltInLibrary().Get(0, 3);
            SCOPED_TRACE(EntryName(kind, style));
            ImportAndCheck(doc);
            if (HasFailure()) return;
        }
    }
}

// Depth past the parser's limit, and the shapes that once cost time in
// proportion to the square of the page: each imports in one piece after its
// start, or stays whole where the parser kept it whole.
TEST(ImportFuzz, DeepAndWidePagesStayBounded) {
    const std::string before = BuiltInLibrary().Get(8, 0), after = BuiltInLibrary().Get(8, 1);
    for (const auto& [open, levels] : {std::pair{"<div>\r\n", 100000}, std::pair{"<table><tr><td>\r\n", 2000},
                                       std::pair{"<font color=red>\r\n", 2000}, std::pair{"<ul><li>\r\n", 2000}}) {
        std::string deep;
        for (int i = 0; i < levels; ++i) deep += open;
        SCOPED_TRACE(open);
        ImportAndCheck(before + deep + after);
        if (HasFailure()) return;
    }
    std::string fostered = before;
    for (int i = 0; i < 10000; ++i) fostered += "<br>\r\n";
    fostered += "<table>";
    for (int i = 0; i < 10000; ++i) fostered += "<b>x</b>\r\n";
    ImportAndCheck(fostered + "</table>\r\n" + after);
    std::string attributes = "<img";
    for (int i = 0; i < 30000; ++i) attributes += " a" + std::to_string(i);
    ImportAndCheck(before + attributes + ">\r\n" + after);
}

#ifdef MOJIAN_REAL_PAGES
// Pages nobody in this project wrote (mail templates and a shop's
// description), as they are (LF) and as saved on Windows (CR LF), which
// gives the cut something to do.
TEST(ImportRealPages, EveryOneImportsLosslesslyInWholePieces) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(MOJIAN_REAL_PAGES))
        if (entry.path().extension() == ".html") files.push_back(entry.path());
    ASSERT_GE(files.size(), 20u);
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const auto bytes = ReadWholeFile(file.string());
        ASSERT_TRUE(bytes);
        std::string crlf;
        for (const char c : *bytes) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        for (const std::string* text : {&*bytes, static_cast<const std::string*>(&crlf)}) {
            ASSERT_TRUE(ImportDescription(*text, FreshPageContext()).Ok());
            ImportAndCheck(*text);
        }
        // as saved on Windows, a whole document of many lines is cut at least
        // after its head and before its end
        const ImportResult r = ImportDescription(crlf, FreshPageContext());
        if (bytes->find("</head>\n") != std::string::npos) {
            EXPECT_GT(r.imported->page.lines.size(), 1u);
        }
    }
}
#endif

}  // namespace
}  // namespace mojian::import

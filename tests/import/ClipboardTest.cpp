// What the clipboard import takes: the fragment of the HTML format, or the
// text when the text is markup itself.
#include <gtest/gtest.h>

#include <string>

#include "import/Clipboard.h"

namespace mojian::import {
namespace {

// An "HTML Format" block as browsers write it, its offsets counted.
std::string Block(const std::string& fragment, const char* newline = "\r\n") {
    const std::string before = "<html><body>\r\n<!--StartFragment-->", after = "<!--EndFragment-->\r\n</body></html>";
    const std::string header = std::string("Version:0.9") + newline + "StartHTML:0000000000" + newline +
                               "EndHTML:0000000000" + newline + "StartFragment:0000000000" + newline +
                               "EndFragment:0000000000" + newline;
    const auto put = [](std::string& s, const char* name, std::size_t value) {
        const std::string digits = std::to_string(value);
        const std::size_t at = s.find(name) + std::string(name).size() + 1;
        s.replace(at + 10 - digits.size(), digits.size(), digits);
    };
    std::string block = header + before + fragment + after;
    put(block, "StartHTML", header.size());
    put(block, "EndHTML", block.size());
    put(block, "StartFragment", header.size() + before.size());
    put(block, "EndFragment", header.size() + before.size() + fragment.size());
    return block;
}

TEST(Clipboard, TheHtmlFormatGivesItsFragment) {
    const std::string fragment = "<p style=\"color:red\">墨笺</p>\r\n<img src=a.jpg>";
    EXPECT_EQ(ClipboardHtmlFragment(Block(fragment)), fragment);
    EXPECT_EQ(ClipboardHtmlFragment(Block(fragment, "\n")), fragment);
    EXPECT_EQ(ClipboardHtmlFragment(Block(fragment) + std::string(1, '\0')), fragment);  // the terminator
    // without fragment offsets, the whole document
    std::string noFragment = "Version:1.0\r\nStartHTML:39\r\nEndHTML:51\r\n<p>whole</p>";
    EXPECT_EQ(ClipboardHtmlFragment(noFragment), "<p>whole</p>");
    // offsets past the end, no header, a header with no version
    EXPECT_FALSE(ClipboardHtmlFragment("Version:0.9\r\nStartFragment:10\r\nEndFragment:999\r\n<p>x</p>"));
    EXPECT_FALSE(ClipboardHtmlFragment("<p>just html</p>"));
    EXPECT_FALSE(ClipboardHtmlFragment("StartFragment:0\r\nEndFragment:3\r\n"));
    EXPECT_FALSE(ClipboardHtmlFragment(""));
}

TEST(Clipboard, MarkupInTheTextWinsOverTheHtmlFormat) {
    const std::string source = "<table width=750><tr><td>套餐</td></tr></table>\r\n";
    // a code editor: the source as text, a coloured rendering of it as HTML
    const std::string coloured = Block("<div style=\"color:#d4d4d4\"><span>&lt;table width=750&gt;</span></div>");
    EXPECT_EQ(ClipboardDescription(coloured, source), source);
    // a rendered page: its text is the words, its HTML format the markup
    EXPECT_EQ(ClipboardDescription(Block("<b>套餐</b> 价格"), std::string("套餐 价格")), "<b>套餐</b> 价格");
    EXPECT_EQ(ClipboardDescription(std::nullopt, std::string("只有文字")), "只有文字");
    EXPECT_EQ(ClipboardDescription(std::string("garbage"), std::string("文字 a<b")), "文字 a<b");
    EXPECT_FALSE(ClipboardDescription(std::nullopt, std::nullopt));

    EXPECT_TRUE(LooksLikeMarkup("text <br> more"));
    EXPECT_TRUE(LooksLikeMarkup("</td>"));
    EXPECT_TRUE(LooksLikeMarkup("<!-- note -->"));
    EXPECT_TRUE(LooksLikeMarkup("<img\r\nsrc=x>"));
    EXPECT_FALSE(LooksLikeMarkup("a < b and c > d"));
    EXPECT_FALSE(LooksLikeMarkup("价格<100元"));
    EXPECT_FALSE(LooksLikeMarkup("<"));
}

}  // namespace
}  // namespace mojian::import

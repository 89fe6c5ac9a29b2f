#include "html/Css.h"

#include <gtest/gtest.h>

#include <random>

namespace mojian::html::css {
namespace {

using V = std::vector<std::string>;

// "property:value", "!" after an important one.
V Read(std::string_view style) {
    V out;
    for (const Declaration& d : ParseDeclarations(style)) out.push_back(d.property + ":" + d.value + (d.important ? "!" : ""));
    return out;
}

TEST(Css, DeclarationsAsBrowsersReadThem) {
    const struct {
        const char* style;
        V declarations;
    } kCases[] = {
        {"color:red;width:10px", {"color:red", "width:10px"}},
        {"COLOR : Red ;; ", {"color:Red"}},
        // A ";" in a string or between brackets does not end the declaration.
        {"font-family:\"a;b\", 'c' ;color:red", {"font-family:\"a;b\", 'c'", "color:red"}},
        {"background:url(a;b.png) no-repeat;color:red", {"background:url(a;b.png) no-repeat", "color:red"}},
        {"width:calc(1px; 2px);margin:[a;b] 0", {"width:calc(1px; 2px)", "margin:[a;b] 0"}},
        // Comments are dropped, and separate what stands around them.
        {"/* color:blue; */color:/*c*/red;/*;*/margin:1px/**/2px", {"color:red", "margin:1px 2px"}},
        {"color:red/* unclosed; width:1px", {"color:red"}},
        // Escapes are decoded, in names and values.
        {"flo\\61 t:right;c\\olor:bl\\75 e", {"float:right", "color:blue"}},
        {"font-family:\"\\5fae\\8f6f\\96c5\\9ed1\"", {"font-family:\"微软雅黑\""}},
        // !important, with white space and in any case; only at the end.
        {"color:red !important;width:1px ! IMPORTANT ", {"color:red!", "width:1px!"}},
        {"height:2px!important x;top:!important", {"height:2px!important x"}},
        // Bad declarations are dropped up to the next ";", the others kept.
        {"color:red );width:1px", {"width:1px"}},
        {"x:\"abc\n;color:blue", {"color:blue"}},
        {"background:url(a b.png);color:red", {"color:red"}},
        {":red;1px:2;width;color:;height:3px", {"height:3px"}},
        {"@media x { color:red; } ;color:blue", {"color:blue"}},
        {"<!-- color:red;color:blue", {"color:blue"}},
        // A bracket left open runs to the end, as in browsers.
        {"width:calc(1px;color:red", {"width:calc(1px;color:red"}},
        {"--Main-Color: Red", {"--Main-Color:Red"}},
    };
    for (const auto& c : kCases) EXPECT_EQ(Read(c.style), c.declarations) << c.style;
}

TEST(Css, UrlsAndWords) {
    EXPECT_EQ(Urls("background:url(a.png),url(\"b.png\"),URL( 'c.png' ),url(\\6a s)"), (V{"a.png", "b.png", "c.png", "js"}));
    EXPECT_EQ(Urls("content:\"url(x.png)\""), V{});
    // A url browsers reject is still named: what looks for scripts must see it.
    EXPECT_EQ(Urls("background:url(javascript:alert(1))"), V{"javascript:alert(1"});
    const auto words = Words("1px solid rgb(1, 2, 3), 'a b' \"c\\\"d\"");
    EXPECT_EQ(V(words.begin(), words.end()), (V{"1px", "solid", "rgb(1, 2, 3)", "'a b'", "\"c\\\"d\""}));
    // A string written back keeps what it holds whole.
    EXPECT_EQ(Read("content:'it\\'s'"), V{"content:'it\\'s'"});
}

// The kinds of the tokens, with what each holds, "|" between them.
std::string Kinds(std::string_view css) {
    static constexpr const char* kNames[] = {"ident", "function", "at", "hash", "string", "bad-string", "url", "bad-url",
                                             "delim", "number", "percentage", "dimension", "ws", ":", ";", ",", "[",
                                             "]", "(", ")", "{", "}", "<!--", "-->"};
    std::string out;
    for (const Token& t : Tokenize(css)) {
        if (!out.empty()) out += '|';
        out += kNames[static_cast<int>(t.kind)];
        if (!t.text.empty()) out += " " + t.text + t.unit;
    }
    return out;
}

TEST(Css, Tokens) {
    const struct {
        const char* css;
        const char* tokens;
    } kCases[] = {
        {"-1.5e2px +.5% 7 1e", "dimension -1.5e2px|ws|percentage +.5|ws|number 7|ws|dimension 1e"},
        {"#fff #-a # @media @ -->", "hash fff|ws|hash -a|ws|delim #|ws|at media|ws|delim @|ws|-->"},
        {"--x -y - -1", "ident --x|ws|ident -y|ws|delim -|ws|number -1"},
        {"a\\\nb", "ident a|delim \\|ws|ident b"},  // a backslash before a line break escapes nothing
        {"'a\\\nb' \"c", "string ab|ws|string c"},     // a line continuation; the end closes a string
        {"url( a.png ) url(a\"b) rgb(", "url a.png|ws|bad-url a\"b|ws|function rgb"},
        {"a/**/b/*", "ident a|ws|ident b|ws"},
        {"\\", "ident \xEF\xBF\xBD"},  // an escape at the end is U+FFFD
        {"\\0 x", "ident \xEF\xBF\xBD" "x"},  // NUL is U+FFFD; the space after an escape belongs to it
    };
    for (const auto& c : kCases) EXPECT_EQ(Kinds(c.css), c.tokens) << c.css;
}

// Random pieces of CSS: nothing crashes (the sanitizers watch), and every
// declaration read has a name and a value.
TEST(Css, RandomInputKeepsItsShape) {
    constexpr const char* kPieces[] = {"color", ":", ";", "red", " ", "/*", "*/", "\"", "'", "\\", "(", ")", "[",
                                       "]", "{", "}", "url(", "!", "important", "\n", "\\6a ", "-", "--", "1e",
                                       "#", "@x", "<!--", "-->", "\xE4\xB8", ",", "%"};
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string css;
        for (int i = static_cast<int>(random() % 24); i > 0; --i) css += kPieces[random() % std::size(kPieces)];
        for (const Declaration& d : ParseDeclarations(css)) {
            EXPECT_FALSE(d.property.empty()) << css;
            EXPECT_FALSE(d.value.empty()) << css;
            EXPECT_NE(d.value.back(), ' ') << css;
        }
        (void)Urls(css);
        (void)Words(css);
    }
}

}  // namespace
}  // namespace mojian::html::css

// Telling a description's encoding and refusing what is no text: GBK, UTF-8
// with and without a byte-order mark, UTF-16, and every kind of bad input.
// Under Wine the same cases run against the Windows code page functions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/Gbk.h"
#include "base/Utf.h"
#include "import/Decode.h"
#include "import/Import.h"
#include "tests/TempFolder.h"

namespace mojian::import {
namespace {

using K = ImportErrorKind;
using E = TextEncoding;

DecodedText Decoded(std::string_view bytes) {
    const DecodeResult r = DecodeDescription(bytes);
    EXPECT_TRUE(r.Ok()) << ImportErrorMessage(r.error);
    return r.Ok() ? *r.decoded : DecodedText{};
}

ImportError Refused(std::string_view bytes) {
    const DecodeResult r = DecodeDescription(bytes);
    EXPECT_FALSE(r.Ok()) << bytes.substr(0, 80);
    return r.error;
}

// A literal's bytes, NULs included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

const std::string kPage = "<p style=\"color:red\">墨笺 价格 ￥99 元</p>\r\n<img src=\"a.jpg\" alt=\"图\">\r\n";

TEST(DecodeDescription, GbkUtf8AndUtf16FilesGiveTheSameText) {
    const std::string gbk = Utf8ToGbk(kPage);
    ASSERT_NE(gbk, kPage);
    for (const auto& [bytes, encoding] : std::vector<std::pair<std::string, E>>{
             {gbk, E::Gbk},
             {kPage, E::Utf8},
             {"\xEF\xBB\xBF" + kPage, E::Utf8Bom},
         }) {
        const DecodedText d = Decoded(bytes);
        EXPECT_EQ(d.text, kPage) << EncodingName(encoding);
        EXPECT_EQ(d.encoding, encoding);
    }
    // Notepad's "Unicode", both byte orders, a character past the basic plane as a pair
    const std::u16string wide = Utf8ToUtf16(kPage + "\xF0\x9F\x98\x80");
    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (const char16_t u : wide) {
        le += static_cast<char>(u & 0xFF), le += static_cast<char>(u >> 8);
        be += static_cast<char>(u >> 8), be += static_cast<char>(u & 0xFF);
    }
    EXPECT_EQ(Decoded(le).text, kPage + "&#x1F600;");
    EXPECT_EQ(Decoded(le).encoding, E::Utf16Le);
    EXPECT_EQ(Decoded(be).text, kPage + "&#x1F600;");
    EXPECT_EQ(Decoded("<br>\r\n").encoding, E::Ascii);
}

TEST(DecodeDescription, CharactersGbkLacksArriveAsReferencesSoTheFilesKeepThem) {
    const std::string emoji = "\xF0\x9F\x98\x80", won = "\xE2\x82\xA9";
    const DecodedText d = Decoded("<p>" + emoji + " 墨 " + won + "</p>");
    EXPECT_EQ(d.text, "<p>&#x1F600; 墨 &#x20A9;</p>");
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk(d.text)), d.text);
    // the clipboard's text goes the same way
    const DecodeResult clip = NormaliseDescription("\xEF\xBB\xBF<b>" + emoji + "</b>");
    ASSERT_TRUE(clip.Ok());
    EXPECT_EQ(clip.decoded->text, "<b>&#x1F600;</b>");
}

// Short GBK can be well-formed UTF-8 by chance: "\xC3\xA9" is é in UTF-8 and
// one character in GBK. The page's own charset decides.
TEST(DecodeDescription, TextThatReadsBothWaysFollowsItsCharset) {
    const std::string both = "<p>\xC3\xA9</p>\r\n";
    EXPECT_EQ(Decoded(both).encoding, E::Utf8);
    EXPECT_EQ(Decoded(both).text, both);
    for (const char* meta : {"<meta charset=\"gbk\">", "<META http-equiv=Content-Type content=\"text/html; charset=GB2312\">"}) {
        const DecodedText d = Decoded(meta + std::string("\r\n") + both);
        EXPECT_EQ(d.encoding, E::Gbk) << meta;
        EXPECT_EQ(d.text, meta + std::string("\r\n") + GbkToUtf8(both));
    }
    // a page that says GBK but is not GBK stays UTF-8
    EXPECT_EQ(Decoded("<meta charset=gbk><p>\xE4\xB8\xAD</p>").encoding, E::Utf8);  // 0xAD before '<'

}

TEST(DecodeDescription, WhatIsNoTextIsRefusedWithItsReason) {
    EXPECT_EQ(Refused("").kind, K::Empty);
    EXPECT_EQ(Refused(" \r\n\t\r\n").kind, K::Empty);
    EXPECT_EQ(Refused("\xEF\xBB\xBF").kind, K::Empty);

    // a PNG's header and some of its body
    constexpr char kPngHeader[] = "\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\x02\xEE\0\0\x01\x2C\x08\x06\0\0\0";
    std::string png(kPngHeader, sizeof kPngHeader - 1);
    for (int i = 0; i < 200; ++i) png += static_cast<char>((i * 73 + 19) & 0xFF);
    EXPECT_EQ(Refused(png).kind, K::NotText);
    EXPECT_EQ(Refused(std::string(64, '\x01')).kind, K::NotText);

    // text with one NUL in it says where
    const ImportError nul = Refused(kPage + kPage + std::string("<p>a\0b</p>", 10));
    EXPECT_EQ(nul.kind, K::NulCharacter);
    EXPECT_EQ(nul.detail, "第 5 行");
    std::string wideNul = "\xFF\xFE";
    for (const char16_t u : Utf8ToUtf16(kPage + std::string("\0", 1) + kPage))
        wideNul += static_cast<char>(u & 0xFF), wideNul += static_cast<char>(u >> 8);
    EXPECT_EQ(Refused(wideNul).kind, K::NulCharacter);

    // a last character cut short, in each encoding
    const std::string gbk = Utf8ToGbk(kPage + "墨笺");
    EXPECT_EQ(Refused(kPage + "墨笺\xE7\xAC").kind, K::Truncated);
    EXPECT_EQ(Refused(gbk.substr(0, gbk.size() - 1)).kind, K::Truncated);
    EXPECT_EQ(Refused(Bytes("\xFF\xFE<\0b")).kind, K::Truncated);           // an odd byte count
    EXPECT_EQ(Refused(Bytes("\xFF\xFE<\0\x3D\xD8")).kind, K::Truncated);     // half a surrogate pair
    EXPECT_EQ(Refused(Bytes("\xFF\xFE\x00\xDC<\0")).kind, K::InvalidText);  // a low half alone

    // UTF-8 with one bad byte inside would read as GBK without a fault and
    // arrive garbled; it is refused with the line instead
    const ImportError bad = Refused(kPage + kPage + "<p>中\xFF文</p>\r\n" + kPage);
    EXPECT_EQ(bad.kind, K::InvalidText);
    EXPECT_EQ(bad.detail, "第 5 行，按 UTF-8 读到这里出错");
    // neither UTF-8 nor GBK
    EXPECT_EQ(Refused("<p>" + gbk + "\xFF\xFE\xFF</p>").kind, K::InvalidText);

    const ImportError large = Refused(std::string(kMaxImportBytes + 1, 'a'));
    EXPECT_EQ(large.kind, K::TooLarge);
    EXPECT_NE(ImportErrorMessage(large).find("10 MB"), std::string::npos);
}

TEST(DecodeDescription, LinesAreCountedAsEveryEditorCountsThem) {
    EXPECT_EQ(LineAt("a\r\nb\nc\rd", 0), 1u);
    EXPECT_EQ(LineAt("a\r\nb\nc\rd", 2), 1u);  // between CR and LF
    EXPECT_EQ(LineAt("a\r\nb\nc\rd", 3), 2u);
    EXPECT_EQ(LineAt("a\r\nb\nc\rd", 7), 4u);
    EXPECT_EQ(LineAt("a\r\nb\nc\rd", 99), 4u);
}

TEST(ImportFile, AFiftyMegabyteFileIsRefusedAndAMissingOneSaysSo) {
    testing::TempFolder folder;
    const auto path = folder.Path() / "big.html";
    {
        std::ofstream out(path, std::ios::binary);
        out << "<p>x</p>\r\n";
    }
    std::filesystem::resize_file(path, 50u << 20);  // sparse: nothing is read
    const ImportResult big = ImportDescriptionFile(testing::ToUtf8(path), FreshPageContext());
    ASSERT_FALSE(big.Ok());
    EXPECT_EQ(big.error.kind, K::TooLarge);
    EXPECT_EQ(big.error.detail, "共 50 MB");
    const ImportResult missing = ImportDescriptionFile(testing::ToUtf8(folder.Path() / "无.html"), FreshPageContext());
    ASSERT_FALSE(missing.Ok());
    EXPECT_EQ(missing.error.kind, K::CannotRead);
}

// The import hands on text that GBK files give back unchanged: every
// character GBK has comes back as itself, every other one as its reference,
// and every GBK character read from a file is written back as the same bytes.
TEST(DecodeDescription, TheGbkFormIsStableForEveryCharacterAndEveryGbkPair) {
    std::string all;
    for (char32_t c = 0x80; c < 0x10000; ++c)
        if (c < 0xD800 || c > 0xDFFF) AppendUtf8(all, c);
    const std::string once = GbkToUtf8(Utf8ToGbk(all));
    EXPECT_TRUE(GbkToUtf8(Utf8ToGbk(once)) == once);
    const DecodeResult clip = NormaliseDescription(all);
    ASSERT_TRUE(clip.Ok());
    EXPECT_TRUE(clip.decoded->text == once);

    std::string pairs;
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail)
            if (trail != 0x7F) pairs += {static_cast<char>(lead), static_cast<char>(trail)};
    const std::string text = GbkToUtf8(pairs);
    std::size_t unmapped = 0;
    for (std::size_t i = 0; i < pairs.size(); i += 2) {
        const std::string one = GbkToUtf8(pairs.substr(i, 2));
        if (one == "\xEF\xBF\xBD") {
            ++unmapped;  // an empty user-defined place in this code page
            continue;
        }
        ASSERT_EQ(Utf8ToGbk(one), pairs.substr(i, 2)) << std::hex << i;
    }
    EXPECT_LT(unmapped, 2200u);
}

}  // namespace
}  // namespace mojian::import

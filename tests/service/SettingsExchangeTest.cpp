#include "service/SettingsExchange.h"

#include <gtest/gtest.h>

#include "base/Gbk.h"

namespace mojian {
namespace {

const std::string kQueryBody =
    "zc=49&sql=115A101A108A101A99A116A32A42A32A102A114A111A109A32A-12363A-12877A-17956A-16147";

TEST(EncodeField, CharacterCodesJoinedByA) {
    EXPECT_EQ(EncodeField(1), "49");
    EXPECT_EQ(EncodeField(-12), "45A49A50");
    EXPECT_EQ(EncodeField("abc"), "97A98A99");
    EXPECT_EQ(EncodeField(""), "");
    EXPECT_EQ(EncodeField("理"), "-16147");
    EXPECT_EQ(EncodeField("系统"), "-12363A-12877");
    EXPECT_EQ(EncodeField(kSettingsStatement),
              "115A101A108A101A99A116A32A42A32A102A114A111A109A32A-12363A-12877A-17956A-16147");
    // The euro sign is one byte in code page 936; a character GBK lacks is
    // "?" as the ANSI conversion makes it, and never a character reference.
    EXPECT_EQ(EncodeField("\xE2\x82\xAC"), "128");
    EXPECT_EQ(EncodeField("a\xF0\x9F\x98\x80z"), "97A63A122");
}

TEST(EncodeField, DecodesBackToTheSameGbk) {
    for (const std::string_view text : {std::string_view("select * from 系统管理"), std::string_view("墨笺 1.0 ～"),
                                        std::string_view("\x7F\x01")}) {
        const auto bytes = DecodeFieldToGbk(EncodeField(text));
        ASSERT_TRUE(bytes) << text;
        EXPECT_EQ(*bytes, Utf8ToGbk(text));
    }
    EXPECT_EQ(DecodeFieldToGbk(""), std::string());
}

TEST(EncodeField, DecodingRefusesWhatNoEncoderWrites) {
    for (const char* bad : {"A", "49A", "A49", "49AA50", "+49", " 49", "49 ", "4x9", "0x31", "049", "-0", "--1",
                            "256", "32767", "-32769", "99999999999999999999", "1.5", "-1", "-32640" /* lead 0x80 */,
                            "-12545" /* trail 0xFF */, "-12417" /* trail 0x7F */, "-12480" /* trail 0x40 is fine */}) {
        const bool wellFormed = std::string_view(bad) == "-12480";
        EXPECT_EQ(DecodeFieldToGbk(bad).has_value(), wellFormed) << bad;
    }
}

TEST(SettingsRequest, BodyIsTheFixedQuery) {
    EXPECT_EQ(SettingsRequestBody(), kQueryBody);
    EXPECT_EQ(JudgeRequestBody(kQueryBody), RequestVerdict::SystemSettings);
}

TEST(SettingsRequest, ServiceAcceptsNothingElse) {
    const std::string sqlOf = "&sql=" + EncodeField(kSettingsStatement);
    // Other statements, however harmless or harmful, are refused unread.
    for (const std::string_view statement :
         {std::string_view("select * from 系统管理; drop table 系统管理"), std::string_view("SELECT * FROM 系统管理"),
          std::string_view("select * from 系统管理 "), std::string_view("delete from 系统管理"),
          std::string_view("select * from sqlite_master"), std::string_view("select * from 系统管理' or '1'='1"),
          std::string_view("")}) {
        EXPECT_EQ(JudgeRequestBody("zc=49&sql=" + EncodeField(statement)), RequestVerdict::Refused) << statement;
    }
    EXPECT_EQ(JudgeRequestBody("zc=50" + sqlOf), RequestVerdict::Refused);
    // Bodies the program could never have sent.
    for (const std::string& body : {std::string(), std::string("zc=49"), sqlOf.substr(1), "zc=49&zc=49" + sqlOf,
                                    "zc=49" + sqlOf + "&x=1", "zc=49" + sqlOf + "&", "zc=49&" + sqlOf,
                                    std::string("zc=49&sql=select%20*%20from%20x"), std::string("zc49&sql=1"),
                                    "zc=49" + sqlOf + "A", kQueryBody.substr(0, kQueryBody.size() - 3) + "A-"}) {
        EXPECT_EQ(JudgeRequestBody(body), RequestVerdict::Malformed) << body;
    }
}

TEST(SettingsAnswer, FirstRecordSplitIntoFields) {
    const std::string rec(kRecordSeparator), f(kFieldSeparator);
    using V = std::vector<std::string>;
    EXPECT_EQ(ParseSettingsAnswer("hello" + rec + "1.0" + f + "a" + f + "b" + f + "c" + f + "d"),
              (V{"1.0", "a", "b", "c", "d"}));
    EXPECT_EQ(ParseSettingsAnswer("x" + rec + "1.0" + f + "a" + rec + "2.0" + f + "z"), (V{"1.0", "a"}));
    EXPECT_EQ(ParseSettingsAnswer(rec + "1.0" + f + f + "dl" + f + f), (V{"1.0", "", "dl", "", ""}));
    EXPECT_EQ(ParseSettingsAnswer(rec + f), (V{"", ""}));
    // No record at all.
    EXPECT_EQ(ParseSettingsAnswer(""), V{});
    EXPECT_EQ(ParseSettingsAnswer("1.0" + f + "a"), V{});
    EXPECT_EQ(ParseSettingsAnswer("x" + rec), V{});
    EXPECT_EQ(ParseSettingsAnswer("x" + rec + rec + "1.0"), V{});
    // Half a separator is not a separator.
    EXPECT_EQ(ParseSettingsAnswer("x\xE3\x81\x84" "1.0"), V{});
}

TEST(SettingsAnswer, WhatTheServiceWritesTheProgramReads) {
    const std::vector<std::string> fields{"1.0", "", "http://example.com/下载", "", "http://example.com/联系"};
    const std::string gbk = Utf8ToGbk(FormatSettingsAnswer(fields));
    EXPECT_NE(gbk.find("\xA4\xA4\xA5\xBC"), std::string::npos);  // いゼ as GBK
    EXPECT_EQ(ParseSettingsAnswer(GbkToUtf8(gbk)), fields);
}

TEST(SettingsAnswer, ValuesThatCannotTravelAreNotStored) {
    EXPECT_TRUE(IsStorableFieldValue("http://127.0.0.1:18936/联系?a=1&b=2"));
    EXPECT_TRUE(IsStorableFieldValue(""));
    EXPECT_FALSE(IsStorableFieldValue("1.0い"));
    EXPECT_FALSE(IsStorableFieldValue("a\nb"));
    EXPECT_FALSE(IsStorableFieldValue("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsStorableFieldValue(std::string(5000, 'a')));
}

}  // namespace
}  // namespace mojian

// 我的模块: file names Windows accepts, the store's rules, and sets moved
// between PCs.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/File.h"
#include "myblocks/BlockScan.h"
#include "myblocks/MyBlocks.h"
#include "myblocks/Names.h"
#include "tests/TempFolder.h"

namespace mojian::myblocks {
namespace {

using testing::FromUtf8;
using testing::TempFolder;

std::string Repeat(std::string_view text, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += text;
    return out;
}

TEST(MyBlockNames, FileStemsAreNamesWindowsAccepts) {
    const struct {
        std::string name, stem;
    } cases[] = {
        {"售后承诺", "售后承诺"},
        {R"(a\b/c:d*e?f"g<h>i|j)", "a＼b／c：d＊e？f＂g＜h＞i｜j"},
        {"tab\there\x7F", "tab_here_"},
        {"CON", "_CON"},
        {"con.txt", "_con.txt"},
        {"Nul .x", "_Nul .x"},
        {"COM1", "_COM1"},
        {"lpt9", "_lpt9"},
        {"COM0", "COM0"},
        {"CONSOLE", "CONSOLE"},
        {"尺码表...  ", "尺码表"},
        {"  前后 ", "前后"},
        {"...", "_"},
        {Repeat("长", 130), Repeat("长", 100)},
        {"a" + Repeat("😀", 60), "a" + Repeat("😀", 49)},  // a pair of units is never split
        {Repeat("字", 99) + ".x", Repeat("字", 99)},        // cut, then the dot left at the end dropped
    };
    for (const auto& c : cases) EXPECT_EQ(FileStem(c.name), c.stem) << c.name;
    EXPECT_EQ(NumberedFileName("尺码", 1), "尺码.json");
    EXPECT_EQ(NumberedFileName("尺码", 2), "尺码 (2).json");
}

TEST(MyBlockNames, BadNamesAreSaidAndCaseFoldsAsWindows) {
    EXPECT_EQ(TidyName(" \u3000售后\t "), "售后");
    const struct {
        std::string name;
        std::string fault;  // a piece of the message; empty when the name is fine
    } cases[] = {
        {"售后承诺", ""},          {"", "起个名称"},          {"\u3000 ", "起个名称"},
        {Repeat("名", 100), ""},   {Repeat("名", 101), "太长"}, {"一行\n两行", "控制字符"},
        {"\xFF\xFE", "有效的文字"},
    };
    for (const auto& c : cases) {
        const std::string fault = NameFault(c.name);
        if (c.fault.empty()) EXPECT_EQ(fault, "") << c.name;
        else EXPECT_NE(fault.find(c.fault), std::string::npos) << c.name << " → " << fault;
    }
    for (const auto& [a, b] : std::vector<std::pair<std::string, std::string>>{
             {"Size", "sIZE"}, {"äÖ", "Äö"}, {"ａＢ", "Ａｂ"}, {"αβ", "ΑΒ"}, {"дЖ", "Дж"}})
        EXPECT_EQ(CaseFold(a), CaseFold(b)) << a;
    EXPECT_NE(CaseFold("尺码"), CaseFold("尺碼"));
    EXPECT_NE(CaseFold("ａ"), CaseFold("a"));
}

class MyBlocksTest : public ::testing::Test {
protected:
    MyBlocksTest() : store(JoinPath(dir.Utf8(), "我的模块")) {
        store.SetClock([] { return std::string("2026-05-01T14:03:00+08:00"); });
    }
    std::string PathOf(const std::string& file) const { return JoinPath(store.Folder(), file); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const Entry& e : store.List()) names.push_back(e.name);
        return names;
    }

    TempFolder dir;
    MyBlocks store;
};

TEST_F(MyBlocksTest, SavesByteForByteUnderUniqueNames) {
    const std::string html = "<div>售后\r\n<p>七天无理由</p>\n</div>\r\n";
    ASSERT_EQ(store.Save("  售后承诺 ", "栏目文字-健康", html), "");
    const auto block = store.Get("售后承诺");
    ASSERT_TRUE(block);
    EXPECT_EQ(block->html, html);
    EXPECT_EQ(block->source, "栏目文字-健康");
    EXPECT_EQ(block->saved, "2026-05-01T14:03:00+08:00");
    EXPECT_EQ(ShownSaved(store.List()[0]), "2026-05-01 14:03");
    EXPECT_EQ(ShownSource(store.List()[0]), "栏目文字-健康");
    const std::string file = ReadWholeFile(PathOf("售后承诺.json")).value_or("");
    EXPECT_NE(file.find("\"format\": \"墨笺我的模块\""), std::string::npos) << file;
    EXPECT_NE(file.find("\"version\": 1"), std::string::npos);

    // taken names are refused whatever their case, unless replacing
    ASSERT_EQ(store.Save("Size", "自定义源码-3", "<p>1</p>"), "");
    EXPECT_NE(store.Save("SIZE", "自定义源码-3", "<p>2</p>").find("已经有名为“Size”的模块"), std::string::npos);
    EXPECT_EQ(store.Save("SIZE", "自定义源码-4", "<p>2</p>", true), "");
    EXPECT_EQ(store.Get("size")->html, "<p>2</p>");  // under the spelling it was replaced with
    EXPECT_NE(store.Save("", "x", "y").find("起个名称"), std::string::npos);

    // names that meet in one file name both keep their own file
    for (const char* name : {"尺码:表", "尺码：表", "A?", "a？"}) EXPECT_EQ(store.Save(name, "s", name), "") << name;
    for (const char* name : {"尺码:表", "尺码：表", "A?", "a？"}) EXPECT_EQ(store.Get(name)->html, name);
    EXPECT_TRUE(FileSize(PathOf("尺码：表 (2).json")));
    EXPECT_EQ(Names(), (std::vector<std::string>{"A?", "SIZE", "a？", "售后承诺", "尺码:表", "尺码：表"}));
}

TEST_F(MyBlocksTest, DamagedAndNewerFilesAreListedAndNeverRewritten) {
    ASSERT_TRUE(CreateFolder(store.Folder()));
    const std::string newer =
        R"({"format": "墨笺我的模块", "version": 7, "name": "新版", "html": "<p>新</p>", "colour": "红"})";
    ASSERT_TRUE(WriteWholeFile(PathOf("新版.json"), newer));
    ASSERT_TRUE(WriteWholeFile(PathOf("坏.json"), R"({"format": "墨笺我的模块", "version": 1, "name": "坏")"));
    ASSERT_TRUE(WriteWholeFile(PathOf("别的.json"), R"({"format": "别的", "version": 1})"));
    ASSERT_TRUE(WriteWholeFile(PathOf("说明.txt"), "not a block"));

    const std::vector<Entry> entries = store.List();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].state, State::Damaged);  // 别的
    EXPECT_NE(entries[0].problem.find("不是“墨笺我的模块”文件"), std::string::npos) << entries[0].problem;
    EXPECT_EQ(entries[1].state, State::Damaged);  // 坏
    EXPECT_NE(entries[1].problem.find("不完整"), std::string::npos) << entries[1].problem;
    EXPECT_EQ(entries[2].state, State::Newer);
    EXPECT_TRUE(entries[2].ReadOnly());

    // what the lists show of them, and what choosing one previews
    EXPECT_EQ(ShownSaved(entries[1]), "—");
    EXPECT_EQ(ShownSource(entries[1]), "文件已损坏：" + entries[1].problem);
    EXPECT_EQ(ShownSource(entries[2]), "较新版本的文件（只读）：");
    EXPECT_EQ(store.PreviewHtml(entries[2]), "<p>新</p>");
    Entry told = entries[1];
    told.problem = "<b>&";  // shown as text, never as markup
    EXPECT_EQ(store.PreviewHtml(told), "<p style=\"color:#c00\">这个文件已损坏，无法预览：&lt;b>&amp;</p>");
    std::string why;
    EXPECT_FALSE(store.ReadToAdd(entries[1], why));
    EXPECT_EQ(why, "“坏”的文件已损坏，无法添加：" + entries[1].problem);
    EXPECT_EQ(store.ReadToAdd(entries[2], why)->html, "<p>新</p>");

    // the damaged file's name is not reused, the newer one is used as it is
    EXPECT_EQ(store.Save("坏", "s", "<p>好</p>"), "");
    EXPECT_TRUE(FileSize(PathOf("坏 (2).json")));
    EXPECT_EQ(store.Get("新版")->html, "<p>新</p>");
    EXPECT_NE(store.Save("新版", "s", "x", true).find("较新版本"), std::string::npos);
    EXPECT_NE(store.Rename("新版", "旧版").find("较新版本"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(PathOf("新版.json")), newer);
    EXPECT_EQ(store.Delete("新版"), "");  // the seller's own wish: a newer file may go
    EXPECT_FALSE(store.ReadToAdd(entries[2], why));  // gone since it was listed
    EXPECT_EQ(why, "“新版”已经不在“我的模块”文件夹里了。");
    EXPECT_FALSE(FileSize(PathOf("新版.json")));
    EXPECT_NE(store.DeleteDamaged("坏 (2).json").find("没有名为"), std::string::npos);  // a sound block
    EXPECT_EQ(store.DeleteDamaged("坏.json"), "");
    EXPECT_EQ(Names(), (std::vector<std::string>{"别的", "坏"}));

    // what the import takes: every block Get gives, in the list's order
    ASSERT_TRUE(WriteWholeFile(PathOf("新版.json"), newer));
    std::vector<std::string> got;
    for (const Entry& entry : store.List())
        if (const std::optional<Block> block = store.Get(entry.name); block && entry.state != State::Damaged)
            got.push_back(block->name + "=" + block->html);
    std::vector<std::string> usable;
    for (const Block& block : store.UsableBlocks()) usable.push_back(block.name + "=" + block.html);
    EXPECT_EQ(usable, got);
    EXPECT_EQ(usable.size(), 2u);
}

TEST_F(MyBlocksTest, TheListIsTakenFromItsCacheOnlyWhileTheFilesAreAsTheyWere) {
    ASSERT_EQ(store.Save("尺码表", "s", "<table/>"), "");
    ASSERT_EQ(store.Save("品牌故事", "s", "<p/>"), "");
    const std::vector<std::string> names = Names();  // the files read, the cache written
    const std::string cachePath = store.Folder() + ".cache.json";
    auto cache = nlohmann::json::parse(ReadWholeFile(cachePath).value_or("null"), nullptr, false);
    ASSERT_TRUE(cache.is_object());
    // a cache that says otherwise for files as they were is believed: it is read, not the files
    for (auto& file : cache["files"]) file[4] = "缓存里的" + file[4].get<std::string>();
    ASSERT_TRUE(WriteWholeFile(cachePath, cache.dump()));
    EXPECT_EQ(Names(), (std::vector<std::string>{"缓存里的品牌故事", "缓存里的尺码表"}));

    // a file changed behind the store's back is read again; the store's own changes drop the cache
    ASSERT_TRUE(WriteWholeFile(PathOf("尺码表.json"), "{"));
    EXPECT_EQ(Names(), (std::vector<std::string>{"尺码表", "缓存里的品牌故事"}));
    EXPECT_EQ(store.List()[0].state, State::Damaged);
    ASSERT_TRUE(RemoveFile(cachePath));
    ASSERT_EQ(store.Rename("品牌故事", "品牌"), "");
    EXPECT_EQ(Names(), (std::vector<std::string>{"品牌", "尺码表"}));
    ASSERT_TRUE(WriteWholeFile(cachePath, "不是缓存"));
    EXPECT_EQ(Names(), (std::vector<std::string>{"品牌", "尺码表"}));
    EXPECT_EQ(names, (std::vector<std::string>{"品牌故事", "尺码表"}));
}

TEST_F(MyBlocksTest, RenameKeepsTheBlockAndDeleteRemovesIt) {
    ASSERT_EQ(store.Save("尺码表", "图片展示-样式3", "<table/>"), "");
    ASSERT_EQ(store.Save("品牌故事", "栏目文字-炫黑", "<p/>"), "");
    store.SetClock([] { return std::string("later"); });
    EXPECT_NE(store.Rename("尺码表", "品牌故事").find("已经有"), std::string::npos);
    EXPECT_NE(store.Rename("没有", "x").find("没有名为“没有”"), std::string::npos);
    EXPECT_NE(store.Rename("尺码表", " ").find("起个名称"), std::string::npos);
    ASSERT_EQ(store.Rename("尺码表", "男装尺码"), "");
    EXPECT_FALSE(store.Get("尺码表"));
    EXPECT_FALSE(FileSize(PathOf("尺码表.json")));
    const auto renamed = store.Get("男装尺码");
    ASSERT_TRUE(renamed);
    EXPECT_EQ(renamed->html, "<table/>");
    EXPECT_EQ(renamed->saved, "2026-05-01T14:03:00+08:00");
    // a change of case only keeps the file
    ASSERT_EQ(store.Save("size", "s", "x"), "");
    ASSERT_EQ(store.Rename("SIZE", "Size"), "");
    EXPECT_EQ(Names(), (std::vector<std::string>{"Size", "品牌故事", "男装尺码"}));
    EXPECT_EQ(store.Delete("品牌故事"), "");
    EXPECT_NE(store.Delete("品牌故事").find("没有名为"), std::string::npos);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Size", "男装尺码"}));
}

TEST_F(MyBlocksTest, SetsImportWithClashesAnswered) {
    for (const char* name : {"售后", "尺码", "品牌"}) ASSERT_EQ(store.Save(name, "s", std::string("<p>") + name), "");
    const std::string set = JoinPath(dir.Utf8(), "一套.json");
    ASSERT_EQ(store.Export({"售后", "尺码", "品牌"}, set), "");
    EXPECT_NE(store.Export({"没有"}, set).find("没有名为"), std::string::npos);

    MyBlocks other(JoinPath(dir.Utf8(), "另一台"));
    ASSERT_EQ(other.Save("售后", "s", "<p>旧"), "");
    ASSERT_EQ(other.Save("售后 (2)", "s", "<p>旧2"), "");
    ASSERT_EQ(other.Save("尺码", "s", "<p>旧尺码"), "");
    std::vector<std::string> asked;
    const ImportReport report = other.Import(set, [&](const std::string& name, bool canReplace) {
        asked.push_back(name);
        EXPECT_TRUE(canReplace);
        return name == "售后" ? Clash::KeepBoth : Clash::Replace;
    });
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(asked, (std::vector<std::string>{"售后", "尺码"}));
    EXPECT_EQ(report.added, std::vector<std::string>{"品牌"});
    EXPECT_EQ(report.replaced, std::vector<std::string>{"尺码"});
    ASSERT_EQ(report.renamed.size(), 1u);
    EXPECT_EQ(report.renamed[0].second, "售后 (3)");
    EXPECT_EQ(other.Get("售后 (3)")->html, "<p>售后");
    EXPECT_EQ(other.Get("售后")->html, "<p>旧");
    EXPECT_EQ(other.Get("尺码")->html, "<p>尺码");
    EXPECT_EQ(other.Import(set, [](const std::string&, bool) { return Clash::Skip; }).skipped.size(), 3u);
}

TEST_F(MyBlocksTest, ABadSetOrAFailedWriteLeavesTheFolderAsItWas) {
    ASSERT_EQ(store.Save("在", "s", "<p>在"), "");
    const std::string head = R"({"format": "墨笺我的模块集", "version": 1, "blocks": [)";
    const std::string good = R"({"name": "新", "saved": "t", "source": "s", "html": "x"})";
    const std::string bad[] = {
        "",
        "{",
        R"({"format": "墨笺我的模块", "version": 1, "blocks": []})",
        R"({"format": "墨笺我的模块集", "version": 2, "blocks": []})",
        head + good + "," + good + "]}",                                        // the same name twice
        head + good + R"(, {"name": "无码", "saved": "t", "source": "s"}]})",  // no html
        head + good + R"(, {"name": " 空格", "saved": "t", "source": "s", "html": ""}]})",
        head + Repeat("[", 40) + Repeat("]", 40) + "]}",
    };
    const std::string path = JoinPath(dir.Utf8(), "集.json");
    for (const std::string& text : bad) {
        ASSERT_TRUE(WriteWholeFile(path, text));
        const ImportReport report = store.Import(path, nullptr);
        EXPECT_NE(report.error.find("无法导入"), std::string::npos) << text;
        EXPECT_TRUE(report.added.empty());
        EXPECT_EQ(Names(), std::vector<std::string>{"在"}) << text;
    }

    // the kept block of the second clash goes away while the seller is asked:
    // nothing of the set stays, and the replaced block comes back
    ASSERT_EQ(store.Save("去", "s", "<p>去"), "");
    ASSERT_TRUE(WriteWholeFile(path, head + good + "," + R"({"name": "在", "saved": "t", "source": "s", "html": "y"},)" +
                                         R"({"name": "去", "saved": "t", "source": "s", "html": "z"}]})"));
    const ImportReport report = store.Import(path, [&](const std::string& name, bool) {
        if (name == "去") RemoveFile(PathOf("去.json"));
        return Clash::Replace;
    });
    EXPECT_NE(report.error.find("已恢复原样"), std::string::npos) << report.error;
    EXPECT_EQ(Names(), std::vector<std::string>{"在"});
    EXPECT_EQ(store.Get("在")->html, "<p>在");
}

// The list's quick reading never takes what the full parser refuses, and
// reads what it takes as that parser does: files of ours, written by hand
// and broken at random.
TEST(MyBlockScan, TheQuickReadingAgreesWithTheFullParserOrLeavesTheFileToIt) {
    std::vector<std::string> files = {
        BlockFileText({"售后", "2026-05-01T14:03:00+08:00", "栏目文字-健康", "<p class=\"a\">七天\t退换 😀</p>\r\n\\"}),
        R"({"version":1,"format":"墨笺我的模块","name":"\u5c3a\u7801","saved":"","source":"","html":"\ud83d\ude00\/\b\f",
            "extra":[1,-0,true,false,null,{"a":[[]]},"x"]})",
    };
    const std::vector<std::string> breaks = {"\\", "\"", "\\u", "\\ud800", "\\udc00", "\\u0000", "\xED\xA0\x80",
                                             "\xC0\x80", "\xF4\x90\x80\x80", "\xE4\xB8", "\x01", "\x7F", "1e999",
                                             "1.5", "01", "-", "99999999999999999999", ",", ":", "{", "}", "[", "]",
                                             " ", "\"version\":2,", "\"name\":1,", "\"html\":\"x\",", "tru", "nul"};
    ASSERT_TRUE(ScanBlockFile(files[0]) && ScanBlockFile(files[1]));
    std::mt19937 rng(30);
    for (std::size_t i = 0, seeds = files.size(); i < 3000; ++i) {
        std::string text = files[rng() % seeds];
        for (int n = 1 + static_cast<int>(rng() % 3); n > 0; --n) {
            const std::size_t at = rng() % (text.size() + 1);
            switch (rng() % 3) {
            case 0: text.insert(at, breaks[rng() % breaks.size()]); break;
            case 1: text.erase(at, 1 + rng() % 4); break;
            default: text.resize(at); break;
            }
        }
        files.push_back(std::move(text));
    }
    std::size_t taken = 0;
    for (const std::string& text : files) {
        const std::optional<ScannedBlock> scanned = ScanBlockFile(text);
        if (!scanned) continue;
        ++taken;
        const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
        ASSERT_TRUE(json.is_object()) << text;
        for (const auto& [key, field] : {std::pair{"format", &scanned->format}, {"name", &scanned->name},
                                         {"saved", &scanned->saved}, {"source", &scanned->source}, {"html", &scanned->html}}) {
            const auto it = json.find(key);
            EXPECT_EQ(it != json.end(), field->has_value()) << key << " in " << text;
            if (it != json.end() && *field) {
                EXPECT_TRUE(it->is_string() && it->get<std::string>() == **field) << text;
            }
        }
        const auto version = json.find("version");
        EXPECT_EQ(version != json.end(), scanned->version.has_value()) << text;
        if (scanned->version) {
            EXPECT_TRUE(version->is_number_integer() && version->get<long long>() == *scanned->version);
        }
    }
    EXPECT_GT(taken, 100u);  // it does read most sound files
    EXPECT_LT(taken, files.size() / 2);
}

}  // namespace
}  // namespace mojian::myblocks

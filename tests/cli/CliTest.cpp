// The mojian command run as a process, as a script would run it: natively,
// and as mojian.com under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "base/File.h"
#include "base/Gbk.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "check/Check.h"
#include "check/Report.h"
#include "compose/Composition.h"
#include "html/Layout.h"
#include "import/Import.h"
#include "myblocks/MyBlocks.h"
#include "project/ProjectFile.h"
#include "tests/check/CasePage.h"
#include "tests/TempFolder.h"
#include "tests/cli/Process.h"
#include "tests/import/RandomBlocks.h"

namespace mojian {

using import::FreshPageContext;
using import::ImportDescriptionFile;
using import::ImportResult;
using project::SaveProjectFile;

namespace {

using Names = std::vector<std::string>;

// The command is a front on the import and the page, whose own tests take
// every block and many random pages in-process: here a process each time
// (dear under Wine and under the sanitizers alike) shows the front passes
// them through, on every ninth block and a few random pages.
#ifdef _WIN32
constexpr const char* kProgram = "mojian.com";
#else
constexpr const char* kProgram = "mojian";
#endif
constexpr int kEveryNthBlock = 9;
constexpr int kRandomPages = 3;

// Standard output's lines, whichever line ends the platform writes.
Names LinesOf(const std::string& text) {
    Names lines;
    std::size_t start = 0;
    for (std::size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
        std::string line = text.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = nl + 1;
    }
    EXPECT_EQ(start, text.size()) << "the last line has no line end";
    return lines;
}

class CliTest : public ::testing::Test {
protected:
    testing::Finished Run(std::vector<std::string> args) {
        args.insert(args.begin(), JoinPath(testing::OwnFolder(), kProgram));
        return testing::RunProgram(args, folder.Utf8());
    }
    std::string Path(const std::string& name) const { return JoinPath(folder.Utf8(), name); }
    std::string Write(const std::string& name, const std::string& bytes) {
        EXPECT_TRUE(WriteWholeFile(Path(name), bytes));
        return Path(name);
    }

    // Imports `bytes` as a file and expects `lines` back, then the page as
    // `page` in GBK; `everyWay` also lists the project and writes the page
    // in UTF-8 to standard output.
    void RoundTrip(const std::string& bytes, const Names& lines, const std::string& page, bool everyWay = true) {
        const std::string description = Write("描述.html", bytes), project = Path("排版.mojian");
        const testing::Finished imported = Run({"import", description, "-o", project});
        ASSERT_EQ(imported.status, 0) << imported.err;
        EXPECT_EQ(LinesOf(imported.out), lines);
        ASSERT_EQ(Run({"page", project, "-o", Path("页面.html")}).status, 0);
        EXPECT_TRUE(ReadWholeFile(Path("页面.html")) == Utf8ToGbk(page));
        if (!everyWay) return;
        EXPECT_EQ(LinesOf(Run({"list", project}).out), lines);
        const testing::Finished utf8 = Run({"page", project, "--encoding", "UTF-8"});
        EXPECT_EQ(utf8.status, 0);
        EXPECT_TRUE(utf8.out == page);
    }

    testing::TempFolder folder;
};

TEST_F(CliTest, BlocksListsTheNinetyEntryNames) {
    const testing::Finished blocks = Run({"blocks"});
    EXPECT_EQ(blocks.status, 0);
    Names expected;
    for (int k = 0; k < kKindCount; ++k)
        for (int s = 0; s < kStyleCounts[static_cast<std::size_t>(k)]; ++s) expected.push_back(EntryName(k, s));
    EXPECT_EQ(LinesOf(blocks.out), expected);
    EXPECT_TRUE(blocks.err.empty());
}

TEST_F(CliTest, BlocksMineListsTheSellersOwnFromTheUserFolder) {
    const std::string local = Path("local");
    ASSERT_TRUE(CreateFolder(local));
    const testing::LocalDataFolder pointed(local);
    const testing::Finished none = Run({"blocks", "--mine"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(LinesOf(none.out), Names{"还没有保存过我的模块。"});

    myblocks::MyBlocks mine(JoinPath(JoinPath(local, "墨笺"), "我的模块"));
    mine.SetClock([] { return std::string("2026-05-01T14:03:00+08:00"); });
    EXPECT_EQ(mine.Save("售后承诺", "栏目文字-健康", std::string(2048, 'x')), "");
    EXPECT_EQ(mine.Save("尺码", "自定义源码-3", "<p>尺码</p>"), "");
    ASSERT_TRUE(WriteWholeFile(JoinPath(mine.Folder(), "坏.json"), "{"));
    const testing::Finished listed = Run({"blocks", "--mine"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(LinesOf(listed.out), (Names{"售后承诺\t栏目文字-健康\t2026-05-01 14:03\t2.0 KB",
                                          "坏.json\t（已损坏：文件不完整，可能没有写完）",
                                          "尺码\t自定义源码-3\t2026-05-01 14:03\t13 字节"}));
    EXPECT_EQ(Run({"blocks", "--mine", "x"}).status, 2);

    // and the import finds them in a description, damaged file and all
    EXPECT_EQ(mine.Save("说明", "自定义源码-4", "<p>说明</p>\r\n"), "");
    const testing::Finished imported =
        Run({"import", Write("描述.html", "<p>说明</p>\r\n<p>别的</p>\r\n"), "-o", Path("描述.mojian")});
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(LinesOf(imported.out), (Names{"我的模块-说明", "自定义源码-1"}));
    EXPECT_NE(imported.err.find("共导入 2 行，其中 0 行是内置模块，1 行是我的模块，1 行是自定义源码。"), std::string::npos)
        << imported.err;
}

TEST_F(CliTest, EveryCommandHasHelpAndMisuseIsSaid) {
    for (const char* command : {"blocks", "import", "list", "page", "check", "mobile"}) {
        const testing::Finished help = Run({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.find(std::string("用法：mojian ") + command), 0u) << help.out;
    }
    // after "--" a "-h" is a file's name
    EXPECT_NE(Run({"list", "--", "-h"}).err.find("-h："), std::string::npos);
    const testing::Finished all = Run({"--help"});
    EXPECT_EQ(all.status, 0);
    for (const char* command : {"blocks", "import", "list", "page"}) EXPECT_NE(all.out.find(command), std::string::npos);
    EXPECT_EQ(Run({}).status, 2);
    for (const std::vector<std::string>& misuse : std::vector<std::vector<std::string>>{
             {"copy"}, {"blocks", "extra"}, {"import"}, {"import", "a.html", "-o"}, {"import", "a.html", "--force"},
             {"list", "a", "b"}, {"page", "a.mojian", "--encoding", "latin1"}, {"check"}, {"check", "a.html", "--json=1"},
             {"check", "a.html", "-o", "b"}, {"check", "a.html", "--width", "800"}, {"check", "a.html", "--width"}}) {
        const testing::Finished f = Run(misuse);
        EXPECT_EQ(f.status, 2) << misuse.front();
        EXPECT_EQ(f.err.find("mojian: "), 0u) << f.err;
        EXPECT_TRUE(f.out.empty());
    }
}

TEST_F(CliTest, EveryBlockImportsToItsLineAndItsPageByteForByte) {
    int n = 0;
    for (int k = 0; k < kKindCount; ++k) {
        for (int s = 0; s < kStyleCounts[static_cast<std::size_t>(k)]; ++s) {
            if (n++ % kEveryNthBlock != 0) continue;
            SCOPED_TRACE(EntryName(k, s));
            RoundTrip(Utf8ToGbk(BuiltInLibrary().Get(k, s)), {EntryName(k, s)}, BuiltInLibrary().Get(k, s), n % 10 == 1);
            if (HasFailure()) return;
        }
    }
}

TEST_F(CliTest, RandomPagesOfBlocksComeBackLineForLine) {
    std::mt19937 rng(1216);
    for (int round = 0; round < kRandomPages; ++round) {
        const int count = round == 0 ? 200 : 1 + static_cast<int>(rng() % 200);
        const testing::BlockPage page = testing::RandomBlockPage(rng, count);
        SCOPED_TRACE(round);
        RoundTrip(round % 2 ? page.html : Utf8ToGbk(page.html), page.lines, page.html);
        if (HasFailure()) return;
    }
}

TEST_F(CliTest, OtherHtmlComesBackAsCustomSourcesAndTheAddedLineBreakIsSaid) {
    const std::string page = "<p>店铺公告</p>\r\n" + BuiltInLibrary().Get(0, 18) + "<div>\r\n说明\r\n</div>\r\n" + BuiltInLibrary().Get(5, 3) + "<p>末尾</p>";
    RoundTrip("\xEF\xBB\xBF" + page, {"自定义源码-1", "栏目文字-健康", "自定义源码-2", "关联营销-样式4", "自定义源码-3"},
              page + "\r\n");
    const testing::Finished again = Run({"import", Path("描述.html"), "-o", Path("排版.mojian")});
    EXPECT_NE(again.err.find("共导入 5 行，其中 2 行是内置模块，3 行是自定义源码。"), std::string::npos) << again.err;
    EXPECT_NE(again.err.find("导入时在末尾补上了一个"), std::string::npos);
}

TEST_F(CliTest, BadInputGetsItsReasonAndANonZeroStatus) {
    const testing::Finished missing = Run({"import", Path("没有.html"), "-o", Path("x.mojian")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("无法读取这个文件"), std::string::npos) << missing.err;
    EXPECT_FALSE(FileSize(Path("x.mojian")));

    std::string binary("\x89PNG\r\n\x1A\n", 8);
    for (int i = 0; i < 300; ++i) binary += static_cast<char>(i * 7);
    const testing::Finished picture = Run({"import", Write("图.png", binary), "-o", Path("x.mojian")});
    EXPECT_EQ(picture.status, 1);
    EXPECT_NE(picture.err.find("这不是文本文件"), std::string::npos) << picture.err;
    EXPECT_FALSE(FileSize(Path("x.mojian")));

    const testing::Finished nul = Run({"import", Write("含空字符.html", std::string("<p>a</p>\r\n<p>\0</p>", 18))});
    EXPECT_EQ(nul.status, 1);
    EXPECT_NE(nul.err.find("空字符"), std::string::npos);
    EXPECT_NE(nul.err.find("第 2 行"), std::string::npos) << nul.err;

    const testing::Finished notProject = Run({"list", Write("a.mojian", "<p>not json</p>")});
    EXPECT_EQ(notProject.status, 1);
    EXPECT_NE(notProject.err.find("不是墨笺的排版文件"), std::string::npos) << notProject.err;
    EXPECT_EQ(Run({"page", Path("a.mojian")}).status, 1);
}

TEST_F(CliTest, WithoutDashOTheProjectGoesBesideTheFileAndNeverReplacesOne) {
    const std::string description = Write("店铺描述.htm", BuiltInLibrary().Get(8, 0));
    const testing::Finished first = Run({"import", description});
    ASSERT_EQ(first.status, 0) << first.err;
    const auto project = ReadWholeFile(Path("店铺描述.mojian"));
    ASSERT_TRUE(project);
    EXPECT_NE(first.err.find("已写入"), std::string::npos);
    Write("店铺描述.htm", BuiltInLibrary().Get(8, 1));
    const testing::Finished second = Run({"import", description});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("已经存在"), std::string::npos) << second.err;
    EXPECT_EQ(ReadWholeFile(Path("店铺描述.mojian")), project);
    // named with -o, it is replaced
    EXPECT_EQ(Run({"import", description, "-o", Path("店铺描述.mojian")}).status, 0);
    EXPECT_EQ(LinesOf(Run({"list", Path("店铺描述.mojian")}).out), Names{"五分好评-样式2"});
}

// Windows writes "\n" as CR LF to a redirected stream.
std::string WithoutCr(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// The check's own findings on `page`, as the command measures: fixed advances, no pictures.
struct CheckedPage {
    std::string json, text;
    bool errors = false;
    std::vector<std::string> rulesAndDetails;
};
CheckedPage CheckInProcess(const Composition& page) {
    html::FixedMeasurer measurer;
    html::PicturesLoading pictures;
    check::Checker checker(check::RuleSet::BuiltIn(), measurer, pictures);
    const auto lines = check::LinesOf(page);
    const auto findings = checker.CheckPage(lines);
    CheckedPage checked{check::ReportJson(findings, lines, checker.Rules()), check::ReportText(findings, lines, checker.Rules())};
    for (const auto& f : findings) {
        checked.errors = checked.errors || f.severity == check::Severity::Error;
        checked.rulesAndDetails.push_back(f.rule + " " + f.detail);
    }
    return checked;
}

TEST_F(CliTest, CheckGivesTheChecksOwnFindingsForAProjectAndForADescriptionImportedFirst) {
    for (const std::string stem : {"07-onclick-coupon", "01-script-tracking", "46-blocks-and-clean-code"}) {
        SCOPED_TRACE(stem);
        const auto caseText = ReadWholeFile(std::string(MOJIAN_CHECK_CASES) + "/" + stem + ".page");
        ASSERT_TRUE(caseText);
        const Composition page = testing::CasePage(*caseText);
        const CheckedPage expected = CheckInProcess(page);
        const int status = expected.errors ? 1 : 0;

        // the project: its own lines, finding for finding
        const std::string project = Path("案例.mojian");
        ASSERT_FALSE(SaveProjectFile(project, page.Snapshot()));
        const testing::Finished json = Run({"check", project, "--json"});
        EXPECT_EQ(json.status, status) << json.err;
        EXPECT_EQ(WithoutCr(json.out), expected.json);
        const testing::Finished text = Run({"check", project});
        EXPECT_EQ(text.status, status);
        EXPECT_EQ(WithoutCr(text.out), expected.text);

        // its page as a description in GBK: imported into lines first, the same findings
        const std::string description = Write("案例.html", Utf8ToGbk(page.PageHtml()));
        const ImportResult imported = ImportDescriptionFile(description, FreshPageContext());
        ASSERT_TRUE(imported.Ok());
        Composition importedPage;
        importedPage.Open(imported.imported->page);
        const CheckedPage fromHtml = CheckInProcess(importedPage);
        EXPECT_EQ(fromHtml.rulesAndDetails, expected.rulesAndDetails);
        const testing::Finished html = Run({"check", description, "--json"});
        EXPECT_EQ(html.status, status) << html.err;
        EXPECT_EQ(WithoutCr(html.out), fromHtml.json);
    }
}

TEST_F(CliTest, CheckMeasuresAtTheWidthGivenElseTheProjectsElse750) {
    const std::string html = R"(<table width="790" cellspacing="0" cellpadding="0"><tr><td>)"
                             R"(<img src="https://img.alicdn.com/a.jpg" width="790" height="9">)"
                             "</td></tr></table>\r\n";
    const std::string description = Write("天猫.html", html);
    Composition page;
    page.AddCustom(html);
    page.SetWidth(DescriptionWidth::Tmall);
    const std::string tmall = Path("天猫.mojian");
    ASSERT_FALSE(SaveProjectFile(tmall, page.Snapshot()));
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    for (const Case& c : std::vector<Case>{{{description}, 1},
                                           {{description, "--width", "790"}, 0},
                                           {{"--width", "750", description}, 1},
                                           {{tmall}, 0},
                                           {{tmall, "--width", "750"}, 1}}) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "check");
        const testing::Finished f = Run(args);
        EXPECT_EQ(f.status, c.status) << args[1] << " " << f.out << f.err;
    }
    const testing::Finished bad = Run({"check", description, "--width", "800px"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("750（淘宝）或 790（天猫）"), std::string::npos) << bad.err;
    EXPECT_NE(bad.err.find("800px"), std::string::npos) << bad.err;
}

TEST_F(CliTest, CheckSaysWhatItCannotCheckWithStatusTwo) {
    const testing::Finished missing = Run({"check", Path("没有.html")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("无法读取这个文件"), std::string::npos) << missing.err;
    std::string picture("\x89PNG\r\n\x1A\n", 8);
    for (int i = 0; i < 300; ++i) picture += static_cast<char>(i * 7);
    const testing::Finished binary = Run({"check", Write("图.png", picture)});
    EXPECT_EQ(binary.status, 2);
    EXPECT_NE(binary.err.find("这不是文本文件"), std::string::npos) << binary.err;
    const testing::Finished notProject = Run({"check", Write("坏.MOJIAN", "<p>not json</p>")});
    EXPECT_EQ(notProject.status, 2);
    EXPECT_NE(notProject.err.find("不是墨笺的排版文件"), std::string::npos) << notProject.err;
    EXPECT_TRUE(missing.out.empty() && binary.out.empty() && notProject.out.empty());
}

// The mobile description from a description file: what was made, what was
// left out and what could not be made each have their exit status; outside
// Windows the command only says it needs Windows.
TEST_F(CliTest, MobileSaysWhatItMadeLeftOutOrCouldNotMake) {
    const std::string page = Write("描述.html", Utf8ToGbk("<p style='font-size:20px'>春装上新</p>\r\n"));
    const std::string linked = Write("链接.html", Utf8ToGbk("<p><a href='#top'>回到顶部</a></p>\r\n"));
    const std::string broken = Write("破图.html", "<img src='nowhere.png' width=200 height=100>\r\n");
    const std::string mail = Write("邮件.html", Utf8ToGbk("<!-- 存档 -->\r\n<!DOCTYPE html>\r\n<p>订单已发货</p>\r\n"));
#ifdef _WIN32
    ASSERT_TRUE(CreateFolder(Path("已有")));
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* said;  // in standard error when nothing was made, else in standard output
        const char* made;  // a file in -o's folder, or nothing
    };
    const Case cases[] = {
        {{page, "-o", Path("图1"), "--width", "1242", "--format", "png"}, 0, "生成 1 张图片", "01.png"},
        {{linked, "-o", Path("图2"), "--page-width", "790", "--max-height", "600"}, 1, "没有做成热区的链接：#top", "热区.json"},
        {{broken, "-o", Path("图3")}, 2, "--allow-broken", nullptr},
        {{broken, "-o", Path("图4"), "--allow-broken"}, 1, "nowhere.png", "总览.jpg"},
        {{mail, "-o", Path("图7"), "--format", "png"}, 0, "生成 1 张图片", "01.png"},
        {{page, "-o", Path("已有")}, 2, "已经存在", nullptr},
        {{Path("没有.html"), "-o", Path("图5")}, 2, "没有.html", nullptr},
        {{page}, 2, "-o", nullptr},
        {{page, "-o", Path("图6"), "--width", "800"}, 2, "750 或 1242", nullptr},
        {{page, "-o", Path("图6"), "--format", "gif"}, 2, "auto、jpg 或 png", nullptr},
        {{page, "-o", Path("图6"), "--max-height", "高"}, 2, "正整数", nullptr},
        {{page, "-o", Path("图6"), "--page-width", "800"}, 2, "750（淘宝）或 790（天猫）", nullptr},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"mobile"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const testing::Finished f = Run(args);
        SCOPED_TRACE(c.said);
        EXPECT_EQ(f.status, c.status) << f.err;
        EXPECT_NE((c.status == 2 ? f.err : f.out).find(c.said), std::string::npos) << f.out << f.err;
        const std::string target = args[3 < args.size() ? 3 : 1];
        if (c.made) {
            EXPECT_TRUE(FileSize(JoinPath(target, c.made))) << c.made;
        } else if (c.status == 2 && target != Path("已有")) {
            EXPECT_FALSE(FolderExists(target));
        }
    }
#else
    const testing::Finished f = Run({"mobile", page, "-o", Path("图")});
    EXPECT_EQ(f.status, 2);
    EXPECT_NE(f.err.find("Windows"), std::string::npos);
    EXPECT_FALSE(FolderExists(Path("图")));
#endif
}

}  // namespace
}  // namespace mojian

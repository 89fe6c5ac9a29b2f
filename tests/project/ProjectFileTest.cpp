// The project file: what it holds, what it reads back, and what it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/File.h"
#include "base/Gbk.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/Composition.h"
#include "project/ProjectFile.h"
#include "tests/TempFolder.h"
#include "tests/compose/PageMirror.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace mojian::project {
namespace {

using testing::PageMirror;
using testing::TempFolder;
using K = ProjectErrorKind;

const std::string kEmoji = "\xF0\x9F\x98\x80";  // outside GBK

// A page with everything a file holds: repeats, a source on two lines, one
// named by no line, text outside GBK, an edited block, a custom choice.
Composition SamplePage(PageMirror* mirror = nullptr) {
    Composition page;
    const auto run = [&](const PageEffects& e) {
        if (mirror) mirror->Reflect(page, e);
    };
    run(page.AddBuiltIn(0, 18));
    run(page.AddCustom("<p>墨笺 " + kEmoji + "</p>\r\n<p>第二行</p>"));
    run(page.AddCustom("not on the page"));
    page.Select(2);
    run(page.DeleteSelected());
    run(page.AddBuiltIn(1, 2));
    run(page.AddBuiltIn(1, 2));
    run(page.InsertLine(3, "自定义源码-1"));
    run(page.InsertLine(0, "图片展示-样式6"));  // a name that resolves to nothing
    run(page.SetBlock(1, 2, "<img src=\"a.jpg\" alt=\"价格 ￥99 " + kEmoji + "\">"));
    page.SetChoice(Choice::Custom());
    return page;
}

ProjectError ErrorOf(std::string_view bytes) {
    const ProjectRead read = ParseProject(bytes);
    EXPECT_FALSE(read.Ok()) << bytes.substr(0, 200);
    return read.error;
}

std::string Valid(const std::string& lines = R"(["栏目文字-炫黑"])", const std::string& rest = "") {
    return R"({"format": "mojian-page", "version": 1, "lines": )" + lines + rest + "}";
}

TEST(ProjectFile, SaveThenOpenGivesAPageThatCopiesByteForByteTheSame) {
    TempFolder folder;
    ASSERT_TRUE(CreateFolder(WorkingFolder()));
    PageMirror mirror;
    const Composition page = SamplePage(&mirror);
    const std::string copied = page.PageHtml();  // the page as the program copies it today
    ASSERT_NE(copied.find("&#x1F600;"), std::string::npos);

    const std::string path = JoinPath(folder.Utf8(), "女装详情.mojian");
    ASSERT_FALSE(SaveProjectFile(path, page.Snapshot()).has_value());
    const ProjectRead read = LoadProjectFile(path);
    ASSERT_TRUE(read.Ok()) << ProjectErrorMessage(read.error);
    EXPECT_EQ(*read.page, page.Snapshot());

    // a new page in the same run, as a restart would, then the file's page
    Composition opened;
    PageMirror reopened;
    reopened.Reflect(opened, opened.Open(*read.page));
    EXPECT_EQ(opened.PageHtml(), copied);
    reopened.Expect(opened);
    EXPECT_EQ(*opened.CustomText(1), "<p>墨笺 " + kEmoji + "</p>\r\n<p>第二行</p>");  // kept as typed
    EXPECT_EQ(opened.CurrentChoice(), Choice::Custom());
}

TEST(ProjectFile, TheSellersBlocksTheLinesNameTravelWithThePage) {
    PageData page;
    page.lines = {"我的模块-尺码表", "栏目文字-炫黑", "我的模块-尺码表"};
    page.myBlocks = {{"尺码表", "<table>\r\n<tr><td>S</td></tr></table>"}, {"没用上的", "<p>x</p>"}};
    ProjectError error;
    const auto bytes = SerializeProject(page, error);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->find("没用上的"), std::string::npos);
    const ProjectRead read = ParseProject(*bytes);
    ASSERT_TRUE(read.Ok());
    page.myBlocks.erase("没用上的");
    EXPECT_EQ(*read.page, page);

    // a page without them writes no field; a damaged one is refused with its reason
    page.lines = {"栏目文字-炫黑"};
    EXPECT_EQ(SerializeProject(page, error)->find("myBlocks"), std::string::npos);
    for (const char* bad : {R"([{"name": "", "text": "x"}])", R"([{"name": "a", "text": "x"}, {"name": "a", "text": "y"}])",
                            R"([{"name": "a"}])"}) {
        const ProjectRead r = ParseProject(Valid(R"(["我的模块-a"])", std::string(R"(, "myBlocks": )") + bad));
        EXPECT_FALSE(r.Ok()) << bad;
        EXPECT_EQ(r.error.kind, ProjectErrorKind::BadValue) << bad;
    }
}

TEST(ProjectFile, IsReadableJsonWithTheFormatFirstAndNoPaths) {
    TempFolder folder;
    ProjectError error;
    const auto bytes = SerializeProject(SamplePage().Snapshot(), error);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(bytes->rfind("{\n  \"format\": \"mojian-page\",\n  \"version\": 1,\n", 0), 0u) << *bytes;
    EXPECT_NE(bytes->find("\"自定义源码-1\""), std::string::npos);  // UTF-8 as it is, not escaped
    EXPECT_NE(bytes->find(kEmoji), std::string::npos);
    EXPECT_EQ(bytes->find("not on the page"), std::string::npos);  // a source no line names
    EXPECT_EQ(bytes->find(folder.Utf8()), std::string::npos);
    EXPECT_EQ(bytes->find("Vexa"), std::string::npos);

    // the form a person or a later version writes
    const ProjectRead read = ParseProject(R"({
      "format": "mojian-page", "version": 1,
      "lines": ["栏目文字-炫黑", "自定义源码-1", "图片展示-样式3"],
      "customSources": [{"number": 1, "text": "<p>墨笺</p>"}],
      "editedBlocks": [{"entry": "图片展示-样式3", "text": "<img src=x>"}],
      "choice": "图片展示-样式3"})");
    ASSERT_TRUE(read.Ok()) << ProjectErrorMessage(read.error);
    PageData expected;
    expected.lines = {"栏目文字-炫黑", "自定义源码-1", "图片展示-样式3"};
    expected.customSources = {{1, "<p>墨笺</p>"}};
    expected.editedBlocks = {{{1, 2}, "<img src=x>"}};
    expected.choice = Choice::BuiltIn(1, 2);
    EXPECT_EQ(*read.page, expected);
}

TEST(ProjectFile, TheDescriptionWidthIsKeptAndAFileWithoutOneIs750) {
    Composition page = SamplePage();
    ASSERT_TRUE(page.SetWidth(DescriptionWidth::Tmall).Applied());
    ProjectError error;
    const auto bytes = SerializeProject(page.Snapshot(), error);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_NE(bytes->find("\"descriptionWidth\": 790"), std::string::npos);
    EXPECT_NE(bytes->find("\"version\": 1,"), std::string::npos);  // readers before it open it as 750
    const ProjectRead read = ParseProject(*bytes);
    ASSERT_TRUE(read.Ok()) << ProjectErrorMessage(read.error);
    EXPECT_EQ(*read.page, page.Snapshot());
    Composition opened;
    EXPECT_TRUE(opened.Open(*read.page).widthChanged);
    EXPECT_EQ(opened.Width(), DescriptionWidth::Tmall);

    const std::vector<std::pair<std::string, DescriptionWidth>> widths = {
        {"", DescriptionWidth::Taobao},  // a file of the version before
        {R"(, "descriptionWidth": 750)", DescriptionWidth::Taobao},
        {R"(, "descriptionWidth": 790)", DescriptionWidth::Tmall},
        {R"(, "descriptionWidth": 950)", DescriptionWidth::Taobao},  // a later version's column
    };
    for (const auto& [rest, width] : widths) {
        const ProjectRead r = ParseProject(Valid("[]", rest));
        ASSERT_TRUE(r.Ok()) << rest;
        EXPECT_EQ(r.page->width, width) << rest;
    }
    for (const char* bad : {R"(, "descriptionWidth": "790")", R"(, "descriptionWidth": 790.5)", R"(, "descriptionWidth": -1)"})
        EXPECT_EQ(ErrorOf(Valid("[]", bad)).kind, K::BadValue) << bad;
}

TEST(ProjectFile, ALaterVersionOpensAsFarAsItCanUnlessItRequiresWhatThisOneLacks) {
    const std::string later = R"({"format": "mojian-page", "version": 7, "theme": {"dark": true},
      "lines": ["图片展示-样式1", "视频展示-样式1"], "requires": ["lines"],
      "customSources": [{"number": 2, "text": "t", "language": "html"}],
      "editedBlocks": [{"entry": "视频展示-样式1", "text": "new kind"}, {"entry": "图片展示-样式1", "text": "x"}],
      "choice": "视频展示-样式1", "frames": [1, 2, 3]})";
    const ProjectRead read = ParseProject(later);
    ASSERT_TRUE(read.Ok()) << ProjectErrorMessage(read.error);
    EXPECT_EQ(read.page->lines, (std::vector<std::string>{"图片展示-样式1", "视频展示-样式1"}));
    EXPECT_EQ(read.page->customSources, (std::map<int, std::string>{{2, "t"}}));
    EXPECT_EQ(read.page->editedBlocks, (std::map<BlockId, std::string>{{{1, 0}, "x"}}));
    EXPECT_EQ(read.page->choice, kStartChoice);

    std::string requiring = later;
    requiring.replace(requiring.find(R"("requires": ["lines"])"), 21, R"("requires": ["lines", "frames"])");
    const ProjectError error = ErrorOf(requiring);
    EXPECT_EQ(error.kind, K::NewerVersion);
    EXPECT_NE(error.detail.find("frames"), std::string::npos);
    EXPECT_NE(ProjectErrorMessage(error).find("更新版本的墨笺"), std::string::npos);
}

TEST(ProjectFile, WhatIsNotAProjectOrIsDamagedIsRefusedWithItsReason) {
    const std::string good = Valid(R"(["图片展示-样式1", "自定义源码-1"])", R"(, "customSources": [{"number": 1, "text": "abc"}])");
    ASSERT_TRUE(ParseProject(good).Ok());

    struct Case {
        std::string bytes;
        K kind;
    };
    const std::vector<Case> cases = {
        {"", K::Truncated},
        {" \r\n", K::Truncated},
        {good.substr(0, good.size() / 2), K::Truncated},
        {good.substr(0, good.size() - 1), K::Truncated},
        {std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), K::NotAProject},
        {"<html><body>墨笺</body></html>", K::NotAProject},
        {R"({"name": "package", "version": "1.0.0", "dependencies": {}})", K::NotAProject},
        {R"([{"format": "mojian-page"}])", K::NotAProject},
        {R"({"format": "mojian-pages", "version": 1, "lines": []})", K::NotAProject},
        {R"({"format": "mojian-page", "version": 1, "lines": [}])", K::Corrupt},
        {R"({"format": "mojian-page", "version": 1, "lines": []} trailing)", K::Corrupt},
        {Valid(R"(["图片展示-样式1"] "extra": 1)"), K::Corrupt},
        {Valid(R"(["\u0000"])"), K::InvalidText},
        {Valid("[\"a\xFF\"]"), K::InvalidText},
        {Valid("[\"\xED\xA0\x80\"]"), K::InvalidText},  // a surrogate written as UTF-8
        {Valid("[]", R"(, "customSources": [{"number": 1, "text": "a\u0000b"}])"), K::InvalidText},
        {Valid(R"("图片展示-样式1")"), K::BadValue},
        {Valid("[1]"), K::BadValue},
        {Valid("[]", R"(, "lines": [])"), K::BadValue},  // a key twice
        {R"({"format": "mojian-page", "lines": []})", K::BadValue},
        {R"({"format": "mojian-page", "version": 0, "lines": []})", K::BadValue},
        {R"({"format": "mojian-page", "version": "1", "lines": []})", K::BadValue},
        {R"({"format": "mojian-page", "version": 1})", K::BadValue},
        {Valid("[]", R"(, "customSources": {"1": "a"})"), K::BadValue},
        {Valid("[]", R"(, "customSources": ["a"])"), K::BadValue},
        {Valid("[]", R"(, "customSources": [{"number": 1}])"), K::BadValue},
        {Valid("[]", R"(, "customSources": [{"text": "a", "number": "1"}])"), K::BadValue},
        {Valid("[]", R"(, "customSources": [{"text": "a", "number": 1.5}])"), K::BadValue},
        {Valid("[]", R"(, "customSources": [{"text": "a", "number": 0}])"), K::BadValue},
        {Valid("[]", R"(, "customSources": [{"text": "a", "number": -3}])"), K::BadValue},
        {Valid("[]", R"(, "customSources": [{"text": "a", "number": 101}])"), K::BadValue},
        {Valid("[]", R"(, "customSources": [{"text": "a", "number": 18446744073709551615}])"), K::BadValue},
        {Valid("[]", R"(, "customSources": [{"text": "a", "number": 1e400}])"), K::Corrupt},
        {Valid("[]", R"(, "customSources": [{"text": "a", "number": 2}, {"text": "b", "number": 2}])"), K::BadValue},
        {Valid("[]", R"(, "customSources": [{"text": "a", "number": 2, "number": 3}])"), K::BadValue},
        {Valid("[]", R"(, "editedBlocks": [{"entry": "图片展示-样式1", "text": 5}])"), K::BadValue},
        {Valid("[]", R"(, "editedBlocks": [{"entry": "图片展示-样式1", "text": "a"}, {"entry": "图片展示-样式1", "text": "b"}])"),
         K::BadValue},
        {Valid("[]", R"(, "choice": 3)"), K::BadValue},
        {Valid("[]", R"(, "requires": "lines")"), K::BadValue},
        {Valid("[]", ", \"x\": " + std::string(100, '[') + std::string(100, ']')), K::NotAProject},
    };
    for (const Case& c : cases) {
        const ProjectError error = ErrorOf(c.bytes);
        EXPECT_EQ(error.kind, c.kind) << c.bytes.substr(0, 200) << "\n" << ProjectErrorMessage(error);
    }
    // the detail says where
    EXPECT_NE(ErrorOf(Valid(R"(["a", "b", 3])")).detail.find("lines 第 3 项"), std::string::npos);
    EXPECT_NE(ErrorOf(Valid("[]", R"(, "customSources": [{"text": "a", "number": 101}])")).detail.find("1 到 100"),
              std::string::npos);
}

TEST(ProjectFile, PagesBeyondWhatTheProgramHoldsAreRefused) {
    std::string lines = "[";
    for (int i = 0; i < 32767; ++i) lines += std::string(i ? "," : "") + "\"a\"";
    EXPECT_TRUE(ParseProject(Valid(lines + "]")).Ok());
    EXPECT_EQ(ErrorOf(Valid(lines + ",\"a\"]")).kind, K::TooManyLines);

    std::string sources = "[";
    for (int i = 1; i <= 101; ++i)
        sources += std::string(i > 1 ? "," : "") + R"({"number": )" + std::to_string(i) + R"(, "text": "x"})";
    EXPECT_EQ(ErrorOf(Valid("[]", ", \"customSources\": " + sources + "]")).kind, K::TooManySources);

    // tens of megabytes: refused before they are read, and when handed over whole
    TempFolder folder;
    const std::string big = Valid("[\"" + std::string(40u << 20, 'x') + "\"]");
    const std::string path = JoinPath(folder.Utf8(), "big.mojian");
    ASSERT_TRUE(WriteWholeFile(path, big));
    EXPECT_EQ(LoadProjectFile(path).error.kind, K::TooLarge);
    EXPECT_EQ(ErrorOf(big).kind, K::TooLarge);
    EXPECT_EQ(LoadProjectFile(JoinPath(folder.Utf8(), "missing.mojian")).error.kind, K::CannotRead);
    EXPECT_EQ(LoadProjectFile(folder.Utf8()).error.kind, K::CannotRead);  // a folder
}

TEST(ProjectFile, APageNoReaderWouldTakeIsNeverWritten) {
    TempFolder folder;
    const std::string path = JoinPath(folder.Utf8(), "a.mojian");
    ASSERT_TRUE(WriteWholeFile(path, "earlier"));
    PageData page;
    page.lines = {"自定义源码-1"};
    page.customSources = {{1, std::string("a\0b", 3)}};
    EXPECT_EQ(SaveProjectFile(path, page)->kind, K::InvalidText);
    page.customSources = {{1, "bad \xC0\xAF utf-8"}};
    EXPECT_EQ(SaveProjectFile(path, page)->kind, K::InvalidText);
    page.customSources = {{1, std::string(kMaxProjectBytes, 'x')}};
    EXPECT_EQ(SaveProjectFile(path, page)->kind, K::PageTooLarge);
    page.customSources.clear();
    page.lines.assign(32768, "图片展示-样式1");
    EXPECT_EQ(SaveProjectFile(path, page)->kind, K::TooManyLines);
    EXPECT_EQ(ReadWholeFile(path), "earlier");
}

#ifndef _WIN32
// Saves in a child process with fewer rights or less room than the tests
// have (they may run as root, whom permissions do not stop); the exit code
// is the error kind, 0 for a save that went through.
int SaveInChild(const std::string& path, const PageData& page, bool asNobody, rlim_t maxFileBytes) {
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
        if (asNobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
        if (maxFileBytes != RLIM_INFINITY) {
            const rlimit limit{maxFileBytes, maxFileBytes};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(101);
        }
        const auto error = SaveProjectFile(path, page);
        _exit(error ? 1 + static_cast<int>(error->kind) : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ProjectFile, AReadOnlyFolderOrAFullDiskKeepsTheEarlierFile) {
    TempFolder folder;
    const std::string path = JoinPath(folder.Utf8(), "女装详情.mojian");
    const PageData page = SamplePage().Snapshot();
    ASSERT_FALSE(SaveProjectFile(path, page).has_value());
    const auto earlier = ReadWholeFile(path);
    PageData changed = page;
    changed.lines.push_back("五分好评-样式1");
    const int cannotWrite = 1 + static_cast<int>(K::CannotWrite);

    ASSERT_EQ(chmod(folder.Utf8().c_str(), 0555), 0);
    EXPECT_EQ(SaveInChild(path, changed, true, RLIM_INFINITY), cannotWrite);
    ASSERT_EQ(chmod(folder.Utf8().c_str(), 0755), 0);
    EXPECT_EQ(ReadWholeFile(path), earlier);

    EXPECT_EQ(SaveInChild(path, changed, false, 64), cannotWrite);  // the disk fills after 64 bytes
    EXPECT_EQ(ReadWholeFile(path), earlier);
    EXPECT_FALSE(ReadWholeFile(path + ".tmp~").has_value());  // no half-written file left behind

    EXPECT_EQ(SaveInChild(path, changed, false, RLIM_INFINITY), 0);
    EXPECT_EQ(LoadProjectFile(path).page, changed);
}
#endif

TEST(ProjectFile, EveryErrorKindHasItsOwnChineseMessage) {
    std::set<std::string_view> seen;
    for (int k = 0; k <= static_cast<int>(K::TooManySources); ++k) {
        const std::string_view text = ProjectErrorText(static_cast<K>(k));
        EXPECT_TRUE(seen.insert(text).second) << text;
        EXPECT_EQ(text.substr(text.size() - 3), "。");
    }
    EXPECT_EQ(ProjectErrorMessage({K::BadValue, "lines 第 2 项应当是文字"}),
              std::string(ProjectErrorText(K::BadValue)) + "\r\n（lines 第 2 项应当是文字）");
}

}  // namespace
}  // namespace mojian::project

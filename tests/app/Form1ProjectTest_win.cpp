// Form1's projects under Wine: saving, a new page, opening, the save
// question, files that are no page, recent files, files dropped on the
// window or handed over by another start, and recovery after a run that did
// not end normally. Boxes and dialogs are answered by the test's script.
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "Form1Harness_win.h"
#include "ScriptedEnvironment_win.h"
#include "app/Clipboard_win.h"
#include "app/CommandIds.h"
#include "app/gates/Instance.h"
#include "base/File.h"
#include "base/Gbk.h"
#include "base/Scoped_win.h"
#include "base/UserFolder.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/TextFile.h"
#include "project/ProjectFile.h"
#include "project/RecentFiles.h"
#include "project/Recovery.h"

namespace mojian::testing {
namespace {

using namespace form1;
using Names = std::vector<std::string>;

class Form1ProjectTest : public Form1Test {
protected:
    std::string PathOf(const std::string& name) const { return JoinPath(Folder().Utf8(), name); }
    // The page HTML the copy puts on the clipboard (its box answered).
    std::string Copied() {
        Click(C(kCopyButton));
        return ClipboardText(form).value_or("<nothing copied>");
    }
    std::string Title() const { return GetText(form); }
    std::string StatusPart(int part) const {
        wchar_t text[256] = {};
        SendMessageW(C(kStatusBar), SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
        return Narrow(text);
    }
    // The editor's whole text typed over while the selected line's entry takes it.
    void Type(const std::string& text) {
        SendMessageW(C(kEditor), EM_SETSEL, 0, -1);
        SendMessageW(C(kEditor), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(text).c_str()));
        Pump();
    }
    // A page of every kind of thing a page holds.
    void ComposeAPage() {
        Click(Kind(1));
        Click(Style(2));
        Click(C(kAddButton));
        Click(Kind(0));
        Click(Style(18));
        Click(C(kAddButton));
        Click(C(kCustomOption));
        // Chinese, a character GBK lacks, a lone line feed
        SetText(C(kEditor), "<p>墨笺 😀\nsecond</p>");
        Click(C(kAddButton));
        Select(0);
        Click(C(kEditCodeButton));  // 图片展示-样式3 into the editor, then edited
        Type("<i>edited</i>");
        Select(2);
        Click(C(kMoveUpButton));
        AddLine("没有这个模块");
    }

    ScriptedEnvironment env;
};

TEST_F(Form1ProjectTest, SaveThenNewThenOpenGivesTheSamePageByteForByte) {
    const std::string original = Page().GetBlock(1, 2);
    ComposeAPage();
    const std::string page = Copied();
    ASSERT_NE(page.find("&#x1F600;"), std::string::npos);  // as its file reads back
    EXPECT_EQ(Title(), "墨笺 *");
    EXPECT_EQ(StatusPart(0), "新排版");
    EXPECT_EQ(StatusPart(1), "未保存");
    EXPECT_EQ(StatusPart(2), "4 行");

    const std::string file = PathOf("女装详情.mojian");
    env.files = {file};
    PressCtrl(List(), 'S');
    ASSERT_EQ(env.fileQuestions.size(), 1u);  // a page never saved asks for a name
    EXPECT_TRUE(env.fileQuestions[0].save);
    ASSERT_TRUE(FileSize(file).has_value());
    EXPECT_EQ(Title(), "墨笺 - 女装详情.mojian");
    EXPECT_EQ(StatusPart(0), "女装详情.mojian");
    EXPECT_EQ(StatusPart(1), "已保存");

    PressCtrl(List(), 'N');
    EXPECT_TRUE(env.saveQuestions.empty());  // nothing unsaved: nothing asked
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(Title(), "墨笺");
    EXPECT_EQ(GetText(C(kLatestCustom)), "1");
    EXPECT_EQ(Page().GetBlock(1, 2), original);  // the built-in block is back
    EXPECT_TRUE(FileBecomes(CustomSourcePath("自定义源码-1"), std::nullopt));

    env.files = {file};
    PressCtrl(List(), 'O');
    EXPECT_EQ(Copied(), page);
    EXPECT_EQ(Title(), "墨笺 - 女装详情.mojian");
    EXPECT_EQ(Lines(), (Names{"图片展示-样式3", "自定义源码-1", "栏目文字-健康", "没有这个模块"}));
    // the text as typed, lone line feed and all, and its file as ever
    ASSERT_NE(Page().CustomText(1), nullptr);
    EXPECT_EQ(*Page().CustomText(1), "<p>墨笺 😀\nsecond</p>");
    EXPECT_TRUE(FileBecomes(CustomSourcePath("自定义源码-1"), TextFileBytes("<p>墨笺 😀\nsecond</p>")));
    EXPECT_EQ(Page().GetBlock(1, 2), "<i>edited</i>");
    EXPECT_TRUE(Checked(C(kCustomOption)));  // the choice the page was saved with
    EXPECT_EQ(env.boxes.size(), 2u);          // the two copies' messages, nothing else
}

TEST_F(Form1ProjectTest, UnsavedWorkIsAskedAboutAndSavedSkippedOrKept) {
    AddLine("图片展示-样式1");
    // 取消: the page stays
    env.saveAnswers = {SaveAnswer::Cancel};
    Menu(IDM_NEW);
    ASSERT_EQ(env.saveQuestions, Names{"是否保存当前的排版？"});
    EXPECT_EQ(Lines(), Names{"图片展示-样式1"});
    // 保存, but the file dialog cancelled: the page stays
    env.saveAnswers = {SaveAnswer::Save};
    Menu(IDM_NEW);
    EXPECT_EQ(env.fileQuestions.size(), 1u);
    EXPECT_EQ(Lines(), Names{"图片展示-样式1"});
    // 保存 with a name: saved, then the new page
    const std::string file = PathOf("a.mojian");
    env.saveAnswers = {SaveAnswer::Save};
    env.files = {file};
    Menu(IDM_NEW);
    EXPECT_TRUE(Lines().empty());
    const project::ProjectRead saved = project::LoadProjectFile(file);
    ASSERT_TRUE(saved.Ok());
    EXPECT_EQ(saved.page->lines, Names{"图片展示-样式1"});
    // 不保存: the work goes (and an undo brings it back)
    AddLine("五分好评-样式1");
    env.saveAnswers = {SaveAnswer::DontSave};
    Menu(IDM_NEW);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(env.saveQuestions.size(), 4u);
    Menu(IDM_UNDO);
    EXPECT_EQ(Lines(), Names{"五分好评-样式1"});
    // a page from a file names it in the question
    env.files = {file};
    env.saveAnswers = {SaveAnswer::DontSave};
    Menu(IDM_OPEN);
    AddLine("五分好评-样式2");
    env.saveAnswers = {SaveAnswer::Cancel};
    Menu(IDM_NEW);
    EXPECT_EQ(env.saveQuestions.back(), "是否将修改保存到“a.mojian”？");
}

TEST_F(Form1ProjectTest, FilesThatAreNoPageAreRefusedAndThePageStaysAsItWas) {
    std::string longLines = "{\"format\":\"mojian-page\",\"version\":1,\"lines\":[";
    for (int i = 0; i < 32768; ++i) longLines += std::string(i ? "," : "") + "\"图片展示-样式1\"";
    longLines += "]}";
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"truncated.mojian", "{\"format\":\"mojian-page\",\"version\":1,\"lines\":[\"图片展示-样"},
        {"random.mojian", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)},
        {"other.mojian", "{\"name\":\"another program\",\"items\":[1,2,3]}"},
        {"newer.mojian", "{\"format\":\"mojian-page\",\"version\":9,\"requires\":[\"layers\"],\"lines\":[]}"},
        {"badtext.mojian", "{\"format\":\"mojian-page\",\"version\":1,\"lines\":[\"\xC3\x28\"]}"},
        {"toolong.mojian", longLines},
        {"empty.mojian", ""},
    };
    AddLine("图片展示-样式1");
    SetCustomSource(1, "<b>mine</b>");
    AddLine("自定义源码-1");
    const std::string pageBefore = Page().PageHtml();
    const std::size_t stepsBefore = Page().UndoSteps();
    const std::string titleBefore = Title();
    for (const auto& [name, bytes] : bad) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(WriteWholeFile(PathOf(name), bytes));
        env.boxes.clear();
        env.files = {PathOf(name)};
        Menu(IDM_OPEN);
        ASSERT_EQ(env.boxes.size(), 1u);
        EXPECT_EQ(env.boxes[0].title, "打开排版");
        EXPECT_EQ(env.boxes[0].text.rfind("无法打开“" + name + "”：\r\n", 0), 0u) << env.boxes[0].text;
        EXPECT_GT(env.boxes[0].text.size(), name.size() + 20);  // and why
        EXPECT_TRUE(env.boxes[0].style & MB_ICONEXCLAMATION);
        EXPECT_TRUE(env.saveQuestions.empty());  // refused before anything is asked
        EXPECT_EQ(Page().PageHtml(), pageBefore);
        EXPECT_EQ(Lines(), (Names{"图片展示-样式1", "自定义源码-1"}));
        EXPECT_EQ(Page().UndoSteps(), stepsBefore);
        EXPECT_EQ(Title(), titleBefore);
        EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-1")), "<b>mine</b>\r\n");
    }
    // a file that is gone
    env.boxes.clear();
    env.files = {PathOf("not there.mojian")};
    Menu(IDM_OPEN);
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_NE(env.boxes[0].text.find("无法读取这个文件"), std::string::npos);
    EXPECT_EQ(Page().PageHtml(), pageBefore);
}

TEST_F(Form1ProjectTest, ASaveThatCannotBeWrittenKeepsTheEarlierFileAndSaysSo) {
    AddLine("图片展示-样式1");
    const std::string file = PathOf("earlier.mojian");
    env.files = {file};
    Menu(IDM_SAVE);
    const auto earlier = ReadWholeFile(file);
    ASSERT_TRUE(earlier.has_value());
    {
        // Held by another program that lets nobody replace it (Wine lets a
        // read-only file be replaced; Windows refuses both alike).
        const KernelHandle held(CreateFileW(Wide(file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        AddLine("五分好评-样式1");
        Menu(IDM_SAVE);
    }
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_EQ(env.boxes[0].title, "保存排版");
    EXPECT_EQ(env.boxes[0].text.rfind("无法保存到“earlier.mojian”：\r\n排版没有保存", 0), 0u) << env.boxes[0].text;
    EXPECT_EQ(ReadWholeFile(file), earlier);
    EXPECT_EQ(Title(), "墨笺 - earlier.mojian *");  // still unsaved

    // a folder that is a file
    ASSERT_TRUE(WriteWholeFile(PathOf("blocked"), "x"));
    env.files = {JoinPath(PathOf("blocked"), "page.mojian")};
    Menu(IDM_SAVEAS);
    EXPECT_EQ(env.boxes.size(), 2u);
    EXPECT_EQ(Title(), "墨笺 - earlier.mojian *");
}

HMENU FileMenu(HWND form) { return GetSubMenu(GetMenu(form), 0); }

std::vector<std::string> MenuTexts(HMENU menu) {
    std::vector<std::string> texts;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[512] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 512, MF_BYPOSITION);
        texts.push_back(Narrow(text));
    }
    return texts;
}

TEST_F(Form1ProjectTest, RecentFilesAreTheLastFiveAndOnesThatAreGoneAreDropped) {
    // the menu's own items, 退出 last; the files go in just above it
    const std::size_t plain = MenuTexts(FileMenu(form)).size();
    const std::size_t first = plain - 1;
    for (const char* name : {"1.mojian", "2.mojian", "3.mojian", "4.mojian", "5.mojian", "6 & more.mojian"}) {
        AddLine("图片展示-样式1");
        env.files = {PathOf(name)};
        Menu(IDM_SAVEAS);
    }
    const std::vector<std::string> texts = MenuTexts(FileMenu(form));
    // 新建 打开 保存 另存为 … — five files — 退出
    ASSERT_EQ(texts.size(), plain + 6);
    EXPECT_EQ(texts[first].rfind("&1 ", 0), 0u);
    EXPECT_NE(texts[first].find("6 && more.mojian"), std::string::npos) << texts[first];  // not a mnemonic
    EXPECT_NE(texts[first + 4].find("2.mojian"), std::string::npos);
    EXPECT_EQ(texts[first + 6], "退出(&X)");
    // kept for the next run
    EXPECT_EQ(project::LoadRecentFiles(UserDataFolder()).Paths().front(), PathOf("6 & more.mojian"));

    ASSERT_TRUE(RemoveFile(PathOf("4.mojian")));
    env.saveAnswers = {SaveAnswer::DontSave};
    Menu(IDM_RECENT_FIRST + 2);  // 4.mojian
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_NE(env.boxes[0].text.find("已从最近使用的列表中去掉"), std::string::npos);
    EXPECT_EQ(MenuTexts(FileMenu(form)).size(), plain + 5);
    Menu(IDM_RECENT_FIRST + 3);  // 2.mojian now
    EXPECT_EQ(Title(), "墨笺 - 2.mojian");
    EXPECT_EQ(Lines(), Names(2, "图片展示-样式1"));
    EXPECT_NE(MenuTexts(FileMenu(form))[first].find("2.mojian"), std::string::npos);
}

// The files Explorer hands over when they are dropped on a window.
HGLOBAL DropOf(const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& p : paths) list += p + L'\0';
    list += L'\0';
    const SIZE_T bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GHND, bytes);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    return memory;
}

TEST_F(Form1ProjectTest, DroppedFilesAndFilesFromAnotherStartOpenAsTheMenuWould) {
    PageData page;
    page.lines = {"五分好评-样式3"};
    ASSERT_FALSE(project::SaveProjectFile(PathOf("dropped.mojian"), page).has_value());
    page.lines = {"尺码表格-样式2", "尺码表格-样式2"};
    ASSERT_FALSE(project::SaveProjectFile(PathOf("handed.mojian"), page).has_value());

    // the first of the files dropped (the page is owned by the drop handler)
    SendMessageW(form, WM_DROPFILES,
                 reinterpret_cast<WPARAM>(DropOf({Wide(PathOf("dropped.mojian")), Wide(PathOf("handed.mojian"))})), 0);
    Pump();
    EXPECT_EQ(Lines(), Names{"五分好评-样式3"});
    EXPECT_EQ(Title(), "墨笺 - dropped.mojian");

    // another start hands its file over; it opens once the window is up
    AddLine("图片展示-样式1");
    SendMessageW(form, WM_SHOWWINDOW, TRUE, 0);
    Pump();
    const std::wstring name = L"MojianProjectTest-" + std::to_wstring(GetCurrentProcessId());
    EXPECT_FALSE(HandFileToRunningInstance(name, PathOf("handed.mojian")));  // no copy runs yet
    PublishInstanceWindow(name, form);
    env.saveAnswers = {SaveAnswer::DontSave};
    EXPECT_TRUE(HandFileToRunningInstance(name, PathOf("handed.mojian")));
    Pump();
    EXPECT_EQ(env.saveQuestions.size(), 1u);  // the work there was asked about first
    EXPECT_EQ(Lines(), (Names{"尺码表格-样式2", "尺码表格-样式2"}));
    EXPECT_EQ(Title(), "墨笺 - handed.mojian");

    // other data is not a file to open
    COPYDATASTRUCT other{7, 4, const_cast<char*>("abc")};
    EXPECT_EQ(SendMessageW(form, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&other)), FALSE);
}

TEST_F(Form1ProjectTest, UndoingAnOpenGivesTheEarlierPageItsOwnNameBack) {
    AddLine("图片展示-样式1");
    env.files = {PathOf("first.mojian")};
    Menu(IDM_SAVE);
    PageData other;
    other.lines = {"五分好评-样式1"};
    ASSERT_FALSE(project::SaveProjectFile(PathOf("second.mojian"), other).has_value());
    env.files = {PathOf("second.mojian")};
    Menu(IDM_OPEN);
    EXPECT_EQ(Title(), "墨笺 - second.mojian");
    Menu(IDM_UNDO);
    EXPECT_EQ(Lines(), Names{"图片展示-样式1"});
    EXPECT_EQ(Title(), "墨笺 - first.mojian *");
    Menu(IDM_REDO);
    EXPECT_EQ(Lines(), Names{"五分好评-样式1"});
    EXPECT_EQ(Title(), "墨笺 - second.mojian");
}

class Form1RecoveryTest : public Form1ProjectTest {
protected:
    // A run that starts where the previous one left `page` and was killed.
    void StartAfterACrashThatLeft(const PageData& page) {
        DestroyWindow(form);
        Pump();
        const std::string folder = UserDataFolder();
        ASSERT_FALSE(project::SaveProjectFile(project::RecoveryFilePath(folder), page).has_value());
        ASSERT_TRUE(WriteWholeFile(JoinPath(folder, "session.running"), "墨笺\r\n"));
        StartForm();
    }
};

TEST_F(Form1RecoveryTest, AfterARunThatDidNotEndTheRestoreIsOfferedOnceTheWindowIsShown) {
    PageData page;
    page.lines = {"自定义源码-1", "图片展示-样式2"};
    page.customSources = {{1, "<p>午饭前的排版</p>"}};
    StartAfterACrashThatLeft(page);
    EXPECT_TRUE(env.boxes.empty());  // not before the window is there
    env.boxAnswers = {IDYES};
    SendMessageW(form, WM_SHOWWINDOW, TRUE, 0);
    Pump();
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_EQ(env.boxes[0].title, "温馨提示");
    EXPECT_NE(env.boxes[0].text.find("是否恢复上次的排版？"), std::string::npos);
    EXPECT_EQ(env.boxes[0].style, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(Lines(), page.lines);
    EXPECT_EQ(Page().PageHtml(), "<p>午饭前的排版</p>\r\n" + Page().GetBlock(1, 1));
    EXPECT_EQ(Title(), "墨笺 *");  // restored, not saved anywhere yet
}

TEST_F(Form1RecoveryTest, NoRestoresTheLastPageAnyTimeFromTheMenu) {
    PageData page;
    page.lines = {"图片展示-样式2"};
    StartAfterACrashThatLeft(page);
    env.boxAnswers = {IDNO};
    SendMessageW(form, WM_SHOWWINDOW, TRUE, 0);
    Pump();
    EXPECT_EQ(env.boxes.size(), 1u);
    EXPECT_TRUE(Lines().empty());  // a normal start: an empty list

    AddLine("五分好评-样式1");
    env.saveAnswers = {SaveAnswer::DontSave};
    Menu(IDM_RESTORE);
    EXPECT_EQ(env.saveQuestions.size(), 1u);
    EXPECT_EQ(Lines(), page.lines);
    Menu(IDM_UNDO);  // and the page before it is one undo away
    EXPECT_EQ(Lines(), Names{"五分好评-样式1"});
}

TEST_F(Form1RecoveryTest, EveryChangeReachesTheRecoveryFileAndANormalExitEndsTheRun) {
    const std::string folder = UserDataFolder();
    for (int i = 0; i < 30; ++i) AddLine(EntryName(1 + i % 9, 0));
    SetCustomSource(1, "<p>写到一半</p>");
    AddLine("自定义源码-1");
    // written off the GUI thread within a second of the last change
    const PageData expected = Page().Snapshot();
    project::ProjectRead read;
    const DWORD start = GetTickCount();
    do {
        Pump();
        read = project::LoadProjectFile(project::RecoveryFilePath(folder));
    } while (!(read.Ok() && *read.page == expected) && GetTickCount() - start < 10000);
    ASSERT_TRUE(read.Ok());
    EXPECT_EQ(*read.page, expected);
    EXPECT_TRUE(FileSize(JoinPath(folder, "session.running")).has_value());

    env.boxAnswers = {IDYES};
    SendMessageW(form, WM_CLOSE, 0, 0);
    Pump();
    ASSERT_FALSE(IsWindow(form));
    EXPECT_FALSE(FileSize(JoinPath(folder, "session.running")).has_value());
    // the next run offers nothing, but 恢复上次的排版 has the page
    const project::SessionStart next = project::StartSession(folder);
    EXPECT_FALSE(next.previousEndedAbnormally);
    EXPECT_EQ(project::LoadLastSession(folder).page, expected);
}

}  // namespace
}  // namespace mojian::testing

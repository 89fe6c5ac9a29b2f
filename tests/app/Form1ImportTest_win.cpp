// Import of an existing description through Form1's menus under Wine: from a
// file and from the clipboard, the lines it makes and the bytes the copy
// gives back, the question about unsaved work, undo, and files that are no
// description.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "Form1Harness_win.h"
#include "ScriptedEnvironment_win.h"
#include "app/Clipboard_win.h"
#include "app/CommandIds.h"
#include "base/File.h"
#include "base/Gbk.h"
#include "base/Scoped_win.h"
#include "catalogue/Library.h"
#include "tests/import/RandomBlocks.h"

namespace mojian::testing {
namespace {

using namespace form1;
using Names = std::vector<std::string>;

class Form1ImportTest : public Form1Test {
protected:
    std::string PathOf(const std::string& name) const { return JoinPath(Folder().Utf8(), name); }
    std::string Copied() {
        Click(C(kCopyButton));
        return ClipboardText(form).value_or("<nothing copied>");
    }
    // The description as a file in GBK, chosen in the import's dialog.
    void ImportFile(const std::string& name, const std::string& bytes) {
        const std::string path = PathOf(name);
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        env.files = {path};
        Menu(IDM_IMPORT_FILE);
    }
    std::string LastBox() const { return env.boxes.empty() ? std::string() : env.boxes.back().text; }

    ScriptedEnvironment env;
};

// The clipboard holding `formats` (format, bytes including the terminator).
void PutClipboard(HWND owner, const std::vector<std::pair<UINT, std::string>>& formats) {
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    for (const auto& [format, bytes] : formats) {
        GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, bytes.size()));
        ASSERT_TRUE(memory);
        std::memcpy(GlobalLock(memory.get()), bytes.data(), bytes.size());
        GlobalUnlock(memory.get());
        if (SetClipboardData(format, memory.get())) memory.release();
    }
    CloseClipboard();
}

std::string Utf16Bytes(const std::string& utf8) {
    const std::wstring wide = Wide(utf8);
    return std::string(reinterpret_cast<const char*>(wide.c_str()), (wide.size() + 1) * sizeof(wchar_t));
}

// An "HTML Format" block around `fragment`, with its header of offsets.
std::string HtmlFormatBlock(const std::string& fragment) {
    const std::string before = "<html><body>\r\n<!--StartFragment-->";
    const std::string after = "<!--EndFragment-->\r\n</body></html>";
    char header[200];
    const int headerLength = std::snprintf(header, sizeof header,
                                           "Version:0.9\r\nStartHTML:%010d\r\nEndHTML:%010d\r\n"
                                           "StartFragment:%010d\r\nEndFragment:%010d\r\n",
                                           0, 0, 0, 0);
    const std::size_t start = static_cast<std::size_t>(headerLength);
    const std::size_t fragmentStart = start + before.size();
    const std::size_t fragmentEnd = fragmentStart + fragment.size();
    const std::size_t end = fragmentEnd + after.size();
    std::snprintf(header, sizeof header,
                  "Version:0.9\r\nStartHTML:%010zu\r\nEndHTML:%010zu\r\nStartFragment:%010zu\r\nEndFragment:%010zu\r\n",
                  start, end, fragmentStart, fragmentEnd);
    return std::string(header) + before + fragment + after + std::string(1, '\0');
}

TEST_F(Form1ImportTest, APageOfBlocksAndOtherHtmlComesBackByteForByteAndUndoBringsThePageBack) {
    // the page before: a block and a custom source of the run
    AddLine("图片展示-样式1");
    Click(C(kCustomOption));
    SetText(C(kEditor), "<p>之前</p>");
    Click(C(kAddButton));
    const std::string before = Copied();
    const Names beforeLines = Lines();

    const std::string text = "<p style=\"color:red\">开头</p>\r\n" + Page().GetBlock(0, 18) + "<table>\r\n<tr><td>尺码\r\n</td></tr>\r\n</table>\r\n" +
                             Page().GetBlock(1, 2) + "<p>结尾\nLF 与\r单独的 CR</p>\r\n";
    env.saveAnswers = {SaveAnswer::DontSave};
    ImportFile("描述.html", Utf8ToGbk(text));
    ASSERT_EQ(env.fileQuestions.size(), 1u);
    EXPECT_NE(env.fileQuestions[0].filter.find(L"*.html;*.htm;*.txt"), std::wstring::npos);
    EXPECT_NE(env.fileQuestions[0].filter.find(L"*.*"), std::wstring::npos);
    EXPECT_EQ(env.saveQuestions.size(), 1u);  // the work before was not saved
    // the run's custom source 1 keeps its number; the new ones follow it
    EXPECT_EQ(Lines(), (Names{"自定义源码-2", "栏目文字-健康", "自定义源码-3", "图片展示-样式3", "自定义源码-4"}));
    EXPECT_EQ(LastBox(), "共导入 5 行，其中 2 行是内置模块，3 行是自定义源码。");
    EXPECT_EQ(env.boxes.back().title, "导入描述");
    EXPECT_TRUE(Copied() == text);

    PressCtrl(List(), 'Z');  // one step
    EXPECT_EQ(Lines(), beforeLines);
    EXPECT_TRUE(Copied() == before);
    PressCtrl(List(), 'Y');
    EXPECT_TRUE(Copied() == text);
}

TEST_F(Form1ImportTest, RandomPagesOfBlocksBecomeTheirLinesAndTheAddedLineBreakIsSaid) {
    std::mt19937 rng(7);
    const BlockPage page = RandomBlockPage(rng, 60);
    ImportFile("模块.htm", Utf8ToGbk(page.html));
    EXPECT_EQ(Lines(), page.lines);
    EXPECT_TRUE(Copied() == page.html);

    EXPECT_TRUE(env.saveQuestions.empty());  // a new page: nothing to lose

    env.saveAnswers = {SaveAnswer::DontSave};
    ImportFile("没有换行.txt", "<p>abc</p>");
    EXPECT_EQ(env.saveQuestions.size(), 1u);  // the import above is unsaved work
    EXPECT_EQ(Lines(), Names{"自定义源码-1"});
    EXPECT_NE(LastBox().find("补上了一个"), std::string::npos);
    EXPECT_EQ(Copied(), "<p>abc</p>\r\n");
}

TEST_F(Form1ImportTest, WhatIsNoDescriptionLeavesThePageUntouchedWithItsReason) {
    AddLine("图片展示-样式1");
    const std::string before = Copied();
    const std::size_t boxes = env.boxes.size();
    ImportFile("图片.png", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\0\x10", 20));
    ASSERT_EQ(env.boxes.size(), boxes + 1);
    EXPECT_EQ(env.boxes.back().title, "导入描述");
    EXPECT_EQ(LastBox().rfind("无法导入“图片.png”：\r\n", 0), 0u) << LastBox();
    EXPECT_TRUE(env.saveQuestions.empty());  // refused before anything is asked
    EXPECT_EQ(Lines(), Names{"图片展示-样式1"});
    EXPECT_TRUE(Copied() == before);

    // the save question cancelled: nothing changes either
    ImportFile("描述.html", "<p>x</p>\r\n");
    EXPECT_EQ(env.saveQuestions.size(), 1u);
    EXPECT_EQ(Lines(), Names{"图片展示-样式1"});
}

TEST_F(Form1ImportTest, TheClipboardGivesItsHtmlFormatOrItsText) {
    const UINT html = RegisterClipboardFormatW(L"HTML Format");
    // a copy from a rendered page: the fragment, not the text
    const std::string fragment = "<p><b>纯棉</b> T 恤</p>\r\n" + Page().GetBlock(2, 0);
    PutClipboard(form, {{html, HtmlFormatBlock(fragment)}, {CF_UNICODETEXT, Utf16Bytes("纯棉 T 恤")}});
    Menu(IDM_IMPORT_CLIPBOARD);
    EXPECT_EQ(env.boxes.back().title, "从粘贴板导入");
    EXPECT_EQ(Lines(), (Names{"自定义源码-1", EntryName(2, 0)}));
    EXPECT_TRUE(Copied() == fragment);

    // a copy from a code view: the text
    const std::string code = "<div>\r\n代码\r\n</div>\r\n" + Page().GetBlock(1, 0);
    PutClipboardText(form, code);
    env.saveAnswers = {SaveAnswer::DontSave};
    Menu(IDM_IMPORT_CLIPBOARD);
    EXPECT_EQ(Lines(), (Names{"自定义源码-2", EntryName(1, 0)}));
    EXPECT_TRUE(Copied() == code);

    // nothing there: said, and the page stays
    EmptyClipboardText(form);
    const std::size_t boxes = env.boxes.size();
    Menu(IDM_IMPORT_CLIPBOARD);
    ASSERT_EQ(env.boxes.size(), boxes + 1);
    EXPECT_EQ(env.boxes.back().style & MB_ICONEXCLAMATION, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(Lines(), (Names{"自定义源码-2", EntryName(1, 0)}));
}

}  // namespace
}  // namespace mojian::testing

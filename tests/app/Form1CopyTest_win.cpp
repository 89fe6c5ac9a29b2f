// Copy, whole-page preview, code editing and export of Form1, under Wine,
// against the real window and the real clipboard.
#include <windows.h>

#include <string>
#include <vector>

#include "Form1Harness_win.h"
#include "app/Clipboard_win.h"
#include "base/File.h"
#include "base/Gbk.h"
#include "base/Scoped_win.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/ExportFiles.h"
#include "compose/PreviewDocument.h"

namespace mojian::testing {
namespace {

using namespace form1;
using Names = std::vector<std::string>;

// The success message with the publish check's line, for a page with errors.
std::string CopyDoneWithErrors(int errors) {
    return std::string(kCopyDone) + "\r\n发布检查发现这一页有 " + std::to_string(errors) +
           " 个错误，粘贴后可能被删改；按 F7 查看。";
}

HICON InformationIcon() { return LoadIconW(nullptr, IDI_INFORMATION); }

// The document a page preview of these blocks leaves behind.
std::string PagePreviewSource(const Names& blocks) {
    PreviewDocument doc;
    doc.LoadBlank();
    for (const std::string& b : blocks) doc.Writeln(b);
    return doc.Source();
}

// Another window holds the clipboard open until the holder goes.
class ClipboardHolder {
public:
    ClipboardHolder() {
        thread_.reset(CreateThread(nullptr, 0, &Run, this, 0, nullptr));
        WaitForSingleObject(ready_.get(), 10000);
    }
    ~ClipboardHolder() {
        SetEvent(release_.get());
        WaitForSingleObject(thread_.get(), 10000);
    }
    ClipboardHolder(const ClipboardHolder&) = delete;
    ClipboardHolder& operator=(const ClipboardHolder&) = delete;
    bool Holds() const { return holds_; }

private:
    static DWORD WINAPI Run(void* p) {
        auto* self = static_cast<ClipboardHolder*>(p);
        const HWND window = CreateWindowExW(0, L"STATIC", L"holder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                            nullptr);
        self->holds_ = OpenClipboard(window) != 0;
        SetEvent(self->ready_.get());
        WaitForSingleObject(self->release_.get(), 30000);
        if (self->holds_) CloseClipboard();
        DestroyWindow(window);
        return 0;
    }
    KernelHandle ready_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    KernelHandle release_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    KernelHandle thread_;
    bool holds_ = false;
};

class Form1CopyTest : public Form1Test {
protected:
    std::optional<std::string> Clip() const { return ClipboardText(nullptr); }
    HWND Editor() const { return C(kEditor); }
    std::string Export(int n) const {
        return ReadWholeFile(ExportFilePath(WorkingFolder(), n)).value_or("<missing>");
    }
    // The user's replacing the editor's whole text (EN_CHANGE follows).
    void Type(const std::string& text) {
        SendMessageW(Editor(), EM_SETSEL, 0, -1);
        SendMessageW(Editor(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(text).c_str()));
    }
    bool ExportExists(int n) const { return ReadWholeFile(ExportFilePath(WorkingFolder(), n)).has_value(); }
};

TEST_F(Form1CopyTest, CopyPutsTheJoinedBlocksOnTheClipboardAndPreviewsThePage) {
    SetCustomSource(2, "abc");
    SetCustomSource(101, "never");
    for (const char* name : {"图片展示-样式1", "栏目文字-炫黑", "图片展示-样式1", "图片展示-样式6", "自定义源码-101",
                             "自定义源码-2", "栏目文字-健康"})
        AddLine(name);
    ASSERT_TRUE(PutClipboardText(form, "what was there before"));
    BoxAnswerer answer(IDOK);
    Click(C(kCopyButton));
    ASSERT_EQ(answer.Seen().size(), 1u);
    EXPECT_EQ(answer.Seen()[0].title, "温馨提示");
    // The two lines that produce nothing are errors of the publish check.
    EXPECT_EQ(answer.Seen()[0].text, CopyDoneWithErrors(2));
    EXPECT_EQ(answer.Seen()[0].icon, nullptr);
    EXPECT_EQ(answer.Seen()[0].buttons, std::vector<int>{IDOK});
    EXPECT_EQ(Clip(), Page().GetBlock(1, 0) + Page().GetBlock(0, 0) + Page().GetBlock(1, 0) + "abc\r\n" + Page().GetBlock(0, 18));
    EXPECT_EQ(Doc().Source(),
              PagePreviewSource({Page().GetBlock(1, 0), Page().GetBlock(0, 0), Page().GetBlock(1, 0), "abc\r\n", Page().GetBlock(0, 18)}));
    EXPECT_EQ(GetText(C(kPageBuffer)), "");  // the page buffer is empty between copies
    EXPECT_EQ(Lines().size(), 7u);
}

TEST_F(Form1CopyTest, OnlyUnresolvedLinesCopyAnEmptyPageWithTheSuccessMessage) {
    AddLine("图片展示-样式6");
    ASSERT_TRUE(PutClipboardText(form, "old"));
    BoxAnswerer answer(IDOK);
    Click(C(kCopyButton));
    ASSERT_EQ(answer.Seen().size(), 1u);
    EXPECT_EQ(answer.Seen()[0].text, CopyDoneWithErrors(2));  // a line of nothing, a page too short
    EXPECT_EQ(Clip(), "");
}

TEST_F(Form1CopyTest, AnEmptyListIsRefusedAndLeavesTheClipboardEmpty) {
    ASSERT_TRUE(PutClipboardText(form, "text from before"));
    ASSERT_EQ(Clip(), "text from before");
    const std::string preview = Doc().Source();
    BoxAnswerer answer(IDOK);
    Click(C(kCopyButton));
    ASSERT_EQ(answer.Seen().size(), 1u);
    EXPECT_EQ(answer.Seen()[0].title, "温馨提示");
    EXPECT_EQ(answer.Seen()[0].text, "请先添加您需要复制的模块，再点击复制代码按钮！");
    EXPECT_EQ(answer.Seen()[0].icon, InformationIcon());
    EXPECT_EQ(answer.Seen()[0].buttons, std::vector<int>{IDOK});
    EXPECT_FALSE(Clip().has_value());
    EXPECT_EQ(Doc().Source(), preview);
}

TEST_F(Form1CopyTest, AThousandLinesOfTheLargestBlockAreCopiedWhole) {
    int bestKind = 0, bestStyle = 0;
    for (int k = 0; k < kKindCount; ++k)
        for (int i = 0; i < kStyleCounts[static_cast<std::size_t>(k)]; ++i)
            if (Page().GetBlock(k, i).size() > Page().GetBlock(bestKind, bestStyle).size()) bestKind = k, bestStyle = i;
    const std::string name = EntryName(bestKind, bestStyle);
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        AddLine(name);
        expected += Page().GetBlock(bestKind, bestStyle);
    }
    BoxAnswerer answer(IDOK);
    Click(C(kCopyButton));
    ASSERT_EQ(answer.Seen().size(), 1u);
    const auto clip = Clip();
    ASSERT_TRUE(clip.has_value());
    EXPECT_EQ(clip->size(), expected.size());
    EXPECT_TRUE(*clip == expected);  // byte for byte, without printing megabytes
}

TEST_F(Form1CopyTest, AClipboardHeldElsewhereIsReportedNeverAsSuccess) {
    AddLine("图片展示-样式1");
    SetText(Editor(), "my own text");
    ClipboardHolder holder;
    ASSERT_TRUE(holder.Holds());
    {
        BoxAnswerer answer(IDOK);
        Click(C(kCopyButton));
        ASSERT_EQ(answer.Seen().size(), 1u);
        EXPECT_EQ(answer.Seen()[0].title, "温馨提示");
        EXPECT_NE(answer.Seen()[0].text.find("没有复制到粘贴板"), std::string::npos) << answer.Seen()[0].text;
        EXPECT_NE(answer.Seen()[0].text, kCopyDone);
    }
    EXPECT_TRUE(IsWindow(form));
    {
        // editing the whole page: the failed copy fills the editor with nothing stale
        BoxAnswerer answer(IDYES);
        Click(C(kEditCodeButton));
        ASSERT_EQ(answer.Seen().size(), 2u);  // the question, then the failure
        EXPECT_NE(answer.Seen()[1].text.find("没有复制到粘贴板"), std::string::npos);
        EXPECT_EQ(GetText(Editor()), "my own text");
    }
    {
        // exporting: no file, no success, the editor keeps the user's text
        BoxAnswerer answer(IDOK);
        Click(C(kExportButton));
        ASSERT_EQ(answer.Seen().size(), 1u);
        EXPECT_NE(answer.Seen()[0].text.find("没有复制到粘贴板"), std::string::npos);
        EXPECT_FALSE(ExportExists(1));
        EXPECT_EQ(GetText(Editor()), "my own text");
    }
}

// ---- Whole-page preview -------------------------------------------------------

TEST_F(Form1CopyTest, PreviewButtonActsOnMousePressAndReleaseOfAnyButtonOnly) {
    const HWND button = C(kPagePreviewButton);
    auto press = [&](UINT down, UINT up) {
        SendMessageW(button, down, 0, MAKELPARAM(5, 5));
        SendMessageW(button, up, 0, MAKELPARAM(5, 5));
        Pump();
    };
    // an empty list: nothing at all
    const std::string start = Doc().Source();
    press(WM_LBUTTONDOWN, WM_LBUTTONUP);
    press(WM_RBUTTONDOWN, WM_RBUTTONUP);
    EXPECT_EQ(Doc().Source(), start);

    AddLine("栏目文字-炫黑");
    AddLine("图片展示-样式2");
    AddLine("图片展示-样式2");
    AddLine("自定义源码-9");  // no file: writes nothing
    const std::string page = PagePreviewSource({Page().GetBlock(0, 0), Page().GetBlock(1, 1), Page().GetBlock(1, 1)});
    ASSERT_NE(start, page);

    // the keyboard does nothing: space on the focused button, or its click
    SendMessageW(button, WM_KEYDOWN, VK_SPACE, 0);
    SendMessageW(button, WM_KEYUP, VK_SPACE, 0);
    SendMessageW(form, WM_COMMAND, MAKEWPARAM(kPagePreviewButton, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    Pump();
    EXPECT_EQ(Doc().Source(), start);

    press(WM_RBUTTONDOWN, WM_RBUTTONUP);
    EXPECT_EQ(Doc().Source(), page);

    // the press alone blanks the page; the release writes it anew
    Select(1);
    SendMessageW(form, WM_COMMAND, MAKEWPARAM(kList, LBN_SELCHANGE), reinterpret_cast<LPARAM>(List()));
    ASSERT_NE(Doc().Source(), page);
    SendMessageW(button, WM_MBUTTONDOWN, 0, 0);
    Pump();
    EXPECT_EQ(Doc().Source(), "");
    SendMessageW(button, WM_MBUTTONUP, 0, 0);
    EXPECT_EQ(Doc().Source(), page);
    press(WM_LBUTTONDOWN, WM_LBUTTONUP);
    EXPECT_EQ(Doc().Source(), page);
    EXPECT_EQ(Selection(), 1);
    EXPECT_EQ(GetCapture(), nullptr);
}

// ---- Editing: write-through and the edit button ---------------------------------

TEST_F(Form1CopyTest, KeystrokesRewriteTheSelectedCustomSource) {
    SetCustomSource(2, "abc");
    AddLine("图片展示-样式1");
    AddLine("自定义源码-2");
    Select(1);
    SetText(Editor(), "");
    SendMessageW(Editor(), WM_CHAR, L'墨', 0);
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-2")), Utf8ToGbk("墨") + "\r\n");
    SendMessageW(Editor(), WM_CHAR, L'x', 0);
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-2")), Utf8ToGbk("墨x") + "\r\n");
    SendMessageW(Editor(), EM_SETSEL, 0, -1);
    SendMessageW(Editor(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"<p>一\r\n二</p>"));
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-2")), Utf8ToGbk("<p>一\r\n二</p>") + "\r\n");
    EXPECT_EQ(Doc().Title(), "New Document");
    EXPECT_EQ(Doc().Body(), "\r\n<p>一\r\n二</p>\r\n");
    // the copy takes the new text
    BoxAnswerer answer(IDOK);
    Click(C(kCopyButton));
    EXPECT_EQ(Clip(), Page().GetBlock(1, 0) + "<p>一\r\n二</p>\r\n");
}

TEST_F(Form1CopyTest, KeystrokesReplaceTheSelectedBuiltInBlock) {
    AddLine("图片展示-样式2");
    AddLine("尺码表格-样式1");
    AddLine("图片展示-样式2");
    Select(2);
    Type("<b>new</b>");
    EXPECT_EQ(Page().GetBlock(1, 1), "<b>new</b>");
    EXPECT_EQ(Doc().Body(), "\r\n<b>new</b>\r\n");
}

TEST_F(Form1CopyTest, WithoutAResolvableSelectionTypingOnlyPreviews) {
    SetCustomSource(101, "101");
    AddLine("自定义源码-101");
    AddLine("图片展示-样式9");
    const std::string block = Page().GetBlock(1, 0);
    for (int selected : {-1, 0, 1}) {
        Select(selected);
        const std::string text = "<i>" + std::to_string(selected) + "</i>";
        Type(text);
        EXPECT_EQ(Doc().Body(), "\r\n" + text + "\r\n");
    }
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-101")), "101\r\n");
    EXPECT_EQ(Page().GetBlock(1, 0), block);
}

TEST_F(Form1CopyTest, EditButtonRefusesAnEmptyListAndNoChangesNothing) {
    const std::string editor = GetText(Editor());
    {
        BoxAnswerer answer(IDOK);
        Click(C(kEditCodeButton));
        ASSERT_EQ(answer.Seen().size(), 1u);
        EXPECT_EQ(answer.Seen()[0].title, "添加模块");
        EXPECT_EQ(answer.Seen()[0].text, "请添加模块后修改!");
        EXPECT_EQ(answer.Seen()[0].icon, InformationIcon());
        EXPECT_EQ(answer.Seen()[0].buttons, std::vector<int>{IDOK});
    }
    AddLine("图片展示-样式1");
    const std::string preview = Doc().Source();
    ASSERT_TRUE(PutClipboardText(form, "untouched"));
    {
        BoxAnswerer answer(IDNO);
        Click(C(kEditCodeButton));
        ASSERT_EQ(answer.Seen().size(), 1u);
        EXPECT_EQ(answer.Seen()[0].title, "温馨提示");
        EXPECT_EQ(answer.Seen()[0].text, "您目前尚未选择任何模块，是否进行修改列表中所有模块?(Y/N)");
        EXPECT_EQ(answer.Seen()[0].icon, InformationIcon());
        EXPECT_EQ(answer.Seen()[0].buttons, (std::vector<int>{IDYES, IDNO}));
    }
    EXPECT_EQ(Clip(), "untouched");
    EXPECT_EQ(Doc().Source(), preview);
    EXPECT_EQ(GetText(Editor()), editor);
    EXPECT_FALSE(Shown(Editor()));
    EXPECT_TRUE(Checked(Kind(0)));
}

TEST_F(Form1CopyTest, EditingTheWholePageCopiesItAndLoadsItIntoTheEditor) {
    SetCustomSource(1, "abc");
    AddLine("图片展示-样式1");
    AddLine("自定义源码-1");
    const std::string page = Page().GetBlock(1, 0) + "abc\r\n";
    BoxAnswerer answer(IDYES);
    Click(C(kEditCodeButton));
    ASSERT_EQ(answer.Seen().size(), 2u);
    EXPECT_EQ(answer.Seen()[1].text, kCopyDone);
    EXPECT_EQ(Clip(), page);
    EXPECT_TRUE(Checked(C(kCustomOption)));
    EXPECT_FALSE(Checked(Kind(0)));
    EXPECT_TRUE(Shown(Editor()));
    EXPECT_EQ(GetText(Editor()), page);
    EXPECT_EQ(Doc().Body(), "\r\n" + page + "\r\n");
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-1")), "abc\r\n");
}

TEST_F(Form1CopyTest, EditingASelectedEntryLoadsItsBlockAndLeavesItByteIdentical) {
    SetCustomSource(2, "<p>墨笺</p>\r\nabc");
    AddLine("图片展示-样式2");
    AddLine("自定义源码-2");
    AddLine("没有这个模块");
    const std::string block = Page().GetBlock(1, 1);
    BoxAnswerer answer(IDOK);

    Select(0);
    Click(C(kEditCodeButton));
    EXPECT_TRUE(Checked(C(kCustomOption)));
    EXPECT_TRUE(Shown(Editor()));
    EXPECT_EQ(GetText(Editor()), block);
    EXPECT_EQ(Doc().Body(), "\r\n" + block + "\r\n");
    EXPECT_EQ(Page().GetBlock(1, 1), block);

    Select(1);
    for (int i = 0; i < 3; ++i) Click(C(kEditCodeButton));
    EXPECT_EQ(GetText(Editor()), "<p>墨笺</p>\r\nabc");
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-2")), Utf8ToGbk("<p>墨笺</p>\r\nabc\r\n"));
    // saving what was loaded gives the same file back
    SendMessageW(Editor(), WM_CHAR, L'x', 0);
    SendMessageW(Editor(), WM_CHAR, VK_BACK, 0);
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-2")), Utf8ToGbk("<p>墨笺</p>\r\nabc\r\n"));

    Select(2);
    Click(C(kEditCodeButton));
    EXPECT_EQ(GetText(Editor()), "");
    EXPECT_TRUE(answer.Seen().empty());
}

// ---- Export -------------------------------------------------------------------

TEST_F(Form1CopyTest, ExportRefusesAnEmptyList) {
    BoxAnswerer answer(IDOK);
    Click(C(kExportButton));
    ASSERT_EQ(answer.Seen().size(), 1u);
    EXPECT_EQ(answer.Seen()[0].title, "添加模块");
    EXPECT_EQ(answer.Seen()[0].text, "您尚未添加任何模块，无法导出!");
    EXPECT_EQ(answer.Seen()[0].icon, InformationIcon());
    EXPECT_FALSE(FolderExists(WorkingFolder()));
    AddLine("图片展示-样式1");
    Click(C(kExportButton));
    EXPECT_TRUE(ExportExists(1));  // the refusal did not use up a number
    EXPECT_FALSE(ExportExists(2));
}

TEST_F(Form1CopyTest, ExportsNumberOnWithoutWritingThroughOrReplacing) {
    SetCustomSource(2, "abc");
    ASSERT_TRUE(WriteWholeFile(ExportFilePath(WorkingFolder(), 1), "from an earlier run"));
    AddLine("图片展示-样式2");
    AddLine("自定义源码-2");
    const std::string block = Page().GetBlock(1, 1);
    const std::string page = block + "abc\r\n";
    for (int selected : {1, 0}) {
        Select(selected);
        BoxAnswerer answer(IDOK);
        Click(C(kExportButton));
        ASSERT_EQ(answer.Seen().size(), 2u);
        EXPECT_EQ(answer.Seen()[0].text, kCopyDone);
        EXPECT_EQ(answer.Seen()[1].title, "导出模板");
        EXPECT_EQ(answer.Seen()[1].text, "当前模版导出成功！请到程序文件夹下查看！");
        EXPECT_EQ(answer.Seen()[1].icon, InformationIcon());
        EXPECT_EQ(answer.Seen()[1].buttons, std::vector<int>{IDOK});
        EXPECT_EQ(GetText(Editor()), page);
        EXPECT_EQ(Doc().Body(), "\r\n" + page + "\r\n");
        EXPECT_EQ(Selection(), selected);
    }
    EXPECT_EQ(Export(1), "from an earlier run");
    EXPECT_EQ(Export(2), Utf8ToGbk(page) + "\r\n");
    EXPECT_EQ(Export(3), Utf8ToGbk(page) + "\r\n");
    EXPECT_FALSE(ExportExists(4));
    // the program's own changes of the editor reached neither selected entry
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-2")), "abc\r\n");
    EXPECT_EQ(Page().GetBlock(1, 1), block);
    EXPECT_FALSE(Shown(Editor()));
}

TEST_F(Form1CopyTest, ExportCreatesTheFolderAndSaysSoWhenItCannot) {
    AddLine("图片展示-样式1");
    {
        BoxAnswerer answer(IDOK);
        Click(C(kExportButton));
        EXPECT_EQ(answer.Seen().size(), 2u);
        EXPECT_EQ(Export(1), Utf8ToGbk(Page().GetBlock(1, 0)) + "\r\n");
    }
    ASSERT_TRUE(RemoveFile(ExportFilePath(WorkingFolder(), 1)));
    ASSERT_TRUE(RemoveDirectoryW(Wide(WorkingFolder()).c_str()));
    ASSERT_TRUE(WriteWholeFile(WorkingFolder(), "a file where the folder should be"));
    BoxAnswerer answer(IDOK);
    Click(C(kExportButton));
    ASSERT_EQ(answer.Seen().size(), 2u);
    EXPECT_EQ(answer.Seen()[0].text, kCopyDone);
    EXPECT_EQ(answer.Seen()[1].title, "导出模板");
    EXPECT_NE(answer.Seen()[1].text.find("没有导出"), std::string::npos) << answer.Seen()[1].text;
    EXPECT_NE(answer.Seen()[1].text, "当前模版导出成功！请到程序文件夹下查看！");
    EXPECT_TRUE(IsWindow(form));
}

}  // namespace
}  // namespace mojian::testing

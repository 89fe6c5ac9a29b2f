// 填写内容 and 查找和替换 through the real Form1 and its dialogs under Wine:
// what the copied page holds after a fill and after a replace across the
// page, that one undo gives the page back byte for byte, and the refusals.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "DialogScript_win.h"
#include "Form1Harness_win.h"
#include "ScriptedEnvironment_win.h"
#include "app/Clipboard_win.h"
#include "app/CommandIds.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "fill/Fields.h"

namespace mojian::testing {
namespace {

using namespace form1;
using Names = std::vector<std::string>;

constexpr int kNoteColumn = 3, kValueColumn = 2;

std::string ReplaceFirst(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

// The index of the first field of `kind` whose value is `value`.
int FieldIndex(const fill::FieldSet& set, fill::FieldKind kind, const std::string& value) {
    for (std::size_t i = 0; i < set.fields.size(); ++i)
        if (set.fields[i].kind == kind && set.fields[i].value == value) return static_cast<int>(i);
    ADD_FAILURE() << "no field " << value;
    return -1;
}

class FillWindowTest : public Form1Test {
protected:
    // Blocks the page changed are the program's library's: back for the next tests.
    void TearDown() override {
        Form1Change(form, [](Composition& page) { return page.Open({}); });
        Form1Test::TearDown();
    }
    // The page 复制代码 puts on the clipboard; its message is no question of ours.
    std::string Copied() {
        const std::size_t boxes = env.boxes.size();
        Click(C(kCopyButton));
        env.boxes.resize(boxes);
        return ClipboardText(form).value_or("<nothing copied>");
    }
    // Through the dialog: row `row` edited in place, the typing ended with Enter.
    static void EditRow(HWND dialog, int row, const std::string& value) {
        const HWND list = GetDlgItem(dialog, IDC_FILL_FIELDS);
        DialogScript::SelectRow(list, row);
        DialogScript::Press(dialog, IDC_FILL_EDIT);
        const HWND editor = GetDlgItem(dialog, IDC_FILL_INPLACE);
        ASSERT_NE(editor, nullptr);
        DialogScript::TypeOver(editor, value);
        DialogScript::Key(editor, VK_RETURN);
        EXPECT_EQ(GetDlgItem(dialog, IDC_FILL_INPLACE), nullptr) << "Enter ends the editing";
    }

    ScriptedEnvironment env;
};

TEST_F(FillWindowTest, FillingInABlockChangesExactlyTheValuesTypedAndOneUndoBringsItBack) {
    AddLine("搭配促销-样式6");
    AddLine("搭配促销-样式6");
    const std::string block = Page().GetBlock(9, 5);
    const std::string original = Copied();
    ASSERT_EQ(original, block + block);
    const fill::FieldSet set = fill::FindFields(block);
    const int name = FieldIndex(set, fill::FieldKind::Text, "请在此输入产品名称");
    const int price = FieldIndex(set, fill::FieldKind::Text, "￥158.00");
    const std::string oldPicture =
        "http://img.alicdn.com/imgextra/i4/3087214596/TB2qUpeo2niPL5XhkYPSy1S_!!3087214596.jpg";
    const int picture = FieldIndex(set, fill::FieldKind::Picture, oldPicture);
    const std::string newPicture = "https://img.alicdn.com/imgextra/i1/55/O1CN01 春装.jpg";

    Select(1);
    std::string pictureNote, nameNote, nameShown;
    int rows = 0;
    DialogScript script([&](HWND dialog) {
        const HWND list = GetDlgItem(dialog, IDC_FILL_FIELDS);
        rows = DialogScript::Rows(list);
        pictureNote = DialogScript::Cell(list, picture, kNoteColumn);
        EditRow(dialog, name, "春装 <连衣裙> & \"小衫\"");
        EditRow(dialog, price, "￥128.00");
        EditRow(dialog, picture, newPicture);
        nameNote = DialogScript::Cell(list, name, kNoteColumn);
        nameShown = DialogScript::Cell(list, name, kValueColumn);
        DialogScript::Press(dialog, IDOK);
    });
    Menu(IDM_FILL);
    ASSERT_TRUE(script.Ran());
    EXPECT_EQ(script.Title(), "填写内容 - 第 2 行：搭配促销-样式6");
    EXPECT_EQ(rows, static_cast<int>(set.fields.size()));
    // the list tells a picture still the block's own, its size and alt text
    EXPECT_NE(pictureNote.find("占位图"), std::string::npos) << pictureNote;
    EXPECT_NE(pictureNote.find("210×210"), std::string::npos) << pictureNote;
    EXPECT_NE(pictureNote.find("套餐商品图 210*210"), std::string::npos) << pictureNote;
    EXPECT_EQ(nameNote.rfind("已修改；主推【此处】单价", 0), 0u) << nameNote;
    EXPECT_EQ(nameShown, "春装 <连衣裙> & \"小衫\"");
    EXPECT_TRUE(env.boxes.empty());

    // the second line only: a custom source of its own holding the filled block
    std::string filled = ReplaceFirst(block, "请在此输入产品名称", "春装 &lt;连衣裙&gt; &amp; \"小衫\"");
    filled = ReplaceFirst(filled, "￥158.00", "￥128.00");
    filled = ReplaceFirst(filled, oldPicture, "https://img.alicdn.com/imgextra/i1/55/O1CN01%20春装.jpg");
    EXPECT_EQ(Doc().Body(), "\r\n" + filled + "\r\n") << "the main preview shows the filled line";
    EXPECT_EQ(Lines(), (Names{"搭配促销-样式6", "自定义源码-1"}));
    EXPECT_EQ(Copied(), block + filled);
    EXPECT_EQ(Page().GetBlock(9, 5), block);

    PressCtrl(List(), 'Z');
    EXPECT_EQ(Copied(), original);
    EXPECT_EQ(Lines(), Names(2, "搭配促销-样式6"));
    PressCtrl(List(), 'Y');
    EXPECT_EQ(Copied(), block + filled);

    // filling the custom source in again rewrites its text, and its file
    Select(1);
    DialogScript again([&](HWND dialog) {
        EditRow(dialog, price, "￥118.00");
        DialogScript::Press(dialog, IDOK);
    });
    Menu(IDM_FILL);
    const std::string refilled = ReplaceFirst(filled, "￥128.00", "￥118.00");
    EXPECT_EQ(Lines(), (Names{"搭配促销-样式6", "自定义源码-1"}));
    EXPECT_EQ(Copied(), block + refilled);
    EXPECT_TRUE(FileBecomes(CustomSourcePath(CustomEntryName(1)), Page().CustomSourceFileBytes(1)));
}

TEST_F(FillWindowTest, CancelOrNoChangeLeavesThePageAsItWasAndTheEditorFollowsAFill) {
    AddLine("图片展示-样式1");
    const std::string before = Copied();
    const std::size_t steps = Page().UndoSteps();
    Select(0);
    DialogScript cancelled([&](HWND dialog) {
        EditRow(dialog, 0, "不要了");
        DialogScript::Press(dialog, IDCANCEL);
    });
    Menu(IDM_FILL);
    ASSERT_TRUE(cancelled.Ran());
    DialogScript unchanged([&](HWND dialog) {
        const std::string value = DialogScript::Cell(GetDlgItem(dialog, IDC_FILL_FIELDS), 0, kValueColumn);
        EditRow(dialog, 0, "改一下");
        EditRow(dialog, 0, value);  // and back
        DialogScript::Press(dialog, IDOK);
    });
    Menu(IDM_FILL);
    ASSERT_TRUE(unchanged.Ran());
    EXPECT_EQ(Copied(), before);
    EXPECT_EQ(Page().UndoSteps(), steps);

    // the code editor shows the line: after the fill it holds the new text,
    // so typing on writes into the filled line, not the old block over it
    Click(C(kEditCodeButton));
    DialogScript filled([&](HWND dialog) {
        EditRow(dialog, 0, "新的文字");
        DialogScript::Press(dialog, IDOK);
    });
    Menu(IDM_FILL);
    ASSERT_NE(Page().CustomText(1), nullptr);
    const std::string text = *Page().CustomText(1);
    EXPECT_NE(text.find("src=\"新的文字\""), std::string::npos);
    EXPECT_EQ(GetText(C(kEditor)), text);
    SendMessageW(C(kEditor), EM_SETSEL, 0, 0);
    SendMessageW(C(kEditor), WM_CHAR, L'x', 0);
    Pump();
    EXPECT_EQ(*Page().CustomText(1), "x" + text);
    // undoing the typing, then the fill: the line names the built-in block
    // again, and so the editor shows that block, where typing now goes
    PressCtrl(List(), 'Z');
    PressCtrl(List(), 'Z');
    EXPECT_EQ(Lines(), Names{"图片展示-样式1"});
    EXPECT_EQ(GetText(C(kEditor)), Page().GetBlock(1, 0));
}

TEST_F(FillWindowTest, ALocalPictureIsAcceptedAndMarked) {
    AddLine("搭配促销-样式6");
    Select(0);
    const std::string local = "C:\\我的图片\\套餐 1.jpg";
    env.files = {local};
    std::string note, row;
    DialogScript script([&](HWND dialog) {
        const HWND list = GetDlgItem(dialog, IDC_FILL_FIELDS);
        const fill::FieldSet set = fill::FindFields(Page().GetBlock(9, 5));
        const int picture = FieldIndex(set, fill::FieldKind::Picture,
                                       "http://img.alicdn.com/imgextra/i4/3087214596/TB2qUpeo2niPL5XhkYPSy1S_!!3087214596.jpg");
        DialogScript::SelectRow(list, picture);
        DialogScript::Press(dialog, IDC_FILL_BROWSE);
        note = GetText(GetDlgItem(dialog, IDC_FILL_NOTE));
        row = DialogScript::Cell(list, picture, kNoteColumn);
        DialogScript::Press(dialog, IDOK);
    });
    Menu(IDM_FILL);
    ASSERT_EQ(env.fileQuestions.size(), 1u);
    EXPECT_NE(note.find("1 张图片是本机文件"), std::string::npos) << note;
    EXPECT_NE(row.find("本机图片"), std::string::npos) << row;
    EXPECT_NE(Copied().find("src=\"" + local + "\""), std::string::npos);
}

TEST_F(FillWindowTest, AMegabyteSourceListsEveryFieldAndItsLastOneCanBeFilledIn) {
    std::string source;
    int n = 0;
    while (source.size() < (1u << 20)) {
        source += "<p>第" + std::to_string(n) + "段 <a href=\"https://shop.taobao.com/" + std::to_string(n) +
                  "\">进店</a><img src=\"https://img.alicdn.com/" + std::to_string(n) + ".jpg\" width=\"50%\"></p>\r\n";
        ++n;
    }
    SetCustomSource(7, source);
    AddLine(CustomEntryName(7));
    Select(0);
    const fill::FieldSet set = fill::FindFields(source, {false, false});
    const int lastText = FieldIndex(set, fill::FieldKind::Text, "第" + std::to_string(n - 1) + "段");
    int rows = 0;
    std::string lastSize;
    DialogScript script([&](HWND dialog) {
        const HWND list = GetDlgItem(dialog, IDC_FILL_FIELDS);
        rows = DialogScript::Rows(list);
        DialogScript::Pump();  // the sizes measured once the dialog shows
        lastSize = DialogScript::Cell(list, rows - 1, kNoteColumn);
        EditRow(dialog, lastText, "最后一段");
        DialogScript::Press(dialog, IDOK);
    });
    Menu(IDM_FILL);
    EXPECT_EQ(rows, static_cast<int>(set.fields.size()));
    EXPECT_GT(rows, 10000);
    EXPECT_NE(lastSize.find("×"), std::string::npos) << lastSize;
    const std::string last = "<p>第" + std::to_string(n - 1) + "段";
    EXPECT_EQ(*Page().CustomText(7), ReplaceFirst(source, last, "<p>最后一段"));
}

// A page of 50 lines: custom sources with the old address in links and in
// their text, a block the code editor changed, built-in blocks with it and without.
PageData FiftyLines() {
    PageData page;
    for (int n = 1; n <= 15; ++n) {
        page.customSources[n] = "<p>本店 http://item.taobao.com/ 上新 <a href=\"http://item.taobao.com/item.htm?id=" +
                                std::to_string(n) + "\">看看</a> <a href='http://item.taobao.com/'>进店</a></p>";
        page.lines.push_back(CustomEntryName(n));
    }
    page.editedBlocks[{3, 0}] = BuiltInLibrary().Get(3, 0) + "<a href=\"http://item.taobao.com/shop\">进店</a>";
    for (int i = 0; page.lines.size() < 50; ++i) {
        const int kind = i % 2 ? 3 : 9;  // 9: their own item links; 3-1: the edited block
        page.lines.push_back(EntryName(kind, i % 2 ? 0 : i / 2 % kStyleCounts[9]));
    }
    return page;
}

TEST_F(FillWindowTest, FindAndReplaceOfALinkChangesEveryOccurrenceAndNothingElse) {
    ASSERT_TRUE(Form1ReplacePage(form, FiftyLines()));
    const std::string before = Copied();
    const std::string from = "http://item.taobao.com/", to = "https://xiaodian.taobao.com/";
    const std::size_t links = Count(before, "href=\"" + from) + Count(before, "href='" + from);
    ASSERT_GT(links, 50u);
    std::size_t lines = 0;
    for (std::size_t i = 0; i < Page().Lines().size(); ++i)
        if (Page().LineHtml(i)->find("href=\"" + from) != std::string::npos ||
            Page().LineHtml(i)->find("href='" + from) != std::string::npos)
            ++lines;
    const std::string inLines = " 处，在 " + std::to_string(lines) + " 行中。";
    std::string result;
    int rows = 0;
    std::string firstRow;
    DialogScript script([&](HWND dialog) {
        CheckRadioButton(dialog, IDC_FR_TEXT, IDC_FR_LINK, IDC_FR_LINK);
        SetText(GetDlgItem(dialog, IDC_FR_FIND), from);
        SetText(GetDlgItem(dialog, IDC_FR_REPLACE), to);
        DialogScript::Press(dialog, IDC_FR_FINDBUTTON);
        result = GetText(GetDlgItem(dialog, IDC_FR_RESULT));
        const HWND list = GetDlgItem(dialog, IDC_FR_MATCHES);
        rows = DialogScript::Rows(list);
        firstRow = DialogScript::Cell(list, 0, 0) + "|" + DialogScript::Cell(list, 0, 1) + "|" + DialogScript::Cell(list, 0, 2);
        EXPECT_EQ(Copied(), before) << "finding changes nothing";
        DialogScript::Press(dialog, IDC_FR_REPLACEALL);
        DialogScript::Press(dialog, IDCANCEL);
    });
    Menu(IDM_FINDREPLACE);
    ASSERT_TRUE(script.Ran());
    EXPECT_EQ(rows, static_cast<int>(links));
    EXPECT_EQ(result.rfind("找到 " + std::to_string(links) + inLines, 0), 0u) << result;
    EXPECT_EQ(firstRow, "1|自定义源码-1|【http://item.taobao.com/】item.htm?id=1");
    ASSERT_EQ(env.boxes.size(), 2u);  // the question, then what was done
    EXPECT_NE(env.boxes[0].text.find(std::to_string(links) + " 处"), std::string::npos);
    EXPECT_EQ(env.boxes[1].text,
              "已替换 " + std::to_string(links) + " 处，改动了 " + std::to_string(lines) + " 行。");

    // every link changed, the same address in the text kept
    std::string expected = ReplaceAll(before, "href=\"" + from, "href=\"" + to);
    expected = ReplaceAll(expected, "href='" + from, "href='" + to);
    EXPECT_EQ(Copied(), expected);
    EXPECT_EQ(Count(expected, "本店 http://item.taobao.com/ 上新"), 15u);

    PressCtrl(List(), 'Z');
    EXPECT_EQ(Copied(), before);
    EXPECT_EQ(Lines(), FiftyLines().lines);
}

TEST_F(FillWindowTest, WhenNoCustomSourceNumberIsLeftBothRefuseAndThePageStays) {
    Form1Change(form, [](Composition& page) {
        page.BeginCompound();
        for (int i = 0; i < 100; ++i) page.AddCustom("<p>源码</p>");
        return page.EndCompound();
    });
    AddLine("搭配促销-样式6");
    const std::string before = Copied();
    const std::size_t steps = Page().UndoSteps();
    Select(100);
    DialogScript fill([](HWND dialog) { DialogScript::Press(dialog, IDOK); });
    Menu(IDM_FILL);
    EXPECT_FALSE(fill.Ran()) << "told before the seller types anything";
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_NE(env.boxes[0].text.find("自定义源码编号只剩 0 个"), std::string::npos) << env.boxes[0].text;

    DialogScript replace([&](HWND dialog) {
        SetText(GetDlgItem(dialog, IDC_FR_FIND), "请在此输入产品名称");
        SetText(GetDlgItem(dialog, IDC_FR_REPLACE), "连衣裙");
        DialogScript::Press(dialog, IDC_FR_REPLACEALL);
        DialogScript::Press(dialog, IDCANCEL);
    });
    Menu(IDM_FINDREPLACE);
    ASSERT_EQ(env.boxes.size(), 2u);
    EXPECT_NE(env.boxes[1].text.find("页面没有改动"), std::string::npos) << env.boxes[1].text;
    EXPECT_EQ(Copied(), before);
    EXPECT_EQ(Page().UndoSteps(), steps);
}

TEST_F(FillWindowTest, TheCommandsFollowTheSelectionAndOpenFromTheListAndTheKeys) {
    const auto enabled = [&](UINT id) {
        const HMENU edit = GetSubMenu(GetMenu(form), 1);
        SendMessageW(form, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(edit), 1);
        return (GetMenuState(edit, id, MF_BYCOMMAND) & MF_GRAYED) == 0;
    };
    EXPECT_FALSE(enabled(IDM_FILL));
    EXPECT_FALSE(enabled(IDM_FINDREPLACE));
    AddLine("五分好评-样式1");
    EXPECT_FALSE(enabled(IDM_FILL));
    EXPECT_TRUE(enabled(IDM_FINDREPLACE));
    Select(0);
    EXPECT_TRUE(enabled(IDM_FILL));

    {  // a double click on the line
        DialogScript script([](HWND) {});
        SendMessageW(form, WM_COMMAND, MAKEWPARAM(kList, LBN_DBLCLK), reinterpret_cast<LPARAM>(List()));
        Pump();
        EXPECT_EQ(script.Title(), "填写内容 - 第 1 行：五分好评-样式1");
    }
    {  // Ctrl+H, inside the code editor too
        Click(C(kEditCodeButton));
        const std::string editor = GetText(C(kEditor));
        DialogScript script([](HWND) {});
        PressCtrl(C(kEditor), 'H');
        EXPECT_EQ(script.Title(), "查找和替换");
        EXPECT_EQ(GetText(C(kEditor)), editor) << "no Backspace typed";
    }
    // a line that shows nothing has nothing to fill in
    AddLine(CustomEntryName(42));
    Select(1);
    DialogScript none([](HWND) {});
    Menu(IDM_FILL);
    EXPECT_FALSE(none.Ran());
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_EQ(env.boxes[0].text, "这一行没有可以填写的模块内容。");
}

}  // namespace
}  // namespace mojian::testing

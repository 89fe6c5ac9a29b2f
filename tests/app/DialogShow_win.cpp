// Shows 填写内容 or 查找和替换 over the real main window, for looking at
// (and screenshots) by hand:
//   dialog_show [--find] [--exit-after MS]
// The fill dialog opens on 搭配促销-样式6 with a name and a price typed and
// the next field being edited; the find dialog with a link search run.
#include <windows.h>

#include <string>

#include "app/CommandIds.h"
#include "app/Form1_win.h"
#include "app/WinText_win.h"
#include "fill/Fields.h"
#include "tests/app/DialogScript_win.h"

using mojian::testing::DialogScript;

namespace {

int Row(const mojian::fill::FieldSet& set, const std::string& value) {
    for (std::size_t i = 0; i < set.fields.size(); ++i)
        if (set.fields[i].value == value) return static_cast<int>(i);
    return 0;
}

void Type(HWND dialog, int row, const std::string& value, bool end) {
    const HWND list = GetDlgItem(dialog, IDC_FILL_FIELDS);
    DialogScript::SelectRow(list, row);
    DialogScript::Press(dialog, IDC_FILL_EDIT);
    const HWND editor = GetDlgItem(dialog, IDC_FILL_INPLACE);
    DialogScript::TypeOver(editor, value);
    if (end) DialogScript::Key(editor, VK_RETURN);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    bool find = false;
    DWORD exitAfter = 8000;
    for (int i = 1; i < __argc; ++i) {
        const std::wstring a = __wargv[i];
        if (a == L"--find") find = true;
        if (a == L"--exit-after" && i + 1 < __argc) exitAfter = static_cast<DWORD>(_wtoi(__wargv[++i]));
    }
    mojian::Form1Options options;
    options.runStartupGates = false;
    options.quitOnClose = false;
    options.recovery = false;
    const HWND form = mojian::CreateForm1(instance, options);
    if (!form) return 1;
    mojian::Form1Change(form, [](mojian::Composition& page) {
        page.BeginCompound();
        for (const char* name : {"栏目标题-天蓝", "搭配促销-样式6", "图片展示-样式3", "售后说明-样式1"})
            page.InsertLine(static_cast<int>(page.Lines().size()), name);
        return page.EndCompound();
    });
    ShowWindow(form, SW_SHOWNORMAL);
    UpdateWindow(form);
    const HWND list = mojian::Form1Control(form, mojian::form1::kList);
    SendMessageW(list, LB_SETCURSEL, 1, 0);
    SendMessageW(form, WM_COMMAND, MAKEWPARAM(mojian::form1::kList, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    DialogScript::Pump();

    DialogScript script(
        [&](HWND dialog) {
            if (find) {
                CheckRadioButton(dialog, IDC_FR_TEXT, IDC_FR_LINK, IDC_FR_LINK);
                mojian::SetText(GetDlgItem(dialog, IDC_FR_FIND), "http://item.taobao.com/");
                mojian::SetText(GetDlgItem(dialog, IDC_FR_REPLACE), "https://xiaodian.taobao.com/");
                DialogScript::Press(dialog, IDC_FR_FINDBUTTON);
            } else {
                const mojian::fill::FieldSet set = mojian::fill::FindFields(mojian::Form1Page(form).LineHtml(1).value());
                Type(dialog, Row(set, "请在此输入产品名称"), "春装新款 碎花连衣裙", true);
                Type(dialog, Row(set, "￥158.00"), "￥128.00", true);
                Type(dialog, Row(set, "￥139.00"), "￥99.", false);
            }
            DialogScript::PumpFor(exitAfter);
            DialogScript::Press(dialog, IDCANCEL);
        },
        true);
    SendMessageW(form, WM_COMMAND, MAKEWPARAM(find ? IDM_FINDREPLACE : IDM_FILL, 0), 0);
    DestroyWindow(form);
    return 0;
}

// Shows 填写内容, 查找和替换, 生成手机详情 or 我的模块 over the real main
// window, for looking at (and screenshots) by hand:
//   dialog_show [--find | --mobile FOLDER | --mine FOLDER] [--exit-after MS]
// The fill dialog opens on 搭配促销-样式6 with a name and a price typed and
// the next field being edited; the find dialog with a link search run; the
// mobile dialog after a run of a stand-in maker that writes a real contact
// sheet of painted stripes into FOLDER; 我的模块 with a few of the seller's
// blocks and a damaged file kept in FOLDER as the user's folder.
#include <windows.h>

#include <string>

#include "app/CommandIds.h"
#include "app/Form1_win.h"
#include "app/WinText_win.h"
#include "app/env/Environment.h"
#include "base/File.h"
#include "base/UserFolder.h"
#include "catalogue/Library.h"
#include "myblocks/MyBlocks.h"
#include "fill/Fields.h"
#include "mobile/ContactSheet.h"
#include "mobile/WicEncoder_win.h"
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

// Pieces of coloured bands with dark rows where text would be.
mojian::mobile::MakeOutcome StandInMaker(const mojian::mobile::MakeRequest& r) {
    using namespace mojian::mobile;
    const int heights[] = {1546, 1546, 1200, 1546, 640};
    const std::uint32_t colours[] = {0xFFF4E3D7, 0xFFDCEBF5, 0xFFFFFFFF, 0xFFE8F5E0, 0xFFFBE9EF};
    MakeOutcome o;
    std::vector<Raster> pieces;
    int top = 0;
    for (int i = 0; i < 5; ++i) {
        Raster piece{r.outputWidth, heights[i], {}};
        piece.pixels.assign(static_cast<std::size_t>(piece.width) * static_cast<std::size_t>(piece.height), colours[i]);
        for (int y = 0; y < piece.height; ++y)
            if ((y / 40) % 5 == 1)
                for (int x = 60; x < piece.width - 60; ++x)
                    if ((x / 12 + y / 4) % 3)
                        piece.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(piece.width) + static_cast<std::size_t>(x)] = 0xFF404040;
        if (r.progress) r.progress(MakeStage::Encoding, (i + 1) / 5.0);
        const std::string name = "0" + std::to_string(i + 1) + ".jpg";
        o.pack.pieces.push_back({name, top, piece.width, piece.height, static_cast<std::uint64_t>(180000 + 37000 * i), Format::Jpeg, 92});
        o.pack.areas.push_back(std::vector<HotArea>(static_cast<std::size_t>(i % 3)));
        top += piece.height;
        pieces.push_back(std::move(piece));
    }
    WicEncoder encoder;
    mojian::CreateFolder(r.folder);
    if (const auto sheet = encoder.Encode(MakeContactSheet(pieces, 1200), Format::Jpeg, 90))
        if (mojian::WriteWholeFile(mojian::JoinPath(r.folder, "总览.jpg"), *sheet)) o.contactSheet = "总览.jpg";
    o.pack.ok = true;
    o.pack.folder = r.folder;
    o.pack.leftOut = {{"javascript:void(0)", "不是网页地址"}, {"file:///D:/图片/主图.jpg", "本机文件，买家打不开"}};
    return o;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    bool find = false;
    std::string mobileFolder, mineFolder;
    DWORD exitAfter = 8000;
    for (int i = 1; i < __argc; ++i) {
        const std::wstring a = __wargv[i];
        if (a == L"--find") find = true;
        if (a == L"--mobile" && i + 1 < __argc) mobileFolder = mojian::Narrow(__wargv[++i]);
        if (a == L"--mine" && i + 1 < __argc) mineFolder = mojian::Narrow(__wargv[++i]);
        if (a == L"--exit-after" && i + 1 < __argc) exitAfter = static_cast<DWORD>(_wtoi(__wargv[++i]));
    }
    if (!mineFolder.empty()) {
        mojian::SetUserDataFolder(mineFolder);
        mojian::myblocks::MyBlocks store(mojian::myblocks::UserBlocksFolder());
        const auto& library = mojian::BuiltInLibrary();
        store.Save("售后承诺（春季）", "售后说明-样式1", library.Get(7, 0), true);
        store.Save("连衣裙尺码表", "尺码表格-样式2", library.Get(2, 1), true);
        store.Save("店铺热销推荐", "关联营销-样式3", library.Get(5, 2), true);
        store.Save("五星好评返现", "自定义源码-4", library.Get(8, 1), true);
        mojian::WriteWholeFile(mojian::JoinPath(mojian::myblocks::UserBlocksFolder(), "旧电脑拷来的.json"), "{\"format\": ");
    }
    mojian::Form1Options options;
    options.runStartupGates = false;
    options.quitOnClose = false;
    options.recovery = false;
    options.makeMobile = &StandInMaker;
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
            if (!mobileFolder.empty()) {
                CheckRadioButton(dialog, IDC_MOBILE_W750, IDC_MOBILE_W1242, IDC_MOBILE_W1242);
                mojian::SetText(GetDlgItem(dialog, IDC_MOBILE_FOLDER), mobileFolder);
                DialogScript::Press(dialog, IDC_MOBILE_MAKE);
            } else if (!mineFolder.empty()) {
                const HWND blocks = GetDlgItem(dialog, IDC_MB_LIST);
                LVITEMW none{};
                none.stateMask = LVIS_SELECTED;
                SendMessageW(blocks, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
                DialogScript::SelectRow(blocks, 1);
                DialogScript::Press(dialog, IDC_MB_ADD);
            } else if (find) {
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
    // The page has one of the check's errors: go on past the question.
    if (!mobileFolder.empty())
        mojian::CurrentEnvironment().messageBox = [](HWND, const std::wstring&, const std::wstring&, UINT) { return IDYES; };
    const int command = !mobileFolder.empty() ? IDM_MOBILE : !mineFolder.empty() ? IDM_MYBLOCKS : find ? IDM_FINDREPLACE : IDM_FILL;
    SendMessageW(form, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    DestroyWindow(form);
    return 0;
}

// Form1's 我的模块: a line saved as one of the seller's own blocks, the
// dialog that adds them to the page and manages them, the composition
// list's right-click menu, and the question a page from another PC asks
// about the blocks it carries.
#include <windows.h>
#include <windowsx.h>
#include <commctrl.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandIds.h"
#include "app/Form1State_win.h"
#include "app/Form1Texts.h"
#include "app/WinText_win.h"
#include "app/dialogs/MyBlocksDialog_win.h"
#include "app/dialogs/NameDialog_win.h"
#include "app/dialogs/VirtualList_win.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "myblocks/MyBlocks.h"
#include "myblocks/Names.h"

namespace mojian {

using namespace form1;

namespace {

constexpr wchar_t kMineTitle[] = L"我的模块";

std::string MineQuoted(std::string_view text) { return "“" + std::string(text) + "”"; }

int MineTell(HWND owner, const std::string& text, UINT flags = MB_OK | MB_ICONEXCLAMATION) {
    return Ask(owner, Wide(text), kMineTitle, flags);
}

std::string MineListed(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : "、") + MineQuoted(name);
    return text;
}

// The store in the user's folder; nothing (and the seller told) without one.
std::optional<myblocks::MyBlocks> MineStore(HWND form) {
    const std::string folder = myblocks::UserBlocksFolder();
    if (folder.empty()) {
        MineTell(form, "找不到保存“我的模块”的文件夹（%LOCALAPPDATA%\\墨笺\\我的模块）。");
        return std::nullopt;
    }
    return myblocks::MyBlocks(folder);
}

// The name a line's block is offered under: its own for a seller's block,
// the entry name for the others.
std::string SuggestedMineName(std::string_view entry) {
    if (const std::string_view mine = MineNameOf(entry); !mine.empty()) return std::string(mine);
    return std::string(entry);
}

// A line of the block at the end of the page. When this page holds another
// copy of the block by that name, the seller says which one the page keeps.
bool AddMineToPage(HWND form, Form1State& s, HWND asking, const myblocks::Block& block) {
    std::string html = block.html;
    if (const std::string* onPage = s.doc.page.MineHtml(block.name); onPage && *onPage != html) {
        const int answer = MineTell(asking,
                                "这一页上的" + MineQuoted(block.name) + "与“我的模块”中的内容不同（可能在这一页上改过）。\r\n\r\n" +
                                    "是：用“我的模块”中的，这一页上所有" + MineQuoted(block.name) + "都随之改变\r\n" +
                                    "否：保留这一页上的",
                                MB_YESNOCANCEL | MB_ICONQUESTION);
        if (answer == IDCANCEL) return false;
        if (answer == IDNO) html = *onPage;
    }
    const PageEffects e = s.doc.page.AddMine(block.name, html);
    if (e.outcome == Outcome::PageFull) {
        Ask(asking, form1_texts::kPageFull, form1_texts::kNoticeTitle, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    Reflect(form, s, e);
    return e.Applied();
}

constexpr char kMineNoneYet[] =
    "<p>还没有我的模块。在排版列表中选中一行，按 Ctrl+B（或右键 → 存为我的模块）就能保存，以后在这里选用。</p>";

HWND MineList(const Form1State& s) { return s.view.Control(kMineList); }

int ChosenMineRow(const Form1State& s) {
    return static_cast<int>(SendMessageW(MineList(s), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void PreviewChosenMine(HWND form, Form1State& s) {
    const int row = ChosenMineRow(s);
    std::string html;
    if (row >= 0 && static_cast<std::size_t>(row) < s.view.mineEntries.size()) {
        const myblocks::Entry& entry = s.view.mineEntries[static_cast<std::size_t>(row)];
        s.view.mineChosen = entry.name;
        if (std::optional<myblocks::MyBlocks> store = MineStore(form)) html = store->PreviewHtml(entry);
    } else if (s.view.mineEntries.empty()) {
        html = kMineNoneYet;
    }
    s.view.Preview().SetBodyInnerHtml(html);
}

// The list afresh from the folder, the block chosen last chosen again (else
// the first), and the choice previewed once.
void RefillMineList(HWND form, Form1State& s) {
    const HWND list = MineList(s);
    std::optional<myblocks::MyBlocks> store = MineStore(form);
    s.view.mineEntries = store ? store->List() : std::vector<myblocks::Entry>{};
    int chosen = s.view.mineEntries.empty() ? -1 : 0;
    for (std::size_t i = 0; i < s.view.mineEntries.size(); ++i)
        if (s.view.mineEntries[i].name == s.view.mineChosen) chosen = static_cast<int>(i);
    s.view.mineListing = true;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) > 0)  // the clearing visits every row
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    if (static_cast<std::size_t>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) != s.view.mineEntries.size())  // else repainted below
        SendMessageW(list, LVM_SETITEMCOUNT, s.view.mineEntries.size(), LVSICF_NOSCROLL);
    if (chosen >= 0) {
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(chosen), reinterpret_cast<LPARAM>(&state));
        SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(chosen), FALSE);
    }
    InvalidateRect(list, nullptr, FALSE);
    s.view.mineListing = false;
    PreviewChosenMine(form, s);
}

}  // namespace

bool MineKindChosen(const Form1State& s) { return IsChecked(s.view.Control(kMineOption)); }

void MineOption_Click(HWND form, Form1State& s) {
    HideStyles(s);
    ShowWindow(s.view.Control(kEditor), SW_HIDE);
    SetText(s.view.Control(kChoiceFrame), "我的模块");
    RefillMineList(form, s);  // before it shows: a shown list view takes its new count slowly (17 ms)
    SetWindowPos(MineList(s), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void AddChosenMine(HWND form, Form1State& s) {
    const int row = ChosenMineRow(s);
    if (row < 0 || static_cast<std::size_t>(row) >= s.view.mineEntries.size()) {
        MineTell(form, s.view.mineEntries.empty() ? "还没有我的模块可以添加。" : "请先在列表中选中要添加的模块。",
                 MB_OK | MB_ICONINFORMATION);
        return;
    }
    const myblocks::Entry entry = s.view.mineEntries[static_cast<std::size_t>(row)];
    std::optional<myblocks::MyBlocks> store = MineStore(form);
    if (!store) return;
    std::string why;
    const std::optional<myblocks::Block> block = store->ReadToAdd(entry, why);
    if (!block) {
        MineTell(form, why);
        if (entry.state != myblocks::State::Damaged) RefillMineList(form, s);  // it went: the list follows the folder
        return;
    }
    AddMineToPage(form, s, form, *block);
}

LRESULT MineList_Notify(HWND form, Form1State& s, const NMHDR& header) {
    switch (header.code) {
    case LVN_GETDISPINFOW: {
        LVITEMW& item = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header)).item;
        if (!(item.mask & LVIF_TEXT) || item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= s.view.mineEntries.size())
            break;
        const myblocks::Entry& entry = s.view.mineEntries[static_cast<std::size_t>(item.iItem)];
        SetCellText(item, item.iSubItem == 0   ? entry.name
                          : item.iSubItem == 1 ? myblocks::ShownSource(entry)
                                               : myblocks::ShownSaved(entry));
        break;
    }
    case LVN_ITEMCHANGED: {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if (!s.view.mineListing && (change.uChanged & LVIF_STATE) && (change.uNewState & LVIS_SELECTED) &&
            !(change.uOldState & LVIS_SELECTED))
            PreviewChosenMine(form, s);
        break;
    }
    case NM_DBLCLK:
        if (reinterpret_cast<const NMITEMACTIVATE&>(header).iItem >= 0) {
            EndTyping(s);
            AddChosenMine(form, s);
        }
        break;
    }
    return 0;
}

bool HasSelectedBlock(const Form1State& s) {
    return s.doc.page.Selected() >= 0 && s.doc.page.LineHtml(static_cast<std::size_t>(s.doc.page.Selected())).has_value();
}

void SaveAsMine_Click(HWND form, Form1State& s) {
    const int line = s.doc.page.Selected();
    if (line < 0) {
        MineTell(form, "请先在排版列表中选中要保存的一行。", MB_OK | MB_ICONINFORMATION);
        return;
    }
    // What the line puts on the page, byte for byte: a page that uses the
    // block later copies exactly this.
    const std::optional<std::string_view> html = s.doc.page.LineHtml(static_cast<std::size_t>(line));
    const std::string entry(s.doc.page.SelectedName());
    if (!html) {
        MineTell(form, "这一行没有内容，不能存为我的模块。");
        return;
    }
    const std::string saved(*html);
    std::optional<myblocks::MyBlocks> store = MineStore(form);
    if (!store) return;

    NameQuestion question;
    question.title = "存为我的模块";
    question.prompt = "把第 " + std::to_string(line + 1) + " 行（" + entry + "）存为我的模块，名称(&N)：";
    question.initial = SuggestedMineName(entry);
    question.fault = [](const std::string& typed) { return myblocks::NameFault(myblocks::TidyName(typed)); };
    for (;;) {
        const std::optional<std::string> typed = AskName(form, question);
        if (!typed) return;
        const std::string name = myblocks::TidyName(*typed);
        bool replace = false;
        if (store->Get(name)) {
            const int answer = MineTell(form, "已经有名为" + MineQuoted(name) + "的模块了。\r\n\r\n是：用这一行替换它\r\n否：换一个名称",
                                    MB_YESNOCANCEL | MB_ICONQUESTION);
            if (answer == IDCANCEL) return;
            if (answer == IDNO) {
                question.initial = name;
                continue;
            }
            replace = true;
        }
        if (const std::string error = store->Save(name, entry, saved, replace); !error.empty()) {
            MineTell(form, error);
            question.initial = name;
            continue;
        }
        s.view.statusNote = "已存为我的模块" + MineQuoted(name);
        UpdateStatusBar(s);
        if (MineKindChosen(s)) RefillMineList(form, s);
        return;
    }
}

void MyBlocks_Click(HWND form, Form1State& s) {
    std::optional<myblocks::MyBlocks> store = MineStore(form);
    if (!store) return;
    MyBlocksHost host;
    host.store = &*store;
    host.width = s.doc.page.Width();
    host.font = s.view.normalFont.get();
    host.add = [form, &s](const myblocks::Block& block) {
        return AddMineToPage(form, s, GetLastActivePopup(form), block);
    };
    ShowMyBlocksDialog(form, host);
    if (MineKindChosen(s)) RefillMineList(form, s);  // renamed, deleted or imported there
}

void ShowListMenu(HWND form, Form1State& s, LPARAM at) {
    const HWND list = s.view.Control(kList);
    POINT screen{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (screen.x == -1 && screen.y == -1) {
        // From the keyboard (Shift+F10, the menu key): beside the selected line.
        RECT item{};
        const int line = s.doc.page.Selected();
        if (line < 0 || SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(&item)) == LB_ERR)
            GetClientRect(list, &item);
        screen = {item.left + 8, item.bottom};
        ClientToScreen(list, &screen);
    } else {
        // A right click chooses the line under the pointer first, as Explorer does.
        POINT client = screen;
        ScreenToClient(list, &client);
        const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(client.x, client.y));
        if (HIWORD(hit) == 0 && static_cast<int>(LOWORD(hit)) != s.doc.page.Selected())
            SelectLine(form, s, static_cast<int>(LOWORD(hit)));
    }
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(form, GWLP_HINSTANCE));
    const HMENU menu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_LISTMENU));
    if (!menu) return;
    const HMENU popup = GetSubMenu(menu, 0);
    OnInitMenuPopup(s, popup);
    // The command goes through WM_COMMAND like the menu bar's.
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, form, nullptr);
    DestroyMenu(menu);
}

void OfferPageBlocks(HWND form, const PageData& page) {
    if (page.myBlocks.empty()) return;
    const std::string folder = myblocks::UserBlocksFolder();
    if (folder.empty()) return;
    myblocks::MyBlocks store(folder);
    // The folder listed once, not once per block (Get lists it each time).
    std::map<std::string, myblocks::Entry> listed;
    for (myblocks::Entry& entry : store.List())
        if (entry.state != myblocks::State::Damaged) listed.try_emplace(myblocks::CaseFold(entry.name), std::move(entry));
    std::vector<std::string> missing, different;
    for (const auto& [name, html] : page.myBlocks) {
        const auto entry = listed.find(myblocks::CaseFold(myblocks::TidyName(name)));
        const std::optional<myblocks::Block> kept =
            entry == listed.end() ? std::nullopt : store.Read(entry->second);
        if (!kept) missing.push_back(name);
        else if (kept->html != html) different.push_back(name);
    }
    std::string errors;
    if (!missing.empty() &&
        MineTell(form, "这个排版用到了 " + std::to_string(missing.size()) + " 个本机“我的模块”中没有的模块：" + MineListed(missing) +
                       "。\r\n排版里存有它们的代码，不加也能照常使用。要把它们添加到我的模块吗？",
             MB_YESNO | MB_ICONQUESTION) == IDYES) {
        for (const std::string& name : missing)
            if (const std::string error = store.Save(name, MineEntryName(name), page.myBlocks.at(name)); !error.empty())
                errors += error + "\r\n";
    }
    if (!different.empty() &&
        MineTell(form, "这个排版中的 " + std::to_string(different.size()) + " 个模块与本机“我的模块”中的同名模块内容不同：" +
                       MineListed(different) + "。\r\n\r\n是：用排版中的替换本机的\r\n否：保留本机的（这个排版仍用它自己的）",
             MB_YESNO | MB_ICONQUESTION) == IDYES) {
        for (const std::string& name : different)
            if (const std::string error = store.Save(name, MineEntryName(name), page.myBlocks.at(name), true); !error.empty())
                errors += error + "\r\n";
    }
    if (!errors.empty()) MineTell(form, errors);
}

}  // namespace mojian

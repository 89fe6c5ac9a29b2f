// Form1's import of an existing description, from a file (文件 → 导入描述…)
// or from the clipboard (编辑 → 从粘贴板导入): the text is imported first, so
// that what is no description is refused before anything is asked or
// changed; then the question about unsaved work, as before an open; then
// the composition list is replaced in one undo step and the message says
// what the import made of the text.
//
// Unlike an open, the run goes on: the page keeps its file name, the blocks
// edited in this run and the custom sources numbered so far, and the new
// custom sources take the numbers after them. The seller's own blocks
// (我的模块) in the user's folder are recognised too, and the page takes
// its copies of the ones it names.
#include <windows.h>

#include <optional>
#include <string>

#include "app/Clipboard_win.h"
#include "app/Form1State_win.h"
#include "app/WinText_win.h"
#include "app/env/Environment.h"
#include "import/Clipboard.h"
#include "import/Import.h"
#include "myblocks/MyBlocks.h"
#include "project/ProjectFile.h"

namespace mojian {

using import::ClipboardDescription;
using import::ContextFor;
using import::ImportDescriptionFile;
using import::ImportDescriptionText;
using import::ImportErrorKind;
using import::ImportErrorMessage;
using import::ImportErrorText;
using import::ImportResult;
using import::ImportSummary;
using import::ImportedPage;
using import::MineBlocksIn;

namespace {

constexpr wchar_t kImportFileTitle[] = L"导入描述";
constexpr wchar_t kImportClipboardTitle[] = L"从粘贴板导入";
constexpr wchar_t kImportFilter[] =
    L"网页和文本 (*.html;*.htm;*.txt)\0*.html;*.htm;*.txt\0所有文件 (*.*)\0*.*\0\0";
constexpr wchar_t kCannotImportBefore[] = L"无法导入“";
constexpr wchar_t kCannotImportAfter[] = L"”：\r\n";
constexpr wchar_t kSourcesNotSaved[] =
    L"导入的行已经放进排版列表，但自定义源码没能保存到程序所在文件夹的 Vexa 文件夹里"
    L"（文件夹无法创建或文件无法写入）。\r\n"
    L"请检查程序所在的文件夹是否可以写入。";

// Asks about unsaved work, then puts the imported lines in place of the
// list. False when the user kept the page or the list cannot hold them.
bool ApplyImport(HWND form, Form1State& s, const ImportedPage& imported, const wchar_t* title) {
    if (!ReadyToReplacePage(form, s)) return false;
    EndTyping(s);
    const PageEffects e =
        s.doc.page.ReplaceLines(imported.page.lines, imported.page.customSources, imported.page.myBlocks);
    if (e.outcome == Outcome::PageFull) {
        Ask(form, Wide(ImportErrorText(ImportErrorKind::TooManyLines)), title, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (!Reflect(form, s, e)) Ask(form, kSourcesNotSaved, title, MB_OK | MB_ICONEXCLAMATION);
    Ask(form, Wide(ImportSummary(imported)), title, MB_OK | MB_ICONINFORMATION);
    return true;
}

// The page's context with the seller's blocks as the folder has them now.
import::ImportContext ImportContextFor(const Form1State& s) {
    import::ImportContext context = ContextFor(s.doc.page);
    context.mine = MineBlocksIn(myblocks::UserBlocksFolder());
    return context;
}

}  // namespace

void ImportFile_Click(HWND form, Form1State& s) {
    FileQuestion question;
    question.title = kImportFileTitle;
    question.filter.assign(kImportFilter, sizeof kImportFilter / sizeof kImportFilter[0] - 1);
    question.extension = L"html";
    const auto path = CurrentEnvironment().chooseFile(form, question);
    if (!path) return;
    const ImportResult result = ImportDescriptionFile(*path, ImportContextFor(s));
    if (!result.Ok()) {
        Ask(form, kCannotImportBefore + FileNameOf(*path) + kCannotImportAfter + Wide(ImportErrorMessage(result.error)),
            kImportFileTitle, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    ApplyImport(form, s, *result.imported, kImportFileTitle);
}

void ImportClipboard_Click(HWND form, Form1State& s) {
    const std::optional<std::string> html = ClipboardHtmlFormat(form);
    const std::optional<std::string> text = ClipboardText(form);
    std::optional<std::string_view> htmlBlock, plain;
    if (html) htmlBlock = *html;
    if (text) plain = *text;
    const auto description = ClipboardDescription(htmlBlock, plain);
    const ImportResult result = description ? ImportDescriptionText(*description, ImportContextFor(s))
                                            : ImportResult{std::nullopt, {ImportErrorKind::Empty, {}}};
    if (!result.Ok()) {
        Ask(form, Wide(ImportErrorMessage(result.error)), kImportClipboardTitle, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    ApplyImport(form, s, *result.imported, kImportClipboardTitle);
}

}  // namespace mojian

// What the main window says: captions of its boxes and their texts.
#pragma once

namespace mojian::form1_texts {

inline constexpr wchar_t kProductName[] = L"墨笺";
inline constexpr wchar_t kNoticeTitle[] = L"温馨提示";
inline constexpr wchar_t kAddModuleTitle[] = L"添加模块";
inline constexpr wchar_t kExportTitle[] = L"导出模板";

inline constexpr wchar_t kExitQuestion[] = L"确定要退出本软件吗?(Y/N)";
// The exit question's second line while the page has unsaved changes.
inline constexpr wchar_t kExitNotSaved[] = L"当前排版还没有保存，退出后可以通过“文件 → 恢复上次的排版”找回。";

inline constexpr wchar_t kClearQuestion[] = L"清空后将无法恢复，是否要清空现有的内容？";
inline constexpr wchar_t kPageFull[] = L"排版列表最多只能放 32767 行，已经放满了，不能再添加模块。";
inline constexpr wchar_t kSourceNotSaved[] =
    L"模块已经添加到排版列表，但自定义源码没能保存到程序所在文件夹的 Vexa 文件夹里"
    L"（文件夹无法创建或文件无法写入），预览和复制时这一行将没有内容。\r\n"
    L"请检查程序所在的文件夹是否可以写入。";
inline constexpr wchar_t kCopyEmptyList[] = L"请先添加您需要复制的模块，再点击复制代码按钮！";
inline constexpr wchar_t kCopyDone[] =
    L"代码己生成，并复制到粘贴板，请直接粘贴到装修模板代码里使用！\r\n"
    L"在使用过程中如果您有任何问题或建意，请反馈给我们！谢谢！\r\n"
    L"祝：生意兴隆---";
inline constexpr wchar_t kCopyFailed[] =
    L"代码没有复制到粘贴板：粘贴板正被其他程序占用。\r\n"
    L"请稍后再点击复制代码按钮。";
inline constexpr wchar_t kEditEmptyList[] = L"请添加模块后修改!";
inline constexpr wchar_t kEditAllQuestion[] = L"您目前尚未选择任何模块，是否进行修改列表中所有模块?(Y/N)";
inline constexpr wchar_t kExportEmptyList[] = L"您尚未添加任何模块，无法导出!";
inline constexpr wchar_t kExportDone[] = L"当前模版导出成功！请到程序文件夹下查看！";
inline constexpr wchar_t kExportFailed[] =
    L"模版没有导出：程序所在文件夹里的 Vexa 文件夹无法创建，或导出文件无法写入。\r\n"
    L"请检查程序所在的文件夹是否可以写入。";

// ---- Projects ----
inline constexpr wchar_t kOpenTitle[] = L"打开排版";
inline constexpr wchar_t kSaveTitle[] = L"保存排版";
inline constexpr wchar_t kSaveAsTitle[] = L"另存为";
inline constexpr wchar_t kRestoreTitle[] = L"恢复上次的排版";
inline constexpr wchar_t kNewPageName[] = L"新排版";
inline constexpr char kSuggestedFileName[] = "我的排版.mojian";
// The save question: the unnamed page, or the file's name between these.
inline constexpr wchar_t kSaveNewPageQuestion[] = L"是否保存当前的排版？";
inline constexpr wchar_t kSaveChangesBefore[] = L"是否将修改保存到“";
inline constexpr wchar_t kSaveChangesAfter[] = L"”？";
inline constexpr wchar_t kCannotOpenBefore[] = L"无法打开“";
inline constexpr wchar_t kCannotSaveBefore[] = L"无法保存到“";
inline constexpr wchar_t kFileNameAfter[] = L"”：\r\n";
inline constexpr wchar_t kRecentGone[] = L"\r\n这个文件已从最近使用的列表中去掉。";
inline constexpr wchar_t kNothingToRestore[] = L"还没有可以恢复的排版：上次运行时没有排过版。";
inline constexpr wchar_t kRestoreOffer[] =
    L"墨笺上次没有正常关闭（程序出错、被强行结束或突然断电），上次的排版还可以找回。\r\n"
    L"是否恢复上次的排版？\r\n"
    L"（以后也可以通过“文件 → 恢复上次的排版”找回。）";

// ---- Status bar ----
inline constexpr wchar_t kStatusSaved[] = L"已保存";
inline constexpr wchar_t kStatusModified[] = L"未保存";
inline constexpr wchar_t kStatusLines[] = L" 行";

}  // namespace mojian::form1_texts

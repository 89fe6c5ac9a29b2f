// What 生成手机详情 asks of the seller and tells them back, without the
// window: the options read and checked, the stages' names and the overall
// progress, the pieces as the list shows them and the outcome in plain
// Chinese. The dialog (app/dialogs/MobileDialog_win.cpp) only shows these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mobile/MakeMobile_win.h"
#include "mobile/Rules.h"

namespace mojian::mobile {

// The lowest limit a seller may set: below it a page becomes a pile of
// slivers nobody could arrange in the mobile editor.
inline constexpr int kLowestMaxHeight = 100;

// The options as typed; `folder` is UTF-8.
struct TypedOptions {
    int outputWidth = 750;
    FormatChoice format = FormatChoice::Auto;
    std::string maxHeight;  // digits, as in the box
    std::string folder;
};

enum class OptionField : std::uint8_t { None, MaxHeight, Folder };

struct CheckedOptions {
    int maxHeight = 0;      // in pixels, within the rules
    std::string folder;     // trimmed
    std::string error;      // Chinese; empty when the options are good
    OptionField field = OptionField::None;  // the box to go back to
};

CheckedOptions CheckOptions(const TypedOptions& typed, const MobileRules& rules);

// Whether a path names a folder from a drive or a share ("D:\店铺",
// "\\server\share"), not one relative to wherever the program runs.
bool IsFullFolderPath(std::string_view path);

// Whether a file's text is a whole HTML document rather than a description:
// the first thing in it, after a byte-order mark, white space and comments
// (an XML declaration reads as one), is a doctype. Such a file is made as a
// browser shows it (MakeRequest::wholeDocument).
bool IsWholeDocument(std::string_view text);

// The stage's name as the dialog shows it, and the whole run's progress in
// thousandths (every stage an equal share; a later stage is always further).
std::string StageText(MakeStage stage);
int OverallProgress(MakeStage stage, double fraction);

// One row of the pieces' list.
struct PieceRow {
    std::string file, size, bytes, areas;
};
std::vector<PieceRow> PieceRows(const PackResult& pack);
std::string KilobytesText(std::uint64_t bytes);

// What was made (or why nothing was): counts, the folder, the notes, the
// links left out and the errors, one per line.
std::string OutcomeText(const MakeOutcome& outcome);

// The questions asked on the way.
std::string CheckErrorsQuestion(int errors);
std::string OverwriteQuestion(const std::string& folder);
std::string FailedPicturesQuestion(const std::vector<std::string>& failed);

}  // namespace mojian::mobile

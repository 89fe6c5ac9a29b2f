// 我的模块的名称: a modal dialog (IDD_MINE_NAME) asking for a block's name,
// when a line is saved as one of the seller's blocks and when one is
// renamed. A name the store would refuse is said at once, and the dialog
// stays open with what was typed.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace mojian {

struct NameQuestion {
    std::string title;    // the dialog's caption
    std::string prompt;   // above the box
    std::string initial;  // the box's text at first, all selected
    // Why a name cannot be taken, in Chinese; empty when it can.
    std::function<std::string(const std::string& name)> fault;
};

// The name as typed (the fault check passed), or nothing when cancelled.
std::optional<std::string> AskName(HWND owner, const NameQuestion& question);

}  // namespace mojian

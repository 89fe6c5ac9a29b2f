// One window's document: the page with its history and selection, the file
// it belongs to, the burst of typing going on, what was handed to the
// publish check and to the recovery writer, and the user's files around it.
// Plain data and rules, no window: the window (app/) shows it and owns it.
// A new part of the document is a member here, with its default.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "compose/Composition.h"
#include "project/RecentFiles.h"
#include "project/Recovery.h"

namespace mojian::doc {

// The file the page came from or went to, through opens undone and redone:
// undoing an open gives the earlier page its own name back.
class PageFile {
public:
    // Empty for a page without a file.
    const std::string& Path() const { return path_; }
    // Another page came in, named by `path` (empty: a page without a file).
    void Opened(std::string path);
    // The page is saved as `path`: redoing the open that brought it gives
    // it this name.
    void SavedAs(std::string path);
    // The page stays and only takes another name (the same page opened again).
    void Renamed(std::string path) { path_ = std::move(path); }
    // An open was undone (`back`) or redone.
    void OpenStepped(bool back);

private:
    struct Open {
        std::string before, after;
    };
    std::string path_;
    std::vector<Open> opens_;  // [0, done_) done
    std::size_t done_ = 0;
};

// Keystrokes in quick succession into the editor make one undo step.
class TypingBurst {
public:
    static constexpr std::uint64_t kPauseMs = 1500;

    // A keystroke at `nowMs`: true when it goes on with the burst before it.
    bool Keystroke(std::uint64_t nowMs);
    // Anything else the user does ends the burst.
    void End() { typing_ = false; }

private:
    bool typing_ = false;
    std::uint64_t lastMs_ = 0;
};

// The page as handed to the publish check running on its own thread.
struct CheckHandOver {
    std::uint64_t asked = 0;  // the number of the newest page handed over
    bool behind = false;      // the page changed while the check was busy
};

// The page as handed to the recovery file, and the run it belongs to.
struct RecoveryHandOver {
    project::SessionStart session;
    project::RecoveryThrottle throttle;
};

// The user's files around the page.
struct UserFiles {
    std::string folder;  // %LOCALAPPDATA%\墨笺; empty when there is none
    project::RecentFiles recent;
    std::vector<std::string> handedOver;  // files other starts handed over, not yet opened
};

struct Document {
    Composition page;  // lines, selection, texts, blocks and the undo history
    PageFile file;
    TypingBurst typing;
    CheckHandOver check;
    RecoveryHandOver recovery;
    UserFiles user;
};

}  // namespace mojian::doc

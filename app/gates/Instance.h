// One running copy per user: the lock a start takes, and the hand-over of a
// file from a second start (a double click on a .mojian file) to the window
// of the copy that runs.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace mojian {

// True when no other copy holds the lock named after `name`; the lock is then
// held until the process ends.
bool TakeInstanceLock(const std::wstring& name);

// Lets later starts find `form`: called by the copy that holds the lock.
void PublishInstanceWindow(const std::wstring& name, HWND form);

// Sends `path` (UTF-8, made absolute here) to the running copy's window and
// lets it come to the front. False when there is no such window or it did
// not take the file.
bool HandFileToRunningInstance(const std::wstring& name, const std::string& path);

// The file a WM_COPYDATA of HandFileToRunningInstance carries; nothing for
// any other data.
std::optional<std::string> HandedOverFile(const COPYDATASTRUCT& data);

}  // namespace mojian

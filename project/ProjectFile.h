// The project file (.mojian): a page saved as UTF-8 JSON, for the user's own
// files and for the recovery file alike. Usable without a window and without
// the working folder.
//
//   {
//     "format": "mojian-page",
//     "version": 1,
//     "lines": ["栏目文字-炫黑", "自定义源码-1", "图片展示-样式3"],
//     "customSources": [{"number": 1, "text": "<p>墨笺</p>"}],
//     "editedBlocks": [{"entry": "图片展示-样式3", "text": "<img src=...>"}],
//     "myBlocks": [{"name": "售后承诺", "text": "<div>...</div>"}],
//     "choice": "图片展示-样式3",
//     "descriptionWidth": 790
//   }
//
// "lines" are entry names in order; a name this version does not know is
// kept as a line that adds nothing. "customSources" hold the text, as typed,
// of every custom source 1 to 100 the lines name. "editedBlocks" are built-in
// blocks changed through the code editor, by entry name; "myBlocks" the HTML
// of the seller's own blocks the lines name ("我的模块-售后承诺"), so that the
// page opens whole where they are not kept; "choice" is the
// entry name of the chosen block or "自定义源码". "descriptionWidth" is the
// column the page is made for, 750 (淘宝) or 790 (天猫); a file without it, or
// with a width this version does not know, is 750. Nothing depends on the
// machine. Reading ignores fields it does not know, so a later version's file
// opens as far as it can; a later version lists in "requires" the parts a
// reader must understand, and a reader that does not know one refuses.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "compose/PageData.h"

namespace mojian::project {

inline constexpr std::string_view kProjectExtension = ".mojian";
inline constexpr std::string_view kProjectFormat = "mojian-page";
inline constexpr int kProjectVersion = 1;
// No page of ours comes near this; a larger file is no project of ours, and
// a page that would need more is refused on saving rather than written.
inline constexpr std::size_t kMaxProjectBytes = 32u << 20;

enum class ProjectErrorKind {
    CannotRead,      // missing, locked, no permission
    CannotWrite,     // disk full, read-only folder; the earlier file is intact
    TooLarge,        // over kMaxProjectBytes
    PageTooLarge,    // saving: the page would need more than kMaxProjectBytes
    NotAProject,     // not JSON at all, or another program's JSON
    Truncated,       // ends before the JSON does (an interrupted copy)
    Corrupt,         // JSON syntax broken inside
    NewerVersion,    // requires parts this version does not know
    BadValue,        // a field of the wrong type, a number out of range, a key twice
    InvalidText,     // text that is not UTF-8, or holds a NUL character
    TooManyLines,    // more than 32,767 lines
    TooManySources,  // more than 100 custom sources
};

struct ProjectError {
    ProjectErrorKind kind = ProjectErrorKind::Corrupt;
    std::string detail;  // where and what, in Chinese; may be empty
};

// What the window shows: the kind's message, then the detail on a line of
// its own.
std::string ProjectErrorMessage(const ProjectError& error);
// The kind's message alone.
std::string_view ProjectErrorText(ProjectErrorKind kind);

struct ProjectRead {
    std::optional<PageData> page;  // the page read, or nothing and `error`
    ProjectError error;
    bool Ok() const { return page.has_value(); }
};

// Never trusts the bytes: any input gives a page or an error, and nothing
// the caller holds is touched either way.
ProjectRead ParseProject(std::string_view bytes);
ProjectRead LoadProjectFile(const std::string& path);

// The file's bytes for `page`: the lines, the texts of custom sources 1 to
// 100 the lines name, the edited blocks of the ninety, the choice. Nothing
// when the page could not be read back (more lines or sources than a reader
// takes, text that is not UTF-8 or holds NUL, too large); then `error` says why.
std::optional<std::string> SerializeProject(const PageData& page, ProjectError& error);

// Through the program's whole-file writer: a failed save leaves the earlier
// file as it was. Nothing on success.
std::optional<ProjectError> SaveProjectFile(const std::string& path, const PageData& page);

}  // namespace mojian::project

// The template library: the ninety built-in blocks as built in, and the
// lookup from an entry name back to its block. A page's changed blocks are
// the page model's (Composition::SetBlock).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mojian {

struct ResolvedEntry {
    enum class What { Nothing, BuiltIn, Custom, Mine };
    What what = What::Nothing;
    int kind = -1;    // BuiltIn: kind index 0..9
    int style = -1;   // BuiltIn: 0-based style index (theme position for kind 0)
    int custom = 0;   // Custom: the custom-source number 1..100

    bool IsBuiltIn() const { return what == What::BuiltIn; }
    bool IsCustom() const { return what == What::Custom; }
    bool IsMine() const { return what == What::Mine; }  // its name: MineNameOf
    bool IsNothing() const { return what == What::Nothing; }
    friend bool operator==(const ResolvedEntry&, const ResolvedEntry&) = default;
};

// Exact, whole-string, case- and width-sensitive; built-in names, custom
// sources 1 to 100 written without leading zeros, and the seller's own
// blocks by "我的模块-" and a name. Anything else is Nothing.
ResolvedEntry ResolveEntry(std::string_view entryName);

class TemplateLibrary {
public:
    TemplateLibrary();  // the built-in texts

    // The block's HTML; empty for a position that holds no block.
    const std::string& Get(int kind, int style) const;

private:
    std::vector<std::string> blocks_;  // kind-major, style-minor
};

// The ninety blocks as built in, never changed: what a new page starts from.
const TemplateLibrary& BuiltInLibrary();

// Where the custom-source file of an entry lives: program folder, Vexa,
// the entry name and ".txt".
std::string WorkingFolder();
std::string CustomSourcePath(std::string_view entryName);

// The custom source's file whole and unchanged (GBK decoded), as the working
// folder holds it. Nothing when the file is missing or cannot be read.
std::optional<std::string> ReadCustomSourceWhole(std::string_view entryName);

// Every line of decoded text (ended by CR or CR LF; a lone LF stays in the
// text) followed by CR LF: a custom source as the single-entry preview shows
// it (Composition::ReadCustomSource).
std::string NormaliseLines(std::string_view text);

}  // namespace mojian

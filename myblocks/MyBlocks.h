// 我的模块: blocks the seller filled in once and keeps for the next pages,
// one UTF-8 JSON file each in a folder of the user's own
// (%LOCALAPPDATA%\墨笺\我的模块). A file that cannot be read is listed as
// damaged and left alone; one written by a later version is listed, can be
// used and deleted, and is never rewritten.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mojian::myblocks {

inline constexpr int kFormatVersion = 1;
inline constexpr std::string_view kBlockFormat = "墨笺我的模块";
inline constexpr std::string_view kSetFormat = "墨笺我的模块集";

struct Block {
    std::string name;
    std::string saved;   // when it was saved: ISO 8601 with the local offset
    std::string source;  // the entry it came from, e.g. "栏目文字-健康" or "自定义源码-3"
    std::string html;    // byte for byte as given, CR LF included
};

enum class State { Usable, Damaged, Newer };

struct Entry {
    State state = State::Usable;
    std::string file;     // the file's name in the folder
    std::string name;     // for a damaged file, its file name without the extension
    std::string saved, source;
    std::size_t htmlBytes = 0;
    std::string problem;  // why a damaged file cannot be read, in Chinese
    bool ReadOnly() const { return state != State::Usable; }
};

// What lists of the seller's blocks show of an entry: when it was saved
// ("2026-05-01 14:03", a dash for a damaged file) and where it came from
// (with why a damaged file cannot be read, or that a later version's is
// read-only).
std::string ShownSaved(const Entry& entry);
std::string ShownSource(const Entry& entry);

// The folder of 我的模块 under the user's folder; empty when there is none.
std::string UserBlocksFolder();

// A file's text for `block`, and back. ParseBlock fills `problem` and gives
// nothing for a damaged file; `newer` tells a later version's file.
std::string BlockFileText(const Block& block);
std::optional<Block> ParseBlock(std::string_view text, std::string& problem, bool& newer);

// The current local time as "2026-05-01T14:03:00+08:00".
std::string NowIso();

// What Import does when a block of the set has the name of one already kept.
enum class Clash { KeepBoth, Replace, Skip };

struct ImportReport {
    std::string error;  // the set was refused and nothing was imported
    std::vector<std::string> added, replaced, skipped;
    // names given to blocks kept beside one of the same name: {set's name, new name}
    std::vector<std::pair<std::string, std::string>> renamed;
};

class MyBlocks {
public:
    explicit MyBlocks(std::string folder);

    const std::string& Folder() const { return folder_; }

    // Every file of the folder, sorted by name (UTF-8 byte order).
    std::vector<Entry> List() const;
    std::optional<Block> Get(std::string_view name) const;
    // The block of an entry List gave, from its file alone: nothing when the
    // file is damaged or holds another block by now.
    std::optional<Block> Read(const Entry& entry) const;
    // The block of an entry to add to a page; nothing, with `why` in
    // Chinese, when its file is damaged or the block went meanwhile.
    std::optional<Block> ReadToAdd(const Entry& entry, std::string& why) const;
    // What choosing an entry previews: its block's HTML, or a line saying
    // why a damaged file has none (nothing when the file went meanwhile).
    std::string PreviewHtml(const Entry& entry) const;
    // Every block that is not damaged (a later version's too), in List's
    // order, each file read once: what the import recognises.
    std::vector<Block> UsableBlocks() const;

    // The operations give an error in Chinese, empty when they were done.
    // Save keeps the name's spelling with its ends' spaces trimmed; a name in
    // use is refused unless `replace`.
    std::string Save(std::string_view name, std::string_view source, std::string_view html, bool replace = false);
    std::string Rename(std::string_view from, std::string_view to);
    std::string Delete(std::string_view name);
    // A damaged file, by its file name as List gives it; nothing else goes this way.
    std::string DeleteDamaged(std::string_view file);

    // One set file with the named blocks, in the order given.
    std::string Export(const std::vector<std::string>& names, const std::string& path) const;
    // `ask` decides for each block whose name is taken; `canReplace` is false
    // when the block kept is a later version's and cannot be replaced (the
    // answer Replace then keeps both). A set that cannot be read is refused
    // whole, and a write that fails undoes the ones before it.
    ImportReport Import(const std::string& path,
                        const std::function<Clash(const std::string& name, bool canReplace)>& ask);

    // Tests fix the clock.
    void SetClock(std::function<std::string()> now) { now_ = std::move(now); }

private:
    struct Found {
        Entry entry;
        std::string path;
    };
    std::optional<Found> Find(std::string_view name) const;
    std::string FreeFileName(std::string_view name) const;
    bool EnsureFolder() const;

    std::string folder_;
    std::function<std::string()> now_;
};

}  // namespace mojian::myblocks

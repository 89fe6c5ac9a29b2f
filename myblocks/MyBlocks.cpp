#include "myblocks/MyBlocks.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "base/File.h"
#include "base/UserFolder.h"
#include "base/Utf.h"
#include "myblocks/BlockScan.h"
#include "myblocks/Names.h"

namespace mojian::myblocks {

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// Ours are two levels deep; a block is a page's part, a set a thousand of them.
constexpr int kMaxDepth = 16;
constexpr std::size_t kMaxBlockFileBytes = 16u << 20;
constexpr std::size_t kMaxSetFileBytes = 256u << 20;
constexpr std::size_t kMaxHtmlBytes = 8u << 20;

struct Refusal {
    std::string why;
};

[[noreturn]] void Refuse(std::string why) { throw Refusal{std::move(why)}; }

std::string_view WithoutBom(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);  // a BOM some editors add
    return bytes;
}

Json ParseJson(std::string_view bytes) {
    bytes = WithoutBom(bytes);
    if (bytes.find_first_not_of(" \t\r\n") == std::string_view::npos) Refuse("文件是空的");
    const Json::parser_callback_t watch = [](int depth, Json::parse_event_t event, Json&) {
        if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
            depth >= kMaxDepth)
            Refuse("嵌套超过 " + std::to_string(kMaxDepth) + " 层");
        return true;
    };
    try {
        return Json::parse(bytes.begin(), bytes.end(), watch);
    } catch (const Json::parse_error& e) {
        if (e.byte > bytes.size()) Refuse("文件不完整，可能没有写完");
        Refuse("第 " + std::to_string(e.byte) + " 个字节处不合 JSON 的写法");
    }
}

const std::string* TextField(const Json& object, std::string_view key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? &it->get_ref<const std::string&>() : nullptr;
}

// What a block file, a set or one of its blocks has of ours, as either
// reader found it: nothing for a field missing or of another type.
struct Fields {
    bool object = false;
    const std::string *format = nullptr, *name = nullptr, *saved = nullptr, *source = nullptr, *html = nullptr;
    std::optional<long long> version;  // a whole number
};

Fields FieldsOf(const Json& json) {
    Fields f;
    if (!(f.object = json.is_object())) return f;
    f.format = TextField(json, "format");
    f.name = TextField(json, "name");
    f.saved = TextField(json, "saved");
    f.source = TextField(json, "source");
    f.html = TextField(json, "html");
    if (const auto version = json.find("version"); version != json.end() && version->is_number_integer())
        f.version = version->get<long long>();
    return f;
}

Fields FieldsOf(const ScannedBlock& scanned) {
    const auto at = [](const std::optional<std::string>& field) { return field ? &*field : nullptr; };
    return {true, at(scanned.format), at(scanned.name), at(scanned.saved), at(scanned.source), at(scanned.html),
            scanned.version};
}

// The format's name and version; true for a later version's.
bool CheckHeader(const Fields& root, std::string_view format) {
    if (!root.object) Refuse("不是墨笺的文件");
    if (!root.format || *root.format != format) Refuse("不是“" + std::string(format) + "”文件");
    if (!root.version || *root.version < 1) Refuse("版本号不对");
    return *root.version > kFormatVersion;
}

// One block of a file or a set. A later version's may lack what this one
// does not need to show and use it.
Block ReadBlock(const Fields& object, bool newer, const std::string& where) {
    if (!object.object) Refuse(where + "不是对象");
    const std::string* name = object.name;
    const std::string* html = object.html;
    if (!name) Refuse(where + "缺少名称（name）");
    if (!html) Refuse(where + "缺少代码（html）");
    Block block{*name, {}, {}, *html};
    if (const std::string fault = NameFault(*name); !fault.empty() || TidyName(*name) != *name)
        Refuse(where + "名称不能用：" + (fault.empty() ? "两端有空格" : fault));
    const std::string* saved = object.saved;
    const std::string* source = object.source;
    if (!newer && (!saved || !source)) Refuse(where + "缺少保存时间（saved）或来源（source）");
    if (saved) block.saved = *saved;
    if (source) block.source = *source;
    return block;
}

OrderedJson BlockJson(const Block& block) {
    return OrderedJson{{"name", block.name}, {"saved", block.saved}, {"source", block.source}, {"html", block.html}};
}

std::string HtmlFault(std::string_view html) {
    if (html.size() > kMaxHtmlBytes) return "模块代码太大了（超过 8 MB）。";
    if (FirstInvalidUtf8(html) != std::string_view::npos) return "模块代码不是有效的 UTF-8 文字。";
    return {};
}

bool HasExtension(std::string_view file) {
    return file.size() > kExtension.size() &&
           CaseFold(file.substr(file.size() - kExtension.size())) == CaseFold(kExtension);
}

std::optional<Block> ReadBlockFile(const std::string& path) {
    const std::optional<std::string> text = ReadWholeFile(path);
    std::string problem;
    bool newer = false;
    return text ? ParseBlock(*text, problem, newer) : std::nullopt;
}

// From the folder's listing: Windows gives names, sizes and times without
// opening a file.
using FolderFile = FolderItem;

// What the folder holds; with `blockFiles` only the files that may hold blocks.
std::vector<FolderFile> FolderNames(const std::string& folder, bool blockFiles) {
    std::vector<FolderFile> files = ListFolder(folder);
    if (blockFiles)
        std::erase_if(files, [](const FolderFile& f) { return !f.isFile || !HasExtension(f.name); });
    return files;
}

// ---- The list's cache ------------------------------------------------------------
// Every block file's entry with the size and time the folder's listing gave
// for it, kept beside the folder (in it, it would be listed). Opening a
// thousand files costs Wine about 180 ms; with the cache the list reads one.
// A file whose size or time differs is read again; every change the store
// makes drops the cache, so a file rewritten within one tick of the clock
// at the same size is never taken from it.

std::string CachePath(const std::string& folder) { return folder + ".cache.json"; }

struct Cached {
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    Entry entry;
};

std::map<std::string, Cached> ReadCache(const std::string& folder) {
    std::map<std::string, Cached> cache;
    const std::optional<std::string> text = ReadWholeFile(CachePath(folder));
    if (!text) return cache;
    const Json root = Json::parse(*text, nullptr, false);
    if (root.is_discarded() || !root.is_object() || root.value("version", 0) != 1) return cache;
    const auto files = root.find("files");
    if (files == root.end() || !files->is_array()) return cache;
    try {
        for (const Json& f : *files) {
            if (!f.is_array() || f.size() != 9) return {};
            Cached c;
            c.entry.file = f[0].get<std::string>();
            c.size = f[1].get<std::uint64_t>();
            c.modified = f[2].get<std::int64_t>();
            const int state = f[3].get<int>();
            if (state < 0 || state > static_cast<int>(State::Newer)) return {};
            c.entry.state = static_cast<State>(state);
            c.entry.name = f[4].get<std::string>();
            c.entry.saved = f[5].get<std::string>();
            c.entry.source = f[6].get<std::string>();
            c.entry.htmlBytes = f[7].get<std::size_t>();
            c.entry.problem = f[8].get<std::string>();
            cache.insert_or_assign(c.entry.file, std::move(c));
        }
    } catch (const Json::exception&) {
        return {};  // another version's or a damaged cache: read the files
    }
    return cache;
}

void WriteCache(const std::string& folder, const std::vector<FolderFile>& files, const std::vector<Entry>& entries) {
    Json list = Json::array();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const Entry& e = entries[i];
        list.push_back({e.file, files[i].size, files[i].modified, static_cast<int>(e.state), e.name, e.saved, e.source,
                        e.htmlBytes, e.problem});
    }
    const Json root{{"version", 1}, {"files", std::move(list)}};
    // A cache that cannot be written only makes the next list slower.
    WriteWholeFile(CachePath(folder), root.dump(-1, ' ', false, Json::error_handler_t::replace), Durability::Cached);
}

// Drops the cache when the operation it guards ends, whatever it did.
class CacheDropper {
public:
    explicit CacheDropper(const std::string& folder) : path_(CachePath(folder)) {}
    ~CacheDropper() { RemoveFile(path_); }
    CacheDropper(const CacheDropper&) = delete;
    CacheDropper& operator=(const CacheDropper&) = delete;

private:
    std::string path_;
};

// The file's entry; with `keep`, its block too when it can be used.
Entry ReadEntry(const std::string& folder, const FolderFile& listed, std::optional<Block>* keep = nullptr) {
    const std::string& file = listed.name;
    Entry entry;
    entry.file = file;
    std::optional<std::string> text;
    if (listed.size > kMaxBlockFileBytes) {
        entry.problem = "文件太大，不像是模块";
    } else if (!(text = ReadWholeFile(JoinPath(folder, file)))) {
        entry.problem = "文件读不出来";
    } else {
        bool newer = false;
        if (std::optional<Block> block = ParseBlock(*text, entry.problem, newer)) {
            entry.state = newer ? State::Newer : State::Usable;
            entry.name = block->name;
            entry.saved = block->saved;
            entry.source = block->source;
            entry.htmlBytes = block->html.size();
            if (keep) *keep = std::move(block);
            return entry;
        }
    }
    entry.state = State::Damaged;
    entry.name = file.substr(0, file.size() - kExtension.size());
    return entry;
}

// The list's order: by name (UTF-8 byte order), then by file.
bool ListedBefore(const Entry& a, const Entry& b) { return a.name != b.name ? a.name < b.name : a.file < b.file; }

// Days since 1970-01-01 of a civil date (Howard Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

long long SecondsOf(const std::tm& t) {
    return DaysFromCivil(t.tm_year + 1900LL, static_cast<unsigned>(t.tm_mon + 1), static_cast<unsigned>(t.tm_mday)) *
               86400 +
           t.tm_hour * 3600LL + t.tm_min * 60LL + t.tm_sec;
}

}  // namespace

std::string UserBlocksFolder() {
    const std::string user = UserDataFolder();
    return user.empty() ? std::string() : JoinPath(user, "我的模块");
}

std::string ShownSaved(const Entry& entry) {
    if (entry.state == State::Damaged) return "—";
    if (entry.saved.size() < 16) return entry.saved;
    std::string shown = entry.saved.substr(0, 16);
    shown[10] = ' ';
    return shown;
}

std::string ShownSource(const Entry& entry) {
    switch (entry.state) {
    case State::Damaged: return "文件已损坏：" + entry.problem;
    case State::Newer: return "较新版本的文件（只读）：" + entry.source;
    case State::Usable: break;
    }
    return entry.source;
}

std::string NowIso() {
    const std::time_t now = std::time(nullptr);
    std::tm local{}, utc{};
#ifdef _WIN32
    localtime_s(&local, &now);
    gmtime_s(&utc, &now);
#else
    localtime_r(&now, &local);
    gmtime_r(&now, &utc);
#endif
    const int offset = static_cast<int>((SecondsOf(local) - SecondsOf(utc)) / 60);
    const int size = offset < 0 ? -offset : offset;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                  size / 60 % 100, size % 60);
    return text;
}

std::string BlockFileText(const Block& block) {
    OrderedJson root{{"format", kBlockFormat}, {"version", kFormatVersion}};
    root.update(BlockJson(block));
    return root.dump(2) + "\n";
}

std::optional<Block> ParseBlock(std::string_view text, std::string& problem, bool& newer) {
    try {
        // The quick reading where it answers (a thousand files are listed
        // while the seller waits), the full parser where it does not.
        if (const std::optional<ScannedBlock> scanned = ScanBlockFile(WithoutBom(text))) {
            const Fields fields = FieldsOf(*scanned);
            newer = CheckHeader(fields, kBlockFormat);
            return ReadBlock(fields, newer, "");
        }
        const Json root = ParseJson(text);
        const Fields fields = FieldsOf(root);
        newer = CheckHeader(fields, kBlockFormat);
        return ReadBlock(fields, newer, "");
    } catch (const Refusal& refusal) {
        problem = refusal.why;
    }
    return std::nullopt;
}

MyBlocks::MyBlocks(std::string folder) : folder_(std::move(folder)), now_(NowIso) {}

bool MyBlocks::EnsureFolder() const { return !folder_.empty() && (FolderExists(folder_) || CreateFolder(folder_)); }

std::vector<Entry> MyBlocks::List() const {
    const std::vector<FolderFile> files = FolderNames(folder_, true);
    const std::map<std::string, Cached> cache = ReadCache(folder_);
    bool changed = cache.size() != files.size();
    std::vector<Entry> entries;
    entries.reserve(files.size());
    for (const FolderFile& file : files) {
        const auto it = cache.find(file.name);
        if (it != cache.end() && it->second.size == file.size && it->second.modified == file.modified) {
            entries.push_back(it->second.entry);
        } else {
            entries.push_back(ReadEntry(folder_, file));
            changed = true;
        }
    }
    if (changed && !files.empty()) WriteCache(folder_, files, entries);
    std::sort(entries.begin(), entries.end(), ListedBefore);
    return entries;
}

std::vector<Block> MyBlocks::UsableBlocks() const {
    struct Kept {
        Entry entry;
        Block block;
    };
    std::vector<Kept> kept;
    for (const FolderFile& file : FolderNames(folder_, true)) {
        std::optional<Block> block;
        Entry entry = ReadEntry(folder_, file, &block);
        if (block) kept.push_back({std::move(entry), std::move(*block)});
    }
    std::sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) { return ListedBefore(a.entry, b.entry); });
    std::vector<Block> blocks;
    blocks.reserve(kept.size());
    for (Kept& k : kept) blocks.push_back(std::move(k.block));
    return blocks;
}

std::optional<MyBlocks::Found> MyBlocks::Find(std::string_view name) const {
    const std::string wanted = CaseFold(TidyName(name));
    for (Entry& entry : List())
        if (entry.state != State::Damaged && CaseFold(entry.name) == wanted) {
            std::string path = JoinPath(folder_, entry.file);
            return Found{std::move(entry), std::move(path)};
        }
    return std::nullopt;
}

std::optional<Block> MyBlocks::Get(std::string_view name) const {
    const std::optional<Found> found = Find(name);
    return found ? ReadBlockFile(found->path) : std::nullopt;
}

std::optional<Block> MyBlocks::Read(const Entry& entry) const {
    std::optional<Block> block = ReadBlockFile(JoinPath(folder_, entry.file));
    if (block && block->name != entry.name) return std::nullopt;
    return block;
}

std::optional<Block> MyBlocks::ReadToAdd(const Entry& entry, std::string& why) const {
    if (entry.state == State::Damaged) {
        why = "“" + entry.name + "”的文件已损坏，无法添加：" + entry.problem;
        return std::nullopt;
    }
    std::optional<Block> block = Read(entry);
    if (!block) why = "“" + entry.name + "”已经不在“我的模块”文件夹里了。";
    return block;
}

std::string MyBlocks::PreviewHtml(const Entry& entry) const {
    if (entry.state != State::Damaged) {
        const std::optional<Block> block = Read(entry);
        return block ? block->html : std::string();
    }
    std::string why;
    for (const char c : entry.problem) {
        if (c == '<') why += "&lt;";
        else if (c == '&') why += "&amp;";
        else why += c;
    }
    return "<p style=\"color:#c00\">这个文件已损坏，无法预览：" + why + "</p>";
}

std::string MyBlocks::FreeFileName(std::string_view name) const {
    std::set<std::string> taken;
    // anything of that name, block or not, is in the way
    for (const FolderFile& file : FolderNames(folder_, false)) taken.insert(CaseFold(file.name));
    const std::string stem = FileStem(name);
    for (int n = 1;; ++n) {
        std::string file = NumberedFileName(stem, n);
        if (!taken.count(CaseFold(file))) return file;
    }
}

std::string MyBlocks::Save(std::string_view rawName, std::string_view source, std::string_view html, bool replace) {
    const CacheDropper changes(folder_);
    const std::string name = TidyName(rawName);
    if (std::string fault = NameFault(name); !fault.empty()) return fault;
    if (std::string fault = HtmlFault(html); !fault.empty()) return fault;
    if (FirstInvalidUtf8(source) != std::string_view::npos) return "模块的来源不是有效的文字。";
    if (!EnsureFolder()) return "无法建立“我的模块”文件夹：" + folder_;
    const Block block{name, now_(), std::string(source), std::string(html)};
    const std::string text = BlockFileText(block);
    if (const std::optional<Found> found = Find(name)) {
        if (!replace) return "已经有名为“" + found->entry.name + "”的模块了，请换个名称，或选择替换它。";
        if (found->entry.ReadOnly()) return "“" + found->entry.name + "”是较新版本的墨笺保存的，不能替换。";
        return WriteWholeFile(found->path, text) ? std::string() : "无法写入文件：" + found->path;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {  // another program may take the name meanwhile
        const std::string path = JoinPath(folder_, FreeFileName(name));
        bool exists = false;
        if (WriteNewFile(path, text, exists)) return {};
        if (!exists) return "无法写入文件：" + path;
    }
    return "无法写入文件：文件夹里的文件一直在变";
}

std::string MyBlocks::Rename(std::string_view rawFrom, std::string_view rawTo) {
    const CacheDropper changes(folder_);
    const std::string to = TidyName(rawTo);
    if (std::string fault = NameFault(to); !fault.empty()) return fault;
    const std::optional<Found> found = Find(rawFrom);
    if (!found) return "没有名为“" + TidyName(rawFrom) + "”的模块。";
    if (found->entry.ReadOnly()) return "“" + found->entry.name + "”是较新版本的墨笺保存的，不能改名。";
    if (to == found->entry.name) return {};
    const bool sameName = CaseFold(to) == CaseFold(found->entry.name);
    if (!sameName)
        if (const std::optional<Found> other = Find(to)) return "已经有名为“" + other->entry.name + "”的模块了。";
    std::optional<Block> block = Get(found->entry.name);
    if (!block) return "读不出“" + found->entry.name + "”的文件。";
    block->name = to;  // the date it was saved stays
    const std::string text = BlockFileText(*block);
    // Only the case changes: the file keeps its name (Windows takes both
    // spellings as one file).
    if (sameName || CaseFold(FileStem(to)) == CaseFold(FileStem(found->entry.name)))
        return WriteWholeFile(found->path, text) ? std::string() : "无法写入文件：" + found->path;
    const std::string path = JoinPath(folder_, FreeFileName(to));
    bool exists = false;
    if (!WriteNewFile(path, text, exists)) return "无法写入文件：" + path;
    if (!RemoveFile(found->path)) {
        RemoveFile(path);
        return "无法改名：旧文件删不掉：" + found->path;
    }
    return {};
}

std::string MyBlocks::Delete(std::string_view name) {
    const CacheDropper changes(folder_);
    const std::optional<Found> found = Find(name);
    if (!found) return "没有名为“" + TidyName(name) + "”的模块。";
    return RemoveFile(found->path) ? std::string() : "无法删除文件：" + found->path;
}

std::string MyBlocks::DeleteDamaged(std::string_view file) {
    const CacheDropper changes(folder_);
    for (const Entry& entry : List())
        if (entry.state == State::Damaged && entry.file == file) {
            const std::string path = JoinPath(folder_, entry.file);
            return RemoveFile(path) ? std::string() : "无法删除文件：" + path;
        }
    return "没有名为“" + std::string(file) + "”的损坏文件。";
}

std::string MyBlocks::Export(const std::vector<std::string>& names, const std::string& path) const {
    OrderedJson blocks = OrderedJson::array();
    std::set<std::string> done;
    for (const std::string& name : names) {
        std::optional<Block> block = Get(name);
        if (!block) return "没有名为“" + TidyName(name) + "”的模块，或它的文件已损坏。";
        if (!done.insert(CaseFold(block->name)).second) continue;
        blocks.push_back(BlockJson(*block));
    }
    const OrderedJson root{{"format", kSetFormat}, {"version", kFormatVersion}, {"blocks", std::move(blocks)}};
    return WriteWholeFile(path, root.dump(2) + "\n") ? std::string() : "无法写入文件：" + path;
}

ImportReport MyBlocks::Import(const std::string& path,
                              const std::function<Clash(const std::string& name, bool canReplace)>& ask) {
    const CacheDropper changes(folder_);
    ImportReport report;
    std::vector<Block> incoming;
    try {
        const std::optional<std::uint64_t> size = FileSize(path);
        if (size && *size > kMaxSetFileBytes) Refuse("文件太大");
        const std::optional<std::string> text = ReadWholeFile(path);
        if (!text) Refuse("文件读不出来");
        const Json root = ParseJson(*text);
        if (CheckHeader(FieldsOf(root), kSetFormat)) Refuse("它是较新版本的墨笺导出的，请先升级墨笺");
        const auto blocks = root.find("blocks");
        if (blocks == root.end() || !blocks->is_array()) Refuse("缺少模块列表（blocks）");
        std::set<std::string> names;
        for (std::size_t i = 0; i < blocks->size(); ++i) {
            const std::string where = "第 " + std::to_string(i + 1) + " 个模块";
            Block block = ReadBlock(FieldsOf((*blocks)[i]), false, where);
            if (const std::string fault = HtmlFault(block.html); !fault.empty()) Refuse(where + "：" + fault);
            if (!names.insert(CaseFold(block.name)).second) Refuse(where + "与前面的模块同名");
            incoming.push_back(std::move(block));
        }
    } catch (const Refusal& refusal) {
        report.error = "无法导入“" + path + "”：" + refusal.why + "。";
        return report;
    }
    if (!EnsureFolder()) {
        report.error = "无法建立“我的模块”文件夹：" + folder_;
        return report;
    }

    // Every question first, then the writes: a failed write undoes the
    // earlier ones, so the folder is as it was or has the whole set.
    std::vector<Entry> kept = List();
    std::set<std::string> taken;
    for (const Entry& entry : kept)
        if (entry.state != State::Damaged) taken.insert(CaseFold(entry.name));
    for (const Block& block : incoming) taken.insert(CaseFold(block.name));  // a new name must not meet a later one
    struct Step {
        Block block;
        std::string replacing;  // the path of the file it replaces
        std::optional<std::string> before;  // that file's bytes
    };
    std::vector<Step> steps;
    for (Block& block : incoming) {
        const auto same = std::find_if(kept.begin(), kept.end(), [&](const Entry& e) {
            return e.state != State::Damaged && CaseFold(e.name) == CaseFold(block.name);
        });
        if (same == kept.end()) {
            report.added.push_back(block.name);
            steps.push_back({std::move(block), {}, {}});
            continue;
        }
        const Clash answer = ask ? ask(block.name, !same->ReadOnly()) : Clash::Skip;
        if (answer == Clash::Skip) {
            report.skipped.push_back(block.name);
        } else if (answer == Clash::Replace && !same->ReadOnly()) {
            const std::string target = JoinPath(folder_, same->file);
            report.replaced.push_back(block.name);
            steps.push_back({std::move(block), target, ReadWholeFile(target)});
        } else {
            std::string name;
            for (int n = 2; name.empty() || taken.count(CaseFold(name)); ++n) {
                const std::string suffix = " (" + std::to_string(n) + ")";
                name = block.name + suffix;
                // a long name gives way to its number
                std::u32string chars;
                for (std::size_t pos = 0; pos < block.name.size();) chars += NextCodePoint(block.name, pos);
                if (chars.size() + suffix.size() > kMaxNameCharacters) {
                    chars.resize(kMaxNameCharacters - suffix.size());
                    name.clear();
                    for (const char32_t c : chars) AppendUtf8(name, c);
                    name = TidyName(name) + suffix;
                }
            }
            taken.insert(CaseFold(name));
            report.renamed.emplace_back(block.name, name);
            block.name = std::move(name);
            steps.push_back({std::move(block), {}, {}});
        }
    }

    std::vector<std::string> written;
    std::string failure;
    std::size_t done = 0;
    for (; done < steps.size() && failure.empty(); ++done) {
        const Step& step = steps[done];
        const std::string text = BlockFileText(step.block);
        if (!step.replacing.empty()) {
            if (!step.before) failure = "读不出要替换的文件：" + step.replacing;
            else if (!WriteWholeFile(step.replacing, text)) failure = "无法写入文件：" + step.replacing;
            continue;
        }
        const std::string target = JoinPath(folder_, FreeFileName(step.block.name));
        bool exists = false;
        if (WriteNewFile(target, text, exists)) written.push_back(target);
        else failure = "无法写入文件：" + target;
    }
    if (failure.empty()) return report;
    for (const std::string& file : written) RemoveFile(file);
    for (std::size_t i = 0; i + 1 < done; ++i)
        if (!steps[i].replacing.empty() && steps[i].before) WriteWholeFile(steps[i].replacing, *steps[i].before);
    ImportReport failed;
    failed.error = "导入没有完成，已恢复原样：" + failure;
    return failed;
}

}  // namespace mojian::myblocks

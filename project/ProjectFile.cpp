#include "project/ProjectFile.h"

#include <array>
#include <cstdint>
#include <set>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/File.h"
#include "base/Utf.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/PageLines.h"

namespace mojian::project {

namespace {

using Json = nlohmann::json;

// The parts of a page this version reads; a later file's "requires" may name
// only these.
constexpr std::array<std::string_view, 4> kKnownParts = {"lines", "customSources", "editedBlocks", "choice"};

// JSON this deep is no page of ours (ours is three levels deep).
constexpr int kMaxDepth = 32;
// More edited blocks than a later version could have built in.
constexpr std::size_t kMaxEditedBlocks = 1000;

// Thrown inside the reader to stop at the first thing wrong.
struct Refusal {
    ProjectError error;
};

[[noreturn]] void Refuse(ProjectErrorKind kind, std::string detail = {}) { throw Refusal{{kind, std::move(detail)}}; }

std::string Item(std::string_view field, std::size_t index) {
    return std::string(field) + " 第 " + std::to_string(index + 1) + " 项";
}

// Where a text is not fit for a page: not UTF-8, or a NUL the edit box and
// the files cannot hold. Empty when it is fine.
std::string TextFault(std::string_view text) {
    if (const std::size_t bad = FirstInvalidUtf8(text); bad != std::string_view::npos)
        return "第 " + std::to_string(bad + 1) + " 个字节不是 UTF-8 文字";
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos)
        return "第 " + std::to_string(nul + 1) + " 个字节是空字符";
    return {};
}

const std::string& Text(const Json& value, const std::string& where) {
    if (!value.is_string()) Refuse(ProjectErrorKind::BadValue, where + "应当是文字");
    const std::string& text = value.get_ref<const std::string&>();
    if (const std::string fault = TextFault(text); !fault.empty())
        Refuse(ProjectErrorKind::InvalidText, where + "：" + fault);
    return text;
}

const Json* Field(const Json& object, std::string_view key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

const Json& Array(const Json& value, std::string_view where) {
    if (!value.is_array()) Refuse(ProjectErrorKind::BadValue, std::string(where) + " 应当是数组");
    return value;
}

// The two members an item of a list must have.
std::pair<const Json&, const Json&> Members(const Json& item, const std::string& where, std::string_view first,
                                            std::string_view second) {
    if (!item.is_object()) Refuse(ProjectErrorKind::BadValue, where + "应当是对象");
    const Json* a = Field(item, first);
    const Json* b = Field(item, second);
    if (!a || !b)
        Refuse(ProjectErrorKind::BadValue, where + "缺少 " + std::string(first) + " 或 " + std::string(second));
    return {*a, *b};
}

// A whole number within [low, high], whichever way the file wrote it.
std::int64_t Integer(const Json& value, std::int64_t low, std::int64_t high, const std::string& where) {
    const std::string range = "应当是 " + std::to_string(low) + " 到 " + std::to_string(high) + " 的整数";
    if (value.is_number_unsigned()) {
        const auto n = value.get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(high) || static_cast<std::int64_t>(n) < low)
            Refuse(ProjectErrorKind::BadValue, where + range);
        return static_cast<std::int64_t>(n);
    }
    if (value.is_number_integer()) {
        const auto n = value.get<std::int64_t>();
        if (n < low || n > high) Refuse(ProjectErrorKind::BadValue, where + range);
        return n;
    }
    Refuse(ProjectErrorKind::BadValue, where + range);
}

// Parses with a watch on what the DOM would hide: keys written twice (the
// last would win silently) and nesting deep enough to be no page.
Json ParseJson(std::string_view bytes) {
    std::vector<std::set<std::string>> keys;
    const Json::parser_callback_t watch = [&keys](int depth, Json::parse_event_t event, Json& parsed) {
        switch (event) {
        case Json::parse_event_t::object_start:
            keys.emplace_back();
            [[fallthrough]];
        case Json::parse_event_t::array_start:
            if (depth >= kMaxDepth)
                Refuse(ProjectErrorKind::NotAProject, "嵌套超过 " + std::to_string(kMaxDepth) + " 层");
            break;
        case Json::parse_event_t::object_end:
            if (!keys.empty()) keys.pop_back();
            break;
        case Json::parse_event_t::key:
            if (!keys.empty() && !keys.back().insert(parsed.get<std::string>()).second)
                Refuse(ProjectErrorKind::BadValue, "“" + parsed.get<std::string>() + "”在同一处出现了两次");
            break;
        default:
            break;
        }
        return true;
    };
    try {
        return Json::parse(bytes.begin(), bytes.end(), watch);
    } catch (const Json::parse_error& e) {
        if (e.byte > bytes.size()) Refuse(ProjectErrorKind::Truncated);
        Refuse(ProjectErrorKind::Corrupt, "第 " + std::to_string(e.byte) + " 个字节处不合 JSON 的写法");
    }
}

PageData ReadPage(std::string_view bytes) {
    if (bytes.size() > kMaxProjectBytes) Refuse(ProjectErrorKind::TooLarge);
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);  // a BOM some editors add
    const std::size_t start = bytes.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) Refuse(ProjectErrorKind::Truncated, "文件是空的");
    if (bytes[start] != '{') Refuse(ProjectErrorKind::NotAProject);
    if (const std::size_t bad = FirstInvalidUtf8(bytes); bad != std::string_view::npos)
        Refuse(ProjectErrorKind::InvalidText, "第 " + std::to_string(bad + 1) + " 个字节不是 UTF-8 文字");

    const Json root = ParseJson(bytes);
    const Json* format = Field(root, "format");
    if (!format || !format->is_string() || format->get_ref<const std::string&>() != kProjectFormat)
        Refuse(ProjectErrorKind::NotAProject);
    const Json* version = Field(root, "version");
    if (!version) Refuse(ProjectErrorKind::BadValue, "缺少 version");
    Integer(*version, 1, INT32_MAX, "version ");
    if (const Json* required = Field(root, "requires")) {
        std::string unknown;
        for (std::size_t i = 0; i < Array(*required, "requires").size(); ++i) {
            const std::string& part = Text((*required)[i], Item("requires", i));
            bool known = false;
            for (const std::string_view k : kKnownParts) known = known || part == k;
            if (!known) unknown += (unknown.empty() ? "" : "、") + part;
        }
        if (!unknown.empty()) Refuse(ProjectErrorKind::NewerVersion, "本版本不认识：" + unknown);
    }

    PageData page;
    const Json* lines = Field(root, "lines");
    if (!lines) Refuse(ProjectErrorKind::BadValue, "缺少 lines");
    if (Array(*lines, "lines").size() > static_cast<std::size_t>(kMaxPageLines))
        Refuse(ProjectErrorKind::TooManyLines, "共 " + std::to_string(lines->size()) + " 行");
    page.lines.reserve(lines->size());
    for (std::size_t i = 0; i < lines->size(); ++i) page.lines.push_back(Text((*lines)[i], Item("lines", i)));

    if (const Json* sources = Field(root, "customSources")) {
        if (Array(*sources, "customSources").size() > static_cast<std::size_t>(kMaxCustomSource))
            Refuse(ProjectErrorKind::TooManySources, "共 " + std::to_string(sources->size()) + " 个");
        for (std::size_t i = 0; i < sources->size(); ++i) {
            const std::string where = Item("customSources", i);
            const auto [number, text] = Members((*sources)[i], where, "number", "text");
            const auto n = static_cast<int>(Integer(number, 1, kMaxCustomSource, where + "的 number "));
            if (!page.customSources.emplace(n, Text(text, where + "的 text ")).second)
                Refuse(ProjectErrorKind::BadValue, "自定义源码 " + std::to_string(n) + " 出现了两次");
        }
    }

    if (const Json* blocks = Field(root, "editedBlocks")) {
        if (Array(*blocks, "editedBlocks").size() > kMaxEditedBlocks)
            Refuse(ProjectErrorKind::BadValue, "editedBlocks 多得不合理");
        for (std::size_t i = 0; i < blocks->size(); ++i) {
            const std::string where = Item("editedBlocks", i);
            const auto [entry, text] = Members((*blocks)[i], where, "entry", "text");
            const std::string& name = Text(entry, where + "的 entry ");
            const std::string& html = Text(text, where + "的 text ");
            const ResolvedEntry resolved = ResolveEntry(name);
            if (!resolved.IsBuiltIn()) continue;  // a block a later version has
            if (!page.editedBlocks.emplace(BlockId{resolved.kind, resolved.style}, html).second)
                Refuse(ProjectErrorKind::BadValue, "模块 " + name + " 出现了两次");
        }
    }

    if (const Json* mine = Field(root, "myBlocks")) {
        if (Array(*mine, "myBlocks").size() > static_cast<std::size_t>(kMaxPageLines))
            Refuse(ProjectErrorKind::BadValue, "myBlocks 多得不合理");
        for (std::size_t i = 0; i < mine->size(); ++i) {
            const std::string where = Item("myBlocks", i);
            const auto [name, text] = Members((*mine)[i], where, "name", "text");
            const std::string& key = Text(name, where + "的 name ");
            if (key.empty()) Refuse(ProjectErrorKind::BadValue, where + "的 name 是空的");
            if (!page.myBlocks.emplace(key, Text(text, where + "的 text ")).second)
                Refuse(ProjectErrorKind::BadValue, "我的模块 " + key + " 出现了两次");
        }
    }

    if (const Json* choice = Field(root, "choice")) {
        if (const auto c = ChoiceFromName(Text(*choice, "choice "))) page.choice = *c;
    }
    // A width this version does not know (a later version's column) leaves
    // the page at 750, as a file without one.
    if (const Json* width = Field(root, "descriptionWidth")) {
        if (const auto w = DescriptionWidthFromPixels(Integer(*width, 1, 100000, "descriptionWidth "))) page.width = *w;
    }
    return page;
}

}  // namespace

std::string_view ProjectErrorText(ProjectErrorKind kind) {
    switch (kind) {
    case ProjectErrorKind::CannotRead:
        return "无法读取这个文件：文件不存在、正被其他程序占用，或没有读取的权限。";
    case ProjectErrorKind::CannotWrite:
        return "排版没有保存：文件无法写入（磁盘已满、文件夹只读或没有写入的权限）。原来的文件没有改动。";
    case ProjectErrorKind::TooLarge:
        return "这个文件超过 32 MB，不是墨笺的排版文件。";
    case ProjectErrorKind::PageTooLarge:
        return "排版的内容超过 32 MB，无法保存。请删去一些过大的自定义源码后再保存。";
    case ProjectErrorKind::NotAProject:
        return "这个文件不是墨笺的排版文件（.mojian）。";
    case ProjectErrorKind::Truncated:
        return "这个排版文件不完整，可能在保存或复制时被中断了。";
    case ProjectErrorKind::Corrupt:
        return "这个排版文件已经损坏，无法读取。";
    case ProjectErrorKind::NewerVersion:
        return "这个排版文件是用更新版本的墨笺保存的，含有本版本不认识的内容。请升级墨笺后再打开。";
    case ProjectErrorKind::BadValue:
        return "这个排版文件的内容有误，无法打开。";
    case ProjectErrorKind::InvalidText:
        return "这个排版文件里有无效的文字（不是 UTF-8 编码，或含有空字符），无法打开。";
    case ProjectErrorKind::TooManyLines:
        return "这个排版文件的排版列表超过 32767 行，无法打开。";
    case ProjectErrorKind::TooManySources:
        return "这个排版文件的自定义源码超过 100 个，无法打开。";
    }
    return "这个排版文件无法打开。";
}

std::string ProjectErrorMessage(const ProjectError& error) {
    std::string message(ProjectErrorText(error.kind));
    if (!error.detail.empty()) message += "\r\n（" + error.detail + "）";
    return message;
}

ProjectRead ParseProject(std::string_view bytes) {
    ProjectRead read;
    try {
        read.page = ReadPage(bytes);
    } catch (const Refusal& refusal) {
        read.error = refusal.error;
    } catch (const Json::exception& e) {
        // Every access above is checked first; this is only a safety net.
        read.error = {ProjectErrorKind::Corrupt, {}};
    } catch (const std::bad_alloc&) {
        read.error = {ProjectErrorKind::TooLarge, {}};
    }
    return read;
}

ProjectRead LoadProjectFile(const std::string& path) {
    const auto size = FileSize(path);
    if (size && *size > kMaxProjectBytes) return {std::nullopt, {ProjectErrorKind::TooLarge, {}}};
    const auto bytes = ReadWholeFile(path);
    if (!bytes) return {std::nullopt, {ProjectErrorKind::CannotRead, {}}};
    return ParseProject(*bytes);
}

std::optional<std::string> SerializeProject(const PageData& page, ProjectError& error) {
    const auto refuse = [&error](ProjectErrorKind kind, std::string detail = {}) -> std::optional<std::string> {
        error = {kind, std::move(detail)};
        return std::nullopt;
    };
    if (page.lines.size() > static_cast<std::size_t>(kMaxPageLines)) return refuse(ProjectErrorKind::TooManyLines);
    nlohmann::ordered_json root;
    root["format"] = kProjectFormat;
    root["version"] = kProjectVersion;

    auto lines = nlohmann::ordered_json::array();
    std::set<int> named;
    std::set<std::string_view> namedMine;
    for (std::size_t i = 0; i < page.lines.size(); ++i) {
        const std::string& line = page.lines[i];
        if (const std::string fault = TextFault(line); !fault.empty())
            return refuse(ProjectErrorKind::InvalidText, Item("lines", i) + "：" + fault);
        lines.push_back(line);
        if (const ResolvedEntry entry = ResolveEntry(line); entry.IsCustom()) named.insert(entry.custom);
        else if (entry.IsMine()) namedMine.insert(MineNameOf(line));
    }
    root["lines"] = std::move(lines);

    auto sources = nlohmann::ordered_json::array();
    for (const auto& [number, text] : page.customSources) {
        if (!named.count(number)) continue;
        if (const std::string fault = TextFault(text); !fault.empty())
            return refuse(ProjectErrorKind::InvalidText, "自定义源码-" + std::to_string(number) + "：" + fault);
        sources.push_back({{"number", number}, {"text", text}});
    }
    root["customSources"] = std::move(sources);

    auto blocks = nlohmann::ordered_json::array();
    for (const auto& [id, text] : page.editedBlocks) {
        if (!IsValidBlock(id.kind, id.style)) continue;
        const std::string entry = EntryName(id.kind, id.style);
        if (const std::string fault = TextFault(text); !fault.empty())
            return refuse(ProjectErrorKind::InvalidText, entry + "：" + fault);
        blocks.push_back({{"entry", entry}, {"text", text}});
    }
    root["editedBlocks"] = std::move(blocks);

    auto mine = nlohmann::ordered_json::array();
    for (const auto& [name, text] : page.myBlocks) {
        if (!namedMine.count(name)) continue;
        if (const std::string fault = TextFault(text); !fault.empty())
            return refuse(ProjectErrorKind::InvalidText, std::string(kMineEntryPrefix) + name + "：" + fault);
        mine.push_back({{"name", name}, {"text", text}});
    }
    // Only pages that use them carry the field: others stay as before.
    if (!mine.empty()) root["myBlocks"] = std::move(mine);
    const bool validChoice = page.choice.custom || IsValidBlock(page.choice.kind, page.choice.style);
    root["choice"] = ChoiceName(validChoice ? page.choice : kStartChoice);
    // Readers before it ignore the field and take the page as 750 wide.
    root["descriptionWidth"] = WidthPixels(DescriptionWidthFromPixels(WidthPixels(page.width)).value_or(kDefaultDescriptionWidth));

    std::string bytes = root.dump(2);
    bytes += '\n';
    if (bytes.size() > kMaxProjectBytes) return refuse(ProjectErrorKind::PageTooLarge);
    return bytes;
}

std::optional<ProjectError> SaveProjectFile(const std::string& path, const PageData& page) {
    ProjectError error;
    const auto bytes = SerializeProject(page, error);
    if (!bytes) return error;
    if (!WriteWholeFile(path, *bytes)) return ProjectError{ProjectErrorKind::CannotWrite, {}};
    return std::nullopt;
}

}  // namespace mojian::project

#include "check/Rules.h"

#include <algorithm>
#include <cmath>
#include <set>

#include <nlohmann/json.hpp>

#include "base/File.h"
#include "check/Text.h"

namespace mojian {
extern const char kRulesJson[];
extern const std::size_t kRulesJsonSize;
}  // namespace mojian

namespace mojian::check {

namespace {

using Json = nlohmann::json;

struct KindName {
    const char* name;
    RuleKind kind;
};
constexpr KindName kKinds[] = {
    {"page-max-characters", RuleKind::PageMaxCharacters},
    {"page-min-characters", RuleKind::PageMinCharacters},
    {"empty-line", RuleKind::EmptyLine},
    {"elements", RuleKind::Elements},
    {"attribute-prefix", RuleKind::AttributePrefix},
    {"script-address", RuleKind::ScriptAddress},
    {"drawn-width", RuleKind::DrawnWidth},
    {"picture-width", RuleKind::PictureWidth},
    {"unloadable-picture", RuleKind::UnloadablePicture},
    {"css-properties", RuleKind::CssProperties},
    {"attributes", RuleKind::Attributes},
    {"class-prefix", RuleKind::ClassPrefix},
    {"picture-host", RuleKind::PictureHost},
    {"placeholder-text", RuleKind::PlaceholderText},
    {"placeholder-picture", RuleKind::PlaceholderPicture},
};

// A problem in the rule file, told as where it is and what is wrong.
struct Bad {
    std::string message;
};

std::string Where(std::size_t index, const std::string& id) {
    std::string w = "第 " + std::to_string(index + 1) + " 条规则";
    if (!id.empty()) w += "（" + id + "）";
    return w;
}

std::string Text(const Json& o, const char* key, const std::string& where) {
    const auto it = o.find(key);
    if (it == o.end() || !it->is_string() || it->get_ref<const std::string&>().empty())
        throw Bad{where + "缺少文字“" + key + "”"};
    return it->get<std::string>();
}

std::vector<std::string> Names(const Json& match, const char* key, const std::string& where, bool lower) {
    const auto it = match.find(key);
    if (it == match.end() || !it->is_array() || it->empty())
        throw Bad{where + "的 match 缺少非空的列表“" + key + "”"};
    std::vector<std::string> out;
    for (const Json& v : *it) {
        if (!v.is_string() || v.get_ref<const std::string&>().empty())
            throw Bad{where + "的 match 列表“" + key + "”里只能是非空的文字"};
        out.push_back(lower ? AsciiLowered(v.get_ref<const std::string&>()) : v.get<std::string>());
    }
    return out;
}

double Number(const Json& match, const char* key, const std::string& where) {
    const auto it = match.find(key);
    if (it == match.end() || !it->is_number() || it->get<double>() < 0 || it->get<double>() > 1e9)
        throw Bad{where + "的 match 缺少数值“" + key + "”（不小于 0）"};
    return it->get<double>();
}

bool IsDate(const std::string& s) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
    for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

Rule ParseRule(const Json& o, std::size_t index) {
    if (!o.is_object()) throw Bad{Where(index, "") + "不是一个对象"};
    Rule r;
    r.id = Text(o, "id", Where(index, ""));
    const std::string where = Where(index, r.id);
    const std::string severity = Text(o, "severity", where);
    if (severity == "error") r.severity = Severity::Error;
    else if (severity == "warning") r.severity = Severity::Warning;
    else throw Bad{where + "的 severity 只能是 error 或 warning"};
    r.title = Text(o, "title", where);
    r.explanation = Text(o, "explanation", where);
    r.source = Text(o, "source", where);
    r.checked = Text(o, "checked", where);
    if (!IsDate(r.checked)) throw Bad{where + "的 checked 应是 YYYY-MM-DD 形式的日期"};

    const auto m = o.find("match");
    if (m == o.end() || !m->is_object()) throw Bad{where + "缺少 match"};
    const std::string kind = Text(*m, "kind", where + "的 match ");
    const auto k = std::find_if(std::begin(kKinds), std::end(kKinds), [&](const KindName& n) { return kind == n.name; });
    if (k == std::end(kKinds)) throw Bad{where + "的 match 类型“" + kind + "”不认识"};
    r.kind = k->kind;
    switch (r.kind) {
    case RuleKind::PageMaxCharacters:
    case RuleKind::PageMinCharacters: r.number = Number(*m, "limit", where); break;
    case RuleKind::DrawnWidth:
    case RuleKind::PictureWidth:
        r.number = Number(*m, "width", where);
        if (r.number < 1) throw Bad{where + "的宽度至少是 1 像素"};
        break;
    case RuleKind::Elements: r.names = Names(*m, "elements", where, true); break;
    case RuleKind::Attributes: r.names = Names(*m, "attributes", where, true); break;
    case RuleKind::AttributePrefix:
        r.prefix = AsciiLowered(Text(*m, "prefix", where + "的 match "));
        break;
    case RuleKind::ScriptAddress: {
        r.names = Names(*m, "schemes", where, true);
        r.more = Names(*m, "attributes", where, true);
        const auto css = m->find("css");
        r.css = css != m->end() && css->is_boolean() && css->get<bool>();
        break;
    }
    case RuleKind::CssProperties:
        r.names = Names(*m, "properties", where, true);
        if (m->contains("harmlessValues")) r.more = Names(*m, "harmlessValues", where, true);
        break;
    case RuleKind::ClassPrefix: r.names = Names(*m, "prefixes", where, false); break;
    case RuleKind::PictureHost: r.names = Names(*m, "hosts", where, true); break;
    case RuleKind::PlaceholderText: r.names = Names(*m, "markers", where, false); break;
    case RuleKind::PlaceholderPicture: r.number = Number(*m, "iconPixels", where); break;
    case RuleKind::EmptyLine:
    case RuleKind::UnloadablePicture: break;
    }
    return r;
}

// Every `from` in `text` that stands as a number of its own (no digit just
// before or after) becomes `to`.
std::string ReplaceNumber(const std::string& text, const std::string& from, const std::string& to) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::string out;
    std::size_t at = 0;
    for (std::size_t found; (found = text.find(from, at)) != std::string::npos; at = found + from.size()) {
        out.append(text, at, found - at);
        const bool alone = (found == 0 || !digit(text[found - 1])) &&
                           (found + from.size() == text.size() || !digit(text[found + from.size()]));
        out += alone ? to : from;
    }
    out.append(text, at);
    return out;
}

std::string WholePixels(double px) {
    const double rounded = std::round(px);
    return rounded == px ? std::to_string(static_cast<long long>(rounded)) : std::to_string(px);
}

}  // namespace

const RuleSet& RuleSet::BuiltIn(DescriptionWidth width) {
    if (width == kDefaultDescriptionWidth) return BuiltIn();
    static const RuleSet tmall = BuiltIn().AtWidth(DescriptionWidth::Tmall);
    return tmall;
}

RuleSet RuleSet::AtWidth(DescriptionWidth width) const {
    const double shift = WidthPixels(width) - WidthPixels(kDefaultDescriptionWidth);
    RuleSet set = *this;
    if (shift == 0) return set;
    for (Rule& r : set.rules_) {
        if (r.kind != RuleKind::DrawnWidth && r.kind != RuleKind::PictureWidth) continue;
        const std::string before = WholePixels(r.number);
        r.number = std::max(1.0, r.number + shift);
        const std::string after = WholePixels(r.number);
        r.title = ReplaceNumber(r.title, before, after);
        r.explanation = ReplaceNumber(r.explanation, before, after);
    }
    return set;
}

const RuleSet& RuleSet::BuiltIn() {
    static const RuleSet rules = [] {
        std::string error;
        auto parsed = FromJson(std::string_view(kRulesJson, kRulesJsonSize), &error);
        // The build checks the compiled-in file (the rules' tests); an empty
        // set is what a broken one would leave.
        return parsed ? std::move(*parsed) : RuleSet{};
    }();
    return rules;
}

std::optional<RuleSet> RuleSet::FromJson(std::string_view json, std::string* error) {
    try {
        const Json root = Json::parse(json.begin(), json.end());
        if (!root.is_object() || root.value("format", std::string()) != "mojian-check-rules")
            throw Bad{"这不是墨笺的检查规则文件（format 应为 mojian-check-rules）"};
        if (!root.contains("version") || !root["version"].is_number_integer() || root["version"].get<int>() != 1)
            throw Bad{"规则文件的版本不是 1，这个版本的墨笺读不了"};
        const auto rules = root.find("rules");
        if (rules == root.end() || !rules->is_array()) throw Bad{"规则文件缺少规则列表 rules"};
        RuleSet set;
        std::set<std::string> ids;
        for (std::size_t i = 0; i < rules->size(); ++i) {
            Rule r = ParseRule((*rules)[i], i);
            if (!ids.insert(r.id).second) throw Bad{Where(i, r.id) + "的 id 与前面的规则重复"};
            set.rules_.push_back(std::move(r));
        }
        return set;
    } catch (const Bad& bad) {
        if (error) *error = bad.message;
    } catch (const Json::exception& e) {
        if (error) *error = std::string("规则文件不是有效的 JSON：") + e.what();
    }
    return std::nullopt;
}

std::optional<RuleSet> RuleSet::FromFile(const std::string& path, std::string* error) {
    const auto bytes = ReadWholeFile(path);
    if (!bytes) {
        if (error) *error = "读不到规则文件：" + path;
        return std::nullopt;
    }
    return FromJson(*bytes, error);
}

const Rule* RuleSet::Find(std::string_view id) const {
    const auto it = std::find_if(rules_.begin(), rules_.end(), [&](const Rule& r) { return r.id == id; });
    return it == rules_.end() ? nullptr : &*it;
}

std::size_t RuleSet::PageCharacterLimit() const {
    for (const Rule& r : rules_)
        if (r.kind == RuleKind::PageMaxCharacters) return static_cast<std::size_t>(r.number);
    return 0;
}

std::string_view SeverityName(Severity s) { return s == Severity::Error ? "error" : "warning"; }

}  // namespace mojian::check

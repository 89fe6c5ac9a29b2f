#include "mobile/Rules.h"

#include <algorithm>
#include <cctype>

#include <nlohmann/json.hpp>

namespace mojian {
extern const char kMobileRulesJson[];
extern const std::size_t kMobileRulesJsonSize;
}  // namespace mojian

namespace mojian::mobile {

namespace {

using Json = nlohmann::json;

struct Bad {
    std::string message;
};

// A whole number in [low, high] for `key`, or the default when absent.
template <typename T>
void ReadNumber(const Json& value, const char* key, T low, T high, T& out) {
    if (!value.is_number_integer()) throw Bad{std::string("“") + key + "”不是整数"};
    const auto n = value.get<std::int64_t>();
    if (n < static_cast<std::int64_t>(low) || n > static_cast<std::int64_t>(high))
        throw Bad{std::string("“") + key + "”的值 " + std::to_string(n) + " 不在合理范围内"};
    out = static_cast<T>(n);
}

void Parse(const Json& root, MobileRules& r) {
    if (!root.is_object() || root.value("format", std::string()) != "mojian-mobile-rules")
        throw Bad{"不是墨笺的手机详情规则文件"};
    if (root.value("version", 0) != 1) throw Bad{"规则文件的版本不认识"};
    const auto rules = root.find("rules");
    if (rules == root.end() || !rules->is_object()) throw Bad{"规则文件缺少“rules”"};
    for (const auto& [id, rule] : rules->items()) {
        if (!rule.is_object() || !rule.contains("value")) throw Bad{"“" + id + "”缺少“value”"};
        const Json& v = rule["value"];
        if (id == "minWidth") ReadNumber(v, "minWidth", 1, 100000, r.minWidth);
        else if (id == "maxWidth") ReadNumber(v, "maxWidth", 1, 100000, r.maxWidth);
        else if (id == "recommendedWidth") ReadNumber(v, "recommendedWidth", 1, 100000, r.recommendedWidth);
        else if (id == "maxHeight") ReadNumber(v, "maxHeight", 16, 100000, r.maxHeight);
        else if (id == "maxBytes") ReadNumber<std::uint64_t>(v, "maxBytes", 1024, 1ull << 40, r.maxBytes);
        else if (id == "formats") {
            if (!v.is_array() || v.empty()) throw Bad{"“formats”应是格式名的列表"};
            r.formats.clear();
            for (const Json& f : v) {
                if (!f.is_string()) throw Bad{"“formats”应是格式名的列表"};
                std::string name = f.get<std::string>();
                std::transform(name.begin(), name.end(), name.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
                r.formats.push_back(name);
            }
        } else if (id == "hotAreas") {
            if (!v.is_string()) throw Bad{"“hotAreas”应是文字"};
            r.hotAreas = v.get<std::string>();
        } else if (id == "earlier") {
            if (!v.is_object()) throw Bad{"“earlier”应是一组数字"};
            if (v.contains("minWidth")) ReadNumber(v["minWidth"], "earlier.minWidth", 1, 100000, r.earlier.minWidth);
            if (v.contains("maxWidth")) ReadNumber(v["maxWidth"], "earlier.maxWidth", 1, 100000, r.earlier.maxWidth);
            if (v.contains("maxHeight")) ReadNumber(v["maxHeight"], "earlier.maxHeight", 1, 100000, r.earlier.maxHeight);
        }
        // Figures a later version adds are left to it.
        r.sources.push_back({id, rule.value("source", std::string()), rule.value("checked", std::string())});
    }
    if (r.minWidth > r.maxWidth) throw Bad{"最小宽度大于最大宽度"};
    if (r.recommendedWidth < r.minWidth || r.recommendedWidth > r.maxWidth) throw Bad{"建议宽度不在允许的宽度之间"};
}

}  // namespace

std::optional<MobileRules> MobileRules::FromJson(std::string_view json, std::string* error) {
    MobileRules r;
    try {
        Parse(Json::parse(json), r);
    } catch (const Bad& bad) {
        if (error) *error = "手机详情规则有误：" + bad.message;
        return std::nullopt;
    } catch (const Json::exception&) {
        if (error) *error = "手机详情规则有误：不是有效的 JSON";
        return std::nullopt;
    }
    return r;
}

const MobileRules& MobileRules::BuiltIn() {
    static const MobileRules rules = [] {
        auto r = FromJson(std::string_view(kMobileRulesJson, kMobileRulesJsonSize));
        // The file is ours and tested; should it ever fail, the defaults are the same figures.
        return r ? *r : MobileRules{};
    }();
    return rules;
}

bool MobileRules::Allows(std::string_view format) const {
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

}  // namespace mojian::mobile

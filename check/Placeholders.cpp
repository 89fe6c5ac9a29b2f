#include "check/Placeholders.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "base/Utf.h"
#include "catalogue/BlockAssets.h"
#include "check/Addresses.h"
#include "html/Parser.h"
#include "html/Style.h"

namespace mojian::check {

namespace {

bool IsSpaceCodePoint(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == 0xA0 || c == 0x3000;
}

template <class Visit>
void ForEachNode(const html::Node& n, const Visit& visit) {
    visit(n);
    for (const auto& c : n.children) ForEachNode(*c, visit);
}

template <class Visit>
void ForEachBlockNode(const Visit& visit) {
    for (const BlockAsset& block : kBlockAssets) {
        const html::Document doc = html::ParseHtml(std::string_view(block.text, block.size));
        ForEachNode(*doc.root, visit);
    }
}

std::vector<std::string> DeriveTexts(const std::vector<std::string>& markers) {
    std::vector<std::string> texts;
    ForEachBlockNode([&](const html::Node& n) {
        if (!n.IsText()) return;
        std::string text = CollapseSpace(Utf16ToUtf8(n.text));
        const bool marked = std::any_of(markers.begin(), markers.end(),
                                        [&](const std::string& m) { return text.find(m) != std::string::npos; });
        if (marked && std::find(texts.begin(), texts.end(), text) == texts.end()) texts.push_back(std::move(text));
    });
    std::stable_sort(texts.begin(), texts.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return texts;
}

}  // namespace

std::string CollapseSpace(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    bool space = false;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t start = i;
        const char32_t c = NextCodePoint(utf8, i);
        if (IsSpaceCodePoint(c)) {
            space = true;
            continue;
        }
        if (space && !out.empty()) out += ' ';
        space = false;
        out.append(utf8.substr(start, i - start));
    }
    return out;
}

const std::vector<std::string>& PlaceholderTexts(const std::vector<std::string>& markers) {
    static std::mutex mutex;
    static std::map<std::vector<std::string>, std::vector<std::string>> derived;  // nodes never move
    const std::lock_guard<std::mutex> lock(mutex);
    const auto it = derived.find(markers);
    if (it != derived.end()) return it->second;
    return derived.emplace(markers, DeriveTexts(markers)).first->second;
}

const std::set<std::string, std::less<>>& PlaceholderPictures(double iconPixels) {
    static std::mutex mutex;
    static std::map<double, std::set<std::string, std::less<>>> derived;  // nodes never move
    const std::lock_guard<std::mutex> lock(mutex);
    const auto it = derived.find(iconPixels);
    if (it != derived.end()) return it->second;
    std::set<std::string, std::less<>> pictures;
    ForEachBlockNode([&](const html::Node& n) {
        if (!n.IsElement() || n.tag != "img") return;
        const html::Style style = html::ComputeStyle(n, html::RootStyle());
        const auto small = [&](const html::Length& l) { return l.unit == html::Length::Px && l.value <= iconPixels; };
        if (small(style.width) && small(style.height)) return;
        if (const std::string* src = n.Attr("src")) {
            std::string address = BrowserAddress(*src);
            if (!address.empty()) pictures.insert(std::move(address));
        }
    });
    return derived.emplace(iconPixels, std::move(pictures)).first->second;
}

}  // namespace mojian::check

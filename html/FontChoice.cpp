#include "html/FontChoice.h"

#include <algorithm>
#include <iterator>

#include "base/Text.h"

namespace mojian::html {

namespace {

// The faces each generic family stands for, best first: what Windows has,
// then what Linux machines (and Wine on them) have.
struct Generic {
    const char16_t* name;
    std::vector<const char16_t*> faces;
};

const std::vector<Generic>& Generics() {
    static const std::vector<Generic> kGenerics = {
        {u"serif", {u"Times New Roman", u"DejaVu Serif", u"Liberation Serif", u"Noto Serif", u"SimSun"}},
        {u"sans-serif", {u"Arial", u"DejaVu Sans", u"Liberation Sans", u"Noto Sans", u"Microsoft YaHei"}},
        {u"monospace", {u"Consolas", u"Courier New", u"DejaVu Sans Mono", u"Liberation Mono", u"Noto Sans Mono"}},
        {u"cursive", {u"Comic Sans MS", u"DejaVu Sans"}},
        {u"fantasy", {u"Impact", u"DejaVu Sans"}},
        {u"system-ui", {u"Microsoft YaHei UI", u"Segoe UI", u"DejaVu Sans"}},
        {u"-apple-system", {u"Microsoft YaHei UI", u"Segoe UI", u"DejaVu Sans"}},
        {u"ui-sans-serif", {u"Arial", u"DejaVu Sans"}},
        {u"ui-serif", {u"Times New Roman", u"DejaVu Serif"}},
        {u"ui-monospace", {u"Consolas", u"Courier New", u"DejaVu Sans Mono"}},
    };
    return kGenerics;
}

// The browser's standard face, for text whose families are all missing.
const std::vector<const char16_t*> kDefaultFaces = {u"Times New Roman", u"DejaVu Sans", u"Arial", u"Liberation Sans",
                                                    u"Noto Sans", u"Microsoft YaHei", u"SimSun"};
// Faces with Chinese, for the characters no chosen face has.
const std::vector<const char16_t*> kChineseFaces = {u"Microsoft YaHei", u"SimSun", u"WenQuanYi Micro Hei",
                                                    u"WenQuanYi Zen Hei", u"Noto Sans CJK SC", u"Droid Sans Fallback"};

}  // namespace

std::vector<std::u16string> ParseFamilies(std::u16string_view value) {
    std::vector<std::u16string> out;
    std::size_t i = 0;
    while (i <= value.size()) {
        std::size_t end = i;
        char16_t quote = 0;
        while (end < value.size() && (quote || value[end] != u',')) {
            if (!quote && (value[end] == u'"' || value[end] == u'\'')) quote = value[end];
            else if (quote && value[end] == quote) quote = 0;
            ++end;
        }
        std::u16string_view item = TrimHtmlSpace(value.substr(i, end - i));
        if (item.size() >= 2 && (item.front() == u'"' || item.front() == u'\'') && item.back() == item.front()) {
            item = TrimHtmlSpace(item.substr(1, item.size() - 2));
            if (!item.empty()) out.emplace_back(item);  // quoted: a name, never a generic
        } else if (!item.empty()) {
            // Unquoted words with runs of spaces between them name one family.
            std::u16string name;
            bool space = false;
            for (char16_t c : item) {
                if (IsHtmlSpace(c)) {
                    space = true;
                    continue;
                }
                if (space && !name.empty()) name += u' ';
                space = false;
                name += c;
            }
            out.push_back(IsGenericFamily(name) ? AsciiLowered(name) : name);
        }
        i = end + 1;
    }
    return out;
}

bool IsGenericFamily(std::u16string_view family) {
    const std::u16string lower = AsciiLowered(family);
    return std::any_of(Generics().begin(), Generics().end(), [&](const Generic& g) { return lower == g.name; });
}

std::vector<std::u16string> ChooseFaces(const std::vector<std::u16string>& families,
                                        const std::function<bool(std::u16string_view)>& installed) {
    std::vector<std::u16string> faces;
    auto add = [&](std::u16string_view face) {
        if (std::find(faces.begin(), faces.end(), face) == faces.end()) faces.emplace_back(face);
    };
    auto firstInstalled = [&](const std::vector<const char16_t*>& candidates) -> const char16_t* {
        for (const char16_t* c : candidates)
            if (installed(c)) return c;
        return nullptr;
    };
    for (const std::u16string& family : families) {
        const std::u16string lower = AsciiLowered(family);
        const auto generic = std::find_if(Generics().begin(), Generics().end(),
                                          [&](const Generic& g) { return lower == g.name; });
        if (generic != Generics().end()) {
            if (const char16_t* face = firstInstalled(generic->faces)) add(face);
        } else if (installed(family)) {
            add(family);
        }
    }
    if (const char16_t* face = firstInstalled(kDefaultFaces)) add(face);
    if (const char16_t* face = firstInstalled(kChineseFaces)) add(face);
    return faces;
}

}  // namespace mojian::html

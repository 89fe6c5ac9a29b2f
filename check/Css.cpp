#include "check/Css.h"

#include "base/Utf.h"
#include "check/Text.h"

namespace mojian::check {

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsIdentChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Decodes the escape at s[i] == '\\' into `out`; returns the position after it.
std::size_t DecodeEscape(std::string_view s, std::size_t i, std::string& out) {
    ++i;
    if (i >= s.size()) return i;
    if (IsHex(s[i])) {
        char32_t cp = 0;
        std::size_t n = 0;
        while (i < s.size() && n < 6 && IsHex(s[i])) {
            const char c = AsciiLower(s[i]);
            cp = cp * 16 + static_cast<char32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
            ++i, ++n;
        }
        if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        AppendUtf8(out, cp);
        if (i < s.size() && s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') i += 2;
        else if (i < s.size() && IsHtmlSpace(s[i])) ++i;
        return i;
    }
    if (s[i] == '\n' || s[i] == '\r' || s[i] == '\f') return i + 1;  // a line continuation
    out += s[i];
    return i + 1;
}

std::string Decode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] == '\\') i = DecodeEscape(s, i, out);
        else out += s[i++];
    }
    return out;
}

// The text without its comments; a comment separates what stands around it.
std::string WithoutComments(std::string_view css) {
    std::string out;
    char quote = 0;
    for (std::size_t i = 0; i < css.size(); ++i) {
        const char c = css[i];
        if (quote) {
            out += c;
            if (c == '\\' && i + 1 < css.size()) out += css[++i];
            else if (c == quote) quote = 0;
        } else if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
            const std::size_t end = css.find("*/", i + 2);
            i = end == std::string_view::npos ? css.size() : end + 1;
            out += ' ';
        } else {
            if (c == '"' || c == '\'') quote = c;
            out += c;
        }
    }
    return out;
}

// Splits at `sep` outside strings and parentheses.
std::vector<std::string_view> SplitTop(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    char quote = 0;
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\\') {
            ++i;
        } else if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth > 0) --depth;
        } else if (c == sep && depth == 0) {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(s.substr(start));
    return parts;
}

std::string_view DropImportant(std::string_view v) {
    const std::size_t bang = v.rfind('!');
    if (bang == std::string_view::npos) return v;
    if (AsciiLowered(TrimHtmlSpace(v.substr(bang + 1))) != "important") return v;
    return TrimHtmlSpace(v.substr(0, bang));
}

}  // namespace

std::vector<CssDeclaration> ParseDeclarations(std::string_view css) {
    std::vector<CssDeclaration> out;
    const std::string text = WithoutComments(css);
    for (std::string_view decl : SplitTop(text, ';')) {
        const std::size_t colon = decl.find(':');
        if (colon == std::string_view::npos) continue;
        std::string property = AsciiLowered(Decode(TrimHtmlSpace(decl.substr(0, colon))));
        if (property.empty()) continue;
        out.push_back({std::move(property), Decode(DropImportant(TrimHtmlSpace(decl.substr(colon + 1))))});
    }
    return out;
}

std::vector<std::string> CssUrls(std::string_view css) {
    std::vector<std::string> urls;
    const std::string text = WithoutComments(css);
    const std::string_view s = text;
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"' || c == '\'') {  // a string is skipped whole
            for (++i; i < s.size() && s[i] != c; ++i)
                if (s[i] == '\\') ++i;
            ++i;
            continue;
        }
        if (!IsIdentChar(c) && c != '\\') {
            ++i;
            continue;
        }
        std::string ident;
        while (i < s.size() && (IsIdentChar(s[i]) || s[i] == '\\')) {
            if (s[i] == '\\') i = DecodeEscape(s, i, ident);
            else ident += s[i++];
        }
        if (AsciiLowered(ident) != "url" || i >= s.size() || s[i] != '(') continue;
        ++i;
        while (i < s.size() && IsHtmlSpace(s[i])) ++i;
        std::string url;
        if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
            const char q = s[i++];
            while (i < s.size() && s[i] != q) {
                if (s[i] == '\\') i = DecodeEscape(s, i, url);
                else url += s[i++];
            }
            while (i < s.size() && s[i] != ')') ++i;
        } else {
            while (i < s.size() && s[i] != ')') {
                if (s[i] == '\\') i = DecodeEscape(s, i, url);
                else url += s[i++];
            }
        }
        urls.emplace_back(TrimHtmlSpace(url));
    }
    return urls;
}

}  // namespace mojian::check

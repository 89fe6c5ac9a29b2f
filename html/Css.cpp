#include "html/Css.h"

#include "base/Text.h"
#include "base/Utf.h"

namespace mojian::html::css {

namespace {

using Kind = Token::Kind;

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNewline(char c) { return c == '\n' || c == '\r' || c == '\f'; }
bool IsWhitespace(char c) { return c == ' ' || c == '\t' || IsNewline(c); }
bool IsNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsName(char c) { return IsNameStart(c) || IsDigit(c) || c == '-'; }
// Characters that make an unquoted url bad.
bool IsNonPrintable(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x08 || u == 0x0b || (u >= 0x0e && u <= 0x1f) || u == 0x7f;
}

class Tokenizer {
public:
    explicit Tokenizer(std::string_view s) : s_(s) {}

    std::vector<Token> Run() {
        std::vector<Token> out;
        while (i_ < s_.size()) {
            Token t = Next();
            // Runs of white space and comments are one token.
            if (t.kind == Kind::Whitespace && !out.empty() && out.back().kind == Kind::Whitespace) continue;
            out.push_back(std::move(t));
        }
        return out;
    }

private:
    char At(std::size_t k) const { return i_ + k < s_.size() ? s_[i_ + k] : '\0'; }
    bool More(std::size_t k = 0) const { return i_ + k < s_.size(); }

    bool ValidEscape(std::size_t k) const { return More(k) && s_[i_ + k] == '\\' && !IsNewline(At(k + 1)); }
    bool StartsIdent(std::size_t k) const {
        if (!More(k)) return false;
        const char c = s_[i_ + k];
        if (c == '-') return (More(k + 1) && (IsNameStart(At(k + 1)) || At(k + 1) == '-')) || ValidEscape(k + 1);
        if (IsNameStart(c)) return true;
        return ValidEscape(k);
    }
    bool StartsNumber(std::size_t k) const {
        const char c = At(k);
        if (!More(k)) return false;
        if (c == '+' || c == '-') return IsDigit(At(k + 1)) || (At(k + 1) == '.' && IsDigit(At(k + 2)));
        if (c == '.') return IsDigit(At(k + 1));
        return IsDigit(c);
    }

    // After the backslash.
    void ConsumeEscape(std::string& out) {
        if (!More()) {
            AppendUtf8(out, 0xFFFD);
            return;
        }
        if (IsHex(s_[i_])) {
            char32_t cp = 0;
            for (int n = 0; n < 6 && More() && IsHex(s_[i_]); ++n, ++i_) {
                const char c = AsciiLower(s_[i_]);
                cp = cp * 16 + static_cast<char32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
            }
            if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
            AppendUtf8(out, cp);
            if (At(0) == '\r' && At(1) == '\n') i_ += 2;
            else if (More() && IsWhitespace(s_[i_])) ++i_;
            return;
        }
        // Any other character stands for itself (a whole UTF-8 sequence is copied byte by byte).
        out += s_[i_++];
    }

    std::string ConsumeName() {
        std::string name;
        while (More()) {
            const char c = s_[i_];
            if (IsName(c)) {
                name += c;
                ++i_;
            } else if (ValidEscape(0)) {
                ++i_;
                ConsumeEscape(name);
            } else {
                break;
            }
        }
        return name;
    }

    Token Simple(Kind kind, std::size_t length = 1) {
        i_ += length;
        Token t;
        t.kind = kind;
        return t;
    }

    Token Next() {
        const char c = s_[i_];
        if (c == '/' && At(1) == '*') {
            const std::size_t end = s_.find("*/", i_ + 2);
            i_ = end == std::string_view::npos ? s_.size() : end + 2;
            Token t;
            t.kind = Kind::Whitespace;
            return t;
        }
        if (IsWhitespace(c)) {
            while (More() && IsWhitespace(s_[i_])) ++i_;
            Token t;
            t.kind = Kind::Whitespace;
            return t;
        }
        switch (c) {
        case '"':
        case '\'': return ConsumeString(c);
        case '#':
            if (IsName(At(1)) || ValidEscape(1)) {
                ++i_;
                Token t;
                t.kind = Kind::Hash;
                t.text = ConsumeName();
                return t;
            }
            break;
        case '(': return Simple(Kind::OpenParen);
        case ')': return Simple(Kind::CloseParen);
        case '[': return Simple(Kind::OpenSquare);
        case ']': return Simple(Kind::CloseSquare);
        case '{': return Simple(Kind::OpenCurly);
        case '}': return Simple(Kind::CloseCurly);
        case ',': return Simple(Kind::Comma);
        case ':': return Simple(Kind::Colon);
        case ';': return Simple(Kind::Semicolon);
        case '+':
        case '.':
            if (StartsNumber(0)) return ConsumeNumeric();
            break;
        case '-':
            if (StartsNumber(0)) return ConsumeNumeric();
            if (At(1) == '-' && At(2) == '>') return Simple(Kind::Cdc, 3);
            if (StartsIdent(0)) return ConsumeIdentLike();
            break;
        case '<':
            if (s_.substr(i_, 4) == "<!--") return Simple(Kind::Cdo, 4);
            break;
        case '@':
            if (StartsIdent(1)) {
                ++i_;
                Token t;
                t.kind = Kind::AtKeyword;
                t.text = ConsumeName();
                return t;
            }
            break;
        case '\\':
            if (ValidEscape(0)) return ConsumeIdentLike();
            break;
        default:
            if (IsDigit(c)) return ConsumeNumeric();
            if (IsNameStart(c)) return ConsumeIdentLike();
            break;
        }
        Token t;
        t.kind = Kind::Delim;
        t.text.assign(1, c);
        ++i_;
        return t;
    }

    Token ConsumeString(char quote) {
        ++i_;
        Token t;
        t.kind = Kind::String;
        t.quote = quote;
        while (More()) {
            const char c = s_[i_];
            if (c == quote) {
                ++i_;
                return t;
            }
            if (IsNewline(c)) {  // left for the next token
                t.kind = Kind::BadString;
                return t;
            }
            ++i_;
            if (c != '\\') {
                t.text += c;
            } else if (More()) {
                if (IsNewline(s_[i_])) i_ += (s_[i_] == '\r' && At(1) == '\n') ? 2 : 1;  // a line continuation
                else ConsumeEscape(t.text);
            }
        }
        return t;  // the end closes a string
    }

    Token ConsumeNumeric() {
        const std::size_t start = i_;
        if (At(0) == '+' || At(0) == '-') ++i_;
        while (IsDigit(At(0))) ++i_;
        if (At(0) == '.' && IsDigit(At(1))) {
            ++i_;
            while (IsDigit(At(0))) ++i_;
        }
        if ((At(0) == 'e' || At(0) == 'E') &&
            (IsDigit(At(1)) || ((At(1) == '+' || At(1) == '-') && IsDigit(At(2))))) {
            i_ += IsDigit(At(1)) ? 1 : 2;
            while (IsDigit(At(0))) ++i_;
        }
        Token t;
        t.text.assign(s_.substr(start, i_ - start));
        if (StartsIdent(0)) {
            t.kind = Kind::Dimension;
            t.unit = ConsumeName();
        } else if (At(0) == '%') {
            ++i_;
            t.kind = Kind::Percentage;
        } else {
            t.kind = Kind::Number;
        }
        return t;
    }

    Token ConsumeIdentLike() {
        Token t;
        t.text = ConsumeName();
        if (At(0) != '(') {
            t.kind = Kind::Ident;
            return t;
        }
        ++i_;
        t.kind = Kind::Function;
        if (AsciiLowered(t.text) != "url") return t;
        std::size_t k = 0;
        while (More(k) && IsWhitespace(At(k))) ++k;
        if (At(k) == '"' || At(k) == '\'') return t;  // url("...") is a function with a string
        i_ += k;
        return ConsumeUrl();
    }

    Token ConsumeUrl() {
        Token t;
        t.kind = Kind::Url;
        while (More()) {
            const char c = s_[i_];
            if (c == ')') {
                ++i_;
                return t;
            }
            if (IsWhitespace(c)) {
                while (More() && IsWhitespace(s_[i_])) ++i_;
                if (!More()) return t;
                if (s_[i_] == ')') {
                    ++i_;
                    return t;
                }
                t.text += ' ';
                return BadUrl(std::move(t));
            }
            if (c == '"' || c == '\'' || c == '(' || IsNonPrintable(c)) return BadUrl(std::move(t));
            if (c == '\\') {
                if (!ValidEscape(0)) return BadUrl(std::move(t));
                ++i_;
                ConsumeEscape(t.text);
                continue;
            }
            t.text += c;
            ++i_;
        }
        return t;
    }

    // What is left of a url browsers will not load, up to ")". The text is
    // kept: the check still judges what it names.
    Token BadUrl(Token t) {
        t.kind = Kind::BadUrl;
        while (More() && s_[i_] != ')') {
            if (ValidEscape(0)) {
                ++i_;
                ConsumeEscape(t.text);
            } else {
                t.text += s_[i_++];
            }
        }
        if (More()) ++i_;
        return t;
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

// Escapes what would end or change the meaning of a string or url.
void AppendEscaped(std::string& out, std::string_view text, std::string_view special) {
    for (char c : text) {
        if (c == '\n') {
            out += "\\a ";
            continue;
        }
        if (special.find(c) != std::string_view::npos || c == '\\') out += '\\';
        out += c;
    }
}

Kind Closer(Kind open) {
    return open == Kind::OpenParen || open == Kind::Function ? Kind::CloseParen
           : open == Kind::OpenSquare                        ? Kind::CloseSquare
                                                             : Kind::CloseCurly;
}

bool Opens(Kind k) {
    return k == Kind::OpenParen || k == Kind::Function || k == Kind::OpenSquare || k == Kind::OpenCurly;
}

bool IsImportant(const Token& t) { return t.kind == Kind::Ident && AsciiLowered(t.text) == "important"; }

// One declaration from tokens [begin, end): name, colon, value; nothing
// when it is not one or browsers would never accept its value.
bool ReadDeclaration(const std::vector<Token>& tokens, std::size_t begin, std::size_t end, Declaration& out) {
    std::size_t i = begin;
    if (i == end || tokens[i].kind != Kind::Ident) return false;
    const std::string& name = tokens[i].text;
    out.property = name.rfind("--", 0) == 0 ? name : AsciiLowered(name);
    ++i;
    while (i < end && tokens[i].kind == Kind::Whitespace) ++i;
    if (i == end || tokens[i].kind != Kind::Colon) return false;
    ++i;
    while (i < end && tokens[i].kind == Kind::Whitespace) ++i;
    while (end > i && tokens[end - 1].kind == Kind::Whitespace) --end;
    // "!important" at the end, white space allowed around the "!".
    out.important = false;
    if (end > i && IsImportant(tokens[end - 1])) {
        std::size_t k = end - 1;
        while (k > i && tokens[k - 1].kind == Kind::Whitespace) --k;
        if (k > i && tokens[k - 1].kind == Kind::Delim && tokens[k - 1].text == "!") {
            out.important = true;
            end = k - 1;
            while (end > i && tokens[end - 1].kind == Kind::Whitespace) --end;
        }
    }
    if (i == end) return false;  // no property takes an empty value
    std::vector<Kind> open;
    out.value.clear();
    for (; i < end; ++i) {
        const Token& t = tokens[i];
        if (t.kind == Kind::BadString || t.kind == Kind::BadUrl) return false;
        if (Opens(t.kind)) {
            open.push_back(Closer(t.kind));
        } else if (t.kind == Kind::CloseParen || t.kind == Kind::CloseSquare || t.kind == Kind::CloseCurly) {
            if (open.empty() || open.back() != t.kind) return false;
            open.pop_back();
        }
        out.value += Serialize(t);
    }
    return true;
}

}  // namespace

std::vector<Token> Tokenize(std::string_view css) { return Tokenizer(css).Run(); }

std::string Serialize(const Token& t) {
    switch (t.kind) {
    case Kind::Ident: return t.text;
    case Kind::Function: return t.text + "(";
    case Kind::AtKeyword: return "@" + t.text;
    case Kind::Hash: return "#" + t.text;
    case Kind::String:
    case Kind::BadString: {
        std::string out(1, t.quote);
        AppendEscaped(out, t.text, std::string_view(&t.quote, 1));
        if (t.kind == Kind::String) out += t.quote;
        return out;
    }
    case Kind::Url: {
        std::string out = "url(";
        AppendEscaped(out, t.text, "\"'() \t\n");
        return out + ")";
    }
    case Kind::BadUrl: return "url()";
    case Kind::Delim: return t.text;
    case Kind::Number: return t.text;
    case Kind::Percentage: return t.text + "%";
    case Kind::Dimension: return t.text + t.unit;
    case Kind::Whitespace: return " ";
    case Kind::Colon: return ":";
    case Kind::Semicolon: return ";";
    case Kind::Comma: return ",";
    case Kind::OpenSquare: return "[";
    case Kind::CloseSquare: return "]";
    case Kind::OpenParen: return "(";
    case Kind::CloseParen: return ")";
    case Kind::OpenCurly: return "{";
    case Kind::CloseCurly: return "}";
    case Kind::Cdo: return "<!--";
    case Kind::Cdc: return "-->";
    }
    return {};
}

std::vector<Declaration> ParseDeclarations(std::string_view css) {
    const std::vector<Token> tokens = Tokenize(css);
    std::vector<Declaration> out;
    std::size_t i = 0;
    while (i < tokens.size()) {
        if (tokens[i].kind == Kind::Whitespace || tokens[i].kind == Kind::Semicolon) {
            ++i;
            continue;
        }
        // Up to the next ";" outside brackets (an open one runs to the end).
        const std::size_t begin = i;
        std::vector<Kind> open;
        for (; i < tokens.size(); ++i) {
            const Kind k = tokens[i].kind;
            if (open.empty() && k == Kind::Semicolon) break;
            if (Opens(k)) open.push_back(Closer(k));
            else if (!open.empty() && k == open.back()) open.pop_back();
        }
        Declaration d;
        if (ReadDeclaration(tokens, begin, i, d)) out.push_back(std::move(d));
    }
    return out;
}

std::vector<std::string> Urls(std::string_view css) {
    std::vector<std::string> urls;
    const std::vector<Token> tokens = Tokenize(css);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == Kind::Url || t.kind == Kind::BadUrl) {
            urls.emplace_back(TrimHtmlSpace(t.text));
        } else if (t.kind == Kind::Function && AsciiLowered(t.text) == "url") {
            std::size_t k = i + 1;
            while (k < tokens.size() && tokens[k].kind == Kind::Whitespace) ++k;
            if (k < tokens.size() && tokens[k].kind == Kind::String) urls.emplace_back(TrimHtmlSpace(tokens[k].text));
        }
    }
    return urls;
}

std::vector<std::string_view> Words(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (IsSpaceOrControl(s[i]) || s[i] == ',')) ++i;
        const std::size_t start = i;
        int depth = 0;
        char quote = 0;
        for (; i < s.size(); ++i) {
            const char c = s[i];
            if (quote) {
                if (c == '\\') ++i;
                else if (c == quote) quote = 0;
            } else if (c == '\\') {
                ++i;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '(' || c == '[') {
                ++depth;
            } else if ((c == ')' || c == ']') && depth > 0) {
                --depth;
            } else if (depth == 0 && (IsSpaceOrControl(c) || c == ',')) {
                break;
            }
        }
        if (i > s.size()) i = s.size();
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}

}  // namespace mojian::html::css

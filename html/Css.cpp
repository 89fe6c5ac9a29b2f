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

// Reads one token at a time into a token the caller keeps, so that its
// strings' room is used again.
class Tokenizer {
public:
    explicit Tokenizer(std::string_view s) : s_(s) {}

    // The next token; false at the end. Runs of white space and comments are one token.
    bool Next(Token& t) {
        if (i_ >= s_.size()) return false;
        t.kind = Kind::Delim;
        t.text.clear();
        t.unit.clear();
        const char c = s_[i_];
        if (IsWhitespace(c) || (c == '/' && At(1) == '*')) {
            SkipWhitespaceAndComments();
            t.kind = Kind::Whitespace;
            return true;
        }
        Read(t, c);
        return true;
    }

private:
    char At(std::size_t k) const { return i_ + k < s_.size() ? s_[i_ + k] : '\0'; }
    bool More(std::size_t k = 0) const { return i_ + k < s_.size(); }

    void SkipWhitespaceAndComments() {
        while (More()) {
            if (IsWhitespace(s_[i_])) {
                ++i_;
            } else if (s_[i_] == '/' && At(1) == '*') {
                const std::size_t end = s_.find("*/", i_ + 2);
                i_ = end == std::string_view::npos ? s_.size() : end + 2;
            } else {
                break;
            }
        }
    }

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

    void ConsumeName(std::string& name) {
        while (More()) {
            std::size_t run = i_;
            while (run < s_.size() && IsName(s_[run])) ++run;
            name.append(s_.substr(i_, run - i_));
            i_ = run;
            if (!ValidEscape(0)) break;
            ++i_;
            ConsumeEscape(name);
        }
    }

    void Simple(Token& t, Kind kind, std::size_t length = 1) {
        i_ += length;
        t.kind = kind;
    }

    void Read(Token& t, char c) {
        switch (c) {
        case '"':
        case '\'': return ConsumeString(t, c);
        case '#':
            if (IsName(At(1)) || ValidEscape(1)) {
                ++i_;
                t.kind = Kind::Hash;
                return ConsumeName(t.text);
            }
            break;
        case '(': return Simple(t, Kind::OpenParen);
        case ')': return Simple(t, Kind::CloseParen);
        case '[': return Simple(t, Kind::OpenSquare);
        case ']': return Simple(t, Kind::CloseSquare);
        case '{': return Simple(t, Kind::OpenCurly);
        case '}': return Simple(t, Kind::CloseCurly);
        case ',': return Simple(t, Kind::Comma);
        case ':': return Simple(t, Kind::Colon);
        case ';': return Simple(t, Kind::Semicolon);
        case '+':
        case '.':
            if (StartsNumber(0)) return ConsumeNumeric(t);
            break;
        case '-':
            if (StartsNumber(0)) return ConsumeNumeric(t);
            if (At(1) == '-' && At(2) == '>') return Simple(t, Kind::Cdc, 3);
            if (StartsIdent(0)) return ConsumeIdentLike(t);
            break;
        case '<':
            if (s_.substr(i_, 4) == "<!--") return Simple(t, Kind::Cdo, 4);
            break;
        case '@':
            if (StartsIdent(1)) {
                ++i_;
                t.kind = Kind::AtKeyword;
                return ConsumeName(t.text);
            }
            break;
        case '\\':
            if (ValidEscape(0)) return ConsumeIdentLike(t);
            break;
        default:
            if (IsDigit(c)) return ConsumeNumeric(t);
            if (IsNameStart(c)) return ConsumeIdentLike(t);
            break;
        }
        t.kind = Kind::Delim;
        t.text.assign(1, c);
        ++i_;
    }

    void ConsumeString(Token& t, char quote) {
        ++i_;
        t.kind = Kind::String;
        t.quote = quote;
        while (More()) {
            const char c = s_[i_];
            if (c == quote) {
                ++i_;
                return;
            }
            if (IsNewline(c)) {  // left for the next token
                t.kind = Kind::BadString;
                return;
            }
            ++i_;
            if (c != '\\') {
                t.text += c;
            } else if (More()) {
                if (IsNewline(s_[i_])) i_ += (s_[i_] == '\r' && At(1) == '\n') ? 2 : 1;  // a line continuation
                else ConsumeEscape(t.text);
            }
        }
        // The end closes a string.
    }

    void ConsumeNumeric(Token& t) {
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
        t.text.assign(s_.substr(start, i_ - start));
        if (StartsIdent(0)) {
            t.kind = Kind::Dimension;
            ConsumeName(t.unit);
        } else if (At(0) == '%') {
            ++i_;
            t.kind = Kind::Percentage;
        } else {
            t.kind = Kind::Number;
        }
    }

    void ConsumeIdentLike(Token& t) {
        ConsumeName(t.text);
        if (At(0) != '(') {
            t.kind = Kind::Ident;
            return;
        }
        ++i_;
        t.kind = Kind::Function;
        if (t.text.size() != 3 || AsciiLowered(t.text) != "url") return;
        std::size_t k = 0;
        while (More(k) && IsWhitespace(At(k))) ++k;
        if (At(k) == '"' || At(k) == '\'') return;  // url("...") is a function with a string
        i_ += k;
        t.text.clear();
        ConsumeUrl(t);
    }

    void ConsumeUrl(Token& t) {
        t.kind = Kind::Url;
        while (More()) {
            const char c = s_[i_];
            if (c == ')') {
                ++i_;
                return;
            }
            if (IsWhitespace(c)) {
                while (More() && IsWhitespace(s_[i_])) ++i_;
                if (!More()) return;
                if (s_[i_] == ')') {
                    ++i_;
                    return;
                }
                t.text += ' ';
                return BadUrl(t);
            }
            if (c == '"' || c == '\'' || c == '(' || IsNonPrintable(c)) return BadUrl(t);
            if (c == '\\') {
                if (!ValidEscape(0)) return BadUrl(t);
                ++i_;
                ConsumeEscape(t.text);
                continue;
            }
            t.text += c;
            ++i_;
        }
    }

    // What is left of a url browsers will not load, up to ")". The text is
    // kept: the check still judges what it names.
    void BadUrl(Token& t) {
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


void AppendSerialized(std::string& out, const Token& t) {
    switch (t.kind) {
    case Kind::Ident:
    case Kind::Delim:
    case Kind::Number: out += t.text; return;
    case Kind::Dimension:
        out += t.text;
        out += t.unit;
        return;
    case Kind::Whitespace: out += ' '; return;
    case Kind::Comma: out += ','; return;
    default: out += Serialize(t); return;
    }
}

}  // namespace

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
    std::vector<Declaration> out;
    Tokenizer tokenizer(css);
    Token t;
    enum class State { Start, Name, Value, Skip } state = State::Start;
    Declaration d;
    std::vector<Kind> open;  // brackets open in this declaration, by the closer each wants
    bool bad = false;
    // "!important": where the "!" at the top level began in the value, and
    // whether "important" followed it.
    std::size_t bang = std::string::npos;
    bool important = false;
    auto finish = [&] {
        if (state == State::Value && !bad) {
            d.important = bang != std::string::npos && important;
            if (d.important) d.value.resize(bang);
            while (!d.value.empty() && d.value.back() == ' ') d.value.pop_back();
            if (!d.value.empty()) out.push_back(std::move(d));  // no property takes an empty value
        }
        state = State::Start;
        open.clear();
        bad = false;
        bang = std::string::npos;
        important = false;
    };
    while (tokenizer.Next(t)) {
        if (t.kind == Kind::Semicolon && open.empty()) {
            finish();
            continue;
        }
        const bool opens = Opens(t.kind);
        const bool closes = t.kind == Kind::CloseParen || t.kind == Kind::CloseSquare || t.kind == Kind::CloseCurly;
        const bool topLevel = open.empty();
        if (opens) {
            open.push_back(Closer(t.kind));
        } else if (closes) {
            // A closing bracket nothing opened makes the value one no property takes.
            if (!open.empty() && open.back() == t.kind) open.pop_back();
            else bad = true;
        }
        switch (state) {
        case State::Start:
            if (t.kind == Kind::Whitespace) break;
            if (t.kind == Kind::Ident) {
                d.property = t.text.rfind("--", 0) == 0 ? t.text : AsciiLowered(t.text);
                d.value.clear();
                state = State::Name;
            } else {
                state = State::Skip;
            }
            break;
        case State::Name:
            if (t.kind == Kind::Colon) state = State::Value;
            else if (t.kind != Kind::Whitespace) state = State::Skip;
            break;
        case State::Value:
            if (t.kind == Kind::BadString || t.kind == Kind::BadUrl) bad = true;
            if (t.kind == Kind::Whitespace) {
                if (!d.value.empty() && d.value.back() != ' ') d.value += ' ';
                break;
            }
            if (topLevel && t.kind == Kind::Delim && t.text == "!") {
                bang = d.value.size();
                important = false;
            } else if (bang != std::string::npos) {
                if (!important && topLevel && t.kind == Kind::Ident && AsciiLowered(t.text) == "important") important = true;
                else bang = std::string::npos;
            }
            AppendSerialized(d.value, t);
            break;
        case State::Skip: break;
        }
    }
    finish();
    return out;
}

std::vector<Token> Tokenize(std::string_view css) {
    std::vector<Token> out;
    Tokenizer tokenizer(css);
    Token t;
    while (tokenizer.Next(t)) out.push_back(t);
    return out;
}

std::vector<std::string> Urls(std::string_view css) {
    std::vector<std::string> urls;
    const std::vector<Token> tokens = Tokenize(css);  // few attributes hold a url: no need to stream
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

#include "fill/SourceText.h"

#include <algorithm>

#include "base/Utf.h"
#include "html/Entities.h"

namespace mojian::fill {

namespace {

bool IsAsciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Where a character reference starting at s[at] == '&' would end: the
// reference's whole extent as the decoder reads it (a name of up to 32
// letters and digits or a number, and the semicolon after), or at + 1 when
// nothing that could be one follows. The decoder decides what it means.
std::size_t ReferenceEnd(std::string_view s, std::size_t at, std::size_t end) {
    std::size_t i = at + 1;
    if (i < end && s[i] == '#') {
        ++i;
        const bool hex = i < end && (s[i] == 'x' || s[i] == 'X');
        if (hex) ++i;
        const std::size_t digits = i;
        while (i < end && (hex ? IsHex(s[i]) : IsDigit(s[i]))) ++i;
        if (i == digits) return at + 1;
    } else {
        const std::size_t name = i;
        while (i < end && i - name < 32 && IsAsciiAlnum(s[i])) ++i;
        if (i == name) return at + 1;
    }
    if (i < end && s[i] == ';') ++i;
    return i;
}

bool AllHtmlSpace(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsHtmlSpace<char>);
}

class Decoder {
public:
    Decoder(std::string_view source, Spaces spaces) : s_(source), spaces_(spaces) {}

    DecodedText Run(html::SourceRange range) {
        for (std::size_t i = range.begin; i < range.end;) {
            const char c = s_[i];
            if (c == '&') {
                const std::size_t j = ReferenceEnd(s_, i, range.end);
                if (j > i + 1) {
                    const std::string_view raw = s_.substr(i, j - i);
                    const std::string decoded = html::DecodeEntities(raw);
                    if (decoded != raw) {
                        if (spaces_ == Spaces::Collapse && AllHtmlSpace(decoded)) Space(i, j);
                        else Atom(i, j, decoded);
                        i = j;
                        continue;
                    }
                }
                Literal(i, i + 1);
                ++i;
            } else if (spaces_ == Spaces::Collapse && IsHtmlSpace(c)) {
                std::size_t j = i;
                while (j < range.end && IsHtmlSpace(s_[j])) ++j;
                Space(i, j);
                i = j;
            } else if (spaces_ == Spaces::Lines && c == '\r') {
                const std::size_t j = i + 1 < range.end && s_[i + 1] == '\n' ? i + 2 : i + 1;
                Atom(i, j, "\n");
                i = j;
            } else {
                std::size_t j = i + 1;
                while (j < range.end && s_[j] != '&' && !(spaces_ == Spaces::Collapse && IsHtmlSpace(s_[j])) &&
                       !(spaces_ == Spaces::Lines && s_[j] == '\r'))
                    ++j;
                Literal(i, j);
                i = j;
            }
        }
        return std::move(out_);
    }

private:
    void Literal(std::size_t from, std::size_t to) {
        lastSpace_ = false;
        const std::size_t at = out_.text.size();
        out_.text.append(s_.substr(from, to - from));
        if (!out_.pieces.empty() && out_.pieces.back().literal && out_.pieces.back().rawEnd == from) {
            out_.pieces.back().rawEnd = to;
            out_.pieces.back().end = out_.text.size();
            return;
        }
        out_.pieces.push_back({from, to, at, out_.text.size(), true});
    }
    void Atom(std::size_t from, std::size_t to, std::string_view text) {
        lastSpace_ = false;
        const std::size_t at = out_.text.size();
        out_.text.append(text);
        out_.pieces.push_back({from, to, at, out_.text.size(), false});
    }
    // White space to collapse: joins the space just before it, else reads as one space.
    void Space(std::size_t from, std::size_t to) {
        if (lastSpace_) {
            out_.pieces.back().rawEnd = to;
            return;
        }
        Atom(from, to, " ");
        lastSpace_ = true;
    }

    std::string_view s_;
    Spaces spaces_;
    DecodedText out_;
    bool lastSpace_ = false;
};

}  // namespace

DecodedText DecodeText(std::string_view source, html::SourceRange range, Spaces spaces) {
    return Decoder(source, spaces).Run(range);
}

std::string DecodedValue(std::string_view source, html::SourceRange range, Spaces spaces) {
    if (spaces == Spaces::Keep) return html::DecodeEntities(range.Of(source));
    return DecodeText(source, range, spaces).text;
}

html::SourceRange DecodedText::RawRange(std::size_t begin, std::size_t end, std::string* head,
                                        std::string* tail) const {
    if (head) head->clear();
    if (tail) tail->clear();
    if (pieces.empty() || begin >= end) return {};
    const auto first = std::upper_bound(pieces.begin(), pieces.end(), begin,
                                        [](std::size_t at, const TextPiece& p) { return at < p.end; });
    auto last = std::lower_bound(pieces.begin(), pieces.end(), end,
                                 [](const TextPiece& p, std::size_t at) { return p.end < at; });
    if (first == pieces.end()) return {pieces.back().rawEnd, pieces.back().rawEnd};
    if (last == pieces.end()) last = pieces.end() - 1;
    html::SourceRange raw;
    if (first->literal) {
        raw.begin = first->rawBegin + (begin - first->begin);
    } else {
        raw.begin = first->rawBegin;
        if (head) *head = text.substr(first->begin, begin - first->begin);
    }
    if (last->literal) {
        raw.end = last->rawBegin + (std::min(end, last->end) - last->begin);
    } else {
        raw.end = last->rawEnd;
        if (tail && end < last->end) *tail = text.substr(end, last->end - end);
    }
    return raw;
}

std::string EscapeText(std::string_view text, bool keepsLineBreaks) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r':
        case '\n':
            if (keepsLineBreaks) {
                out += c;
            } else {
                out += "<br>";
                if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            }
            break;
        default: out += c;
        }
    }
    return out;
}

namespace {

std::string EscapeQuoted(std::string_view value, char quote) {
    std::string out;
    out.reserve(value.size() + 8);
    for (const char c : value) {
        if (c == '&') out += "&amp;";
        else if (c == '"' && quote == '"') out += "&quot;";
        else if (c == '\'' && quote == '\'') out += "&#39;";
        else out += c;
    }
    return out;
}

}  // namespace

bool SafeUnquoted(std::string_view raw) {
    if (raw.empty()) return false;
    return std::none_of(raw.begin(), raw.end(), [](char c) {
        return IsHtmlSpace(c) || c == '"' || c == '\'' || c == '=' || c == '<' || c == '>' || c == '`';
    });
}

std::string EscapeAttribute(std::string_view value, html::Quote quote) {
    switch (quote) {
    case html::Quote::Double: return EscapeQuoted(value, '"');
    case html::Quote::Single: return EscapeQuoted(value, '\'');
    case html::Quote::Unquoted:
        if (SafeUnquoted(value)) return EscapeQuoted(value, 0);
        return '"' + EscapeQuoted(value, '"') + '"';
    case html::Quote::None: break;
    }
    return "=\"" + EscapeQuoted(value, '"') + '"';
}

std::string_view FirstCharacters(std::string_view text, int count) {
    std::size_t i = 0;
    for (int n = 0; n < count && i < text.size(); ++n) NextCodePoint(text, i);
    return text.substr(0, i);
}

std::string_view LastCharacters(std::string_view text, int count) {
    std::size_t i = text.size();
    for (int n = 0; n < count && i > 0; ++n) {
        --i;
        while (i > 0 && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) --i;
    }
    return text.substr(i);
}

std::string ApplyEdits(std::string_view source, std::vector<SourceEdit> edits) {
    std::stable_sort(edits.begin(), edits.end(),
                     [](const SourceEdit& a, const SourceEdit& b) { return a.range.begin < b.range.begin; });
    std::size_t size = source.size();
    for (const SourceEdit& e : edits) size += e.text.size();
    std::string out;
    out.reserve(size);
    std::size_t at = 0;
    for (const SourceEdit& e : edits) {
        if (e.range.begin < at || e.range.end < e.range.begin || e.range.end > source.size()) continue;
        out.append(source.substr(at, e.range.begin - at));
        out.append(e.text);
        at = e.range.end;
    }
    out.append(source.substr(at));
    return out;
}

}  // namespace mojian::fill

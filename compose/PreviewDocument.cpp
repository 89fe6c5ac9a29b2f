#include "compose/PreviewDocument.h"

#include <cstddef>

#include "base/Text.h"

namespace mojian {

namespace {

constexpr std::string_view kLineBreak = "\r\n";

// Where the tag `<name` (any case, followed by '>' or a blank) starts, or npos.
std::size_t FindTag(std::string_view src, std::string_view name, std::size_t from = 0) {
    for (std::size_t i = src.find('<', from); i != std::string_view::npos; i = src.find('<', i + 1)) {
        if (i + 1 + name.size() > src.size()) return std::string_view::npos;
        bool same = true;
        for (std::size_t j = 0; j < name.size() && same; ++j) same = AsciiLower(src[i + 1 + j]) == name[j];
        if (!same) continue;
        const std::size_t after = i + 1 + name.size();
        if (after == src.size()) return std::string_view::npos;
        const char c = src[after];
        if (c == '>' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/') return i;
    }
    return std::string_view::npos;
}

// Just past the '>' that closes the tag starting at `tag`, or npos.
std::size_t TagEnd(std::string_view src, std::size_t tag) {
    const std::size_t gt = src.find('>', tag);
    return gt == std::string_view::npos ? gt : gt + 1;
}

struct Span {
    std::size_t begin = std::string_view::npos;  // first character
    std::size_t end = std::string_view::npos;    // one past the last
    bool found() const { return begin != std::string_view::npos; }
};

// The whole element <name ...> ... </name>, tags included.
Span FindElement(std::string_view src, std::string_view name) {
    Span s;
    const std::size_t open = FindTag(src, name);
    if (open == std::string_view::npos) return s;
    const std::string closing = "/" + std::string(name);
    const std::size_t close = FindTag(src, closing, open);
    if (close == std::string_view::npos) return s;
    const std::size_t end = TagEnd(src, close);
    if (end == std::string_view::npos) return s;
    s.begin = open;
    s.end = end;
    return s;
}

// What lies between the opening and the closing tag of the body.
Span BodyContent(std::string_view src) {
    Span s;
    const std::size_t open = FindTag(src, "body");
    if (open == std::string_view::npos) return s;
    const std::size_t start = TagEnd(src, open);
    if (start == std::string_view::npos) return s;
    const std::size_t close = FindTag(src, "/body", start);
    s.begin = start;
    s.end = close == std::string_view::npos ? src.size() : close;
    return s;
}

}  // namespace

void PreviewDocument::LoadBlank() {
    source_.clear();
    open_ = false;
    fresh_ = true;
}

void PreviewDocument::Open() {
    source_.clear();
    open_ = true;
    fresh_ = false;
}

void PreviewDocument::Writeln(std::string_view text) {
    if (!open_) Open();
    source_ += text;
    source_ += kLineBreak;
}

void PreviewDocument::Close() { open_ = false; }

void PreviewDocument::SetBodyInnerHtml(std::string_view html) {
    fresh_ = false;
    const Span body = BodyContent(source_);
    if (body.found()) {
        source_.replace(body.begin, body.end - body.begin, html);
        return;
    }
    // A bare fragment: the browser had put it into an implied body, which
    // the new content now replaces; a head written before it stays.
    std::string head = "<HEAD></HEAD>";
    if (const Span h = FindElement(source_, "head"); h.found()) {
        head = source_.substr(h.begin, h.end - h.begin);
    } else if (const Span t = FindElement(source_, "title"); t.found()) {
        head = "<HEAD>" + source_.substr(t.begin, t.end - t.begin) + "</HEAD>";
    }
    std::string out = "<HTML>" + head + "<BODY>";
    out += html;
    out += "</BODY></HTML>";
    source_ = std::move(out);
}

std::string PreviewDocument::Title() const {
    const Span t = FindElement(source_, "title");
    if (!t.found()) return {};
    const std::size_t start = TagEnd(source_, t.begin);
    const std::size_t stop = FindTag(source_, "/title", start);
    std::string out;
    bool pendingBlank = false;
    for (std::size_t i = start; i < stop; ++i) {
        if (IsHtmlSpace(source_[i])) {
            pendingBlank = !out.empty();
            continue;
        }
        if (pendingBlank) out += ' ';
        pendingBlank = false;
        out += source_[i];
    }
    return out;
}

std::string PreviewDocument::Body() const {
    const Span body = BodyContent(source_);
    if (body.found()) return source_.substr(body.begin, body.end - body.begin);
    std::string out = source_;
    if (const Span h = FindElement(out, "head"); h.found()) out.erase(h.begin, h.end - h.begin);
    return out;
}

}  // namespace mojian

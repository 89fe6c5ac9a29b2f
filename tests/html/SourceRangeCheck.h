// Checks that a parsed document's source ranges say what they claim: every
// range lies inside the source, and slicing the source by it gives the raw
// text of that node, tag or attribute. Shared by the parser and fuzz tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "base/Text.h"
#include "base/Utf.h"
#include "html/Dom.h"
#include "html/Entities.h"

namespace mojian::html {

// Text as browsers read it: CR LF and CR are LF, NUL is U+FFFD (or dropped, in body text).
inline std::string Browser(std::string_view raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r') {
            out += '\n';
            if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
        } else if (raw[i] == '\0') {
            out += "\xEF\xBF\xBD";
        } else {
            out += raw[i];
        }
    }
    return out;
}

inline std::u16string WithoutNul(std::u16string s) {
    std::erase_if(s, [](char16_t c) { return c == 0 || c == 0xFFFD; });
    return s;
}

inline bool Inside(const SourceRange& inner, const SourceRange& outer) {
    return inner.begin >= outer.begin && inner.end <= outer.end;
}

class RangeChecker {
public:
    explicit RangeChecker(std::string_view source) : s_(source), covered_(source.size(), false) {}

    void Check(const Document& doc) {
        doc_ = &doc;
        ASSERT_NE(doc.html, nullptr);
        ASSERT_NE(doc.head, nullptr);
        ASSERT_NE(doc.body, nullptr);
        EXPECT_EQ(doc.sourceSize, s_.size());
        EXPECT_EQ(doc.head->parent, doc.html);
        EXPECT_EQ(doc.body->parent, doc.html);
        Node(*doc.root);
        for (const StrayTag& t : doc.strayTags) {
            Valid(t.range);
            const std::string_view raw = t.range.Of(s_);
            const std::string prefix = (t.endTag ? "</" : "<") + t.name;
            EXPECT_EQ(Browser(AsciiLowered(raw)).substr(0, prefix.size()), prefix) << raw;
            Cover(t.range);
        }
        // Whatever no node or tag accounts for is white space browsers drop
        // (before the body), NUL they drop from text, or the byte-order mark.
        const std::size_t bom = s_.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
        for (std::size_t i = bom; i < s_.size(); ++i) {
            const char c = s_[i];
            if (!covered_[i] && c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\0') {
                ADD_FAILURE() << "byte " << i << " ('" << c << "') is in no range: " << s_.substr(i >= 20 ? i - 20 : 0, 40);
                return;
            }
        }
    }

private:
    void Valid(const SourceRange& r) {
        EXPECT_LE(r.begin, r.end);
        EXPECT_LE(r.end, s_.size());
    }

    void Cover(const SourceRange& r) {
        for (std::size_t i = r.begin; i < r.end && i < covered_.size(); ++i) covered_[i] = true;
    }

    // The tag's name follows its '<' or "</", and it ends with '>' or at the end of the source.
    void Tag(const SourceRange& r, std::string_view prefix, const std::string& name) {
        Valid(r);
        const std::string_view raw = r.Of(s_);
        const std::string head = Browser(AsciiLowered(raw.substr(0, prefix.size() + name.size())));
        EXPECT_EQ(head.substr(0, prefix.size() + name.size()), std::string(prefix) + name) << raw;
        EXPECT_TRUE(r.end == s_.size() || raw.back() == '>') << raw;
        Cover(r);
    }

    void Attributes(const html::Node& e) {
        for (const Attribute& a : e.attrs) {
            Valid(a.range);
            // A reopened element holds the attributes of the one it continues.
            // A second <html> or <body> gives the element the attributes it lacks.
            const bool merged = std::any_of(doc_->strayTags.begin(), doc_->strayTags.end(),
                                            [&](const StrayTag& t) { return Inside(a.range, t.range); });
            EXPECT_TRUE(merged || Inside(a.range, e.reopens ? e.reopens->startTag : e.startTag)) << a.name;
            EXPECT_EQ(Browser(AsciiLowered(a.nameRange.Of(s_))), a.name);
            EXPECT_EQ(a.range.begin, a.nameRange.begin);
            EXPECT_EQ(DecodeEntities(Browser(a.valueRange.Of(s_)), true), a.value) << a.name;
            const bool closed = a.valueRange.end < s_.size();
            // Between the name and the value: an equals sign and white space.
            if (a.quote != Quote::None) {
                const std::size_t opening = a.quote == Quote::Unquoted ? 0 : 1;
                std::string between(s_.substr(a.nameRange.end, a.valueRange.begin - opening - a.nameRange.end));
                std::erase_if(between, [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; });
                EXPECT_EQ(between, "=") << a.name;
            }
            switch (a.quote) {
            case Quote::None:
                EXPECT_EQ(a.valueRange, (SourceRange{a.nameRange.end, a.nameRange.end}));
                EXPECT_EQ(a.range, a.nameRange);
                break;
            case Quote::Unquoted:
                EXPECT_EQ(a.range.end, a.valueRange.end);
                break;
            case Quote::Single:
            case Quote::Double: {
                const char q = a.quote == Quote::Double ? '"' : '\'';
                ASSERT_GT(a.valueRange.begin, 0u);
                EXPECT_EQ(s_[a.valueRange.begin - 1], q);
                EXPECT_EQ(a.valueRange.Of(s_).find(q), std::string_view::npos);
                if (closed) {
                    EXPECT_EQ(s_[a.valueRange.end], q);
                }
                EXPECT_EQ(a.range.end, closed ? a.valueRange.end + 1 : a.valueRange.end);
                break;
            }
            }
        }
        // Only the first of a name counts.
        for (std::size_t i = 0; i < e.attrs.size(); ++i) {
            bool earlier = false;
            for (std::size_t k = 0; k < i; ++k) earlier = earlier || e.attrs[k].name == e.attrs[i].name;
            EXPECT_EQ(e.attrs[i].duplicate, earlier) << e.attrs[i].name;
        }
    }

    void Node(const html::Node& n) {
        Valid(n.range);
        for (const auto& c : n.children) {
            EXPECT_EQ(c->parent, &n);
            if (n.kind != NodeKind::Document) {
                EXPECT_TRUE(Inside(c->range, n.range)) << n.tag << " > " << c->tag;
            }
            Node(*c);
        }
        const std::string_view raw = n.range.Of(s_);
        switch (n.kind) {
        case NodeKind::Document:
            EXPECT_EQ(n.range, (SourceRange{0, s_.size()}));
            break;
        case NodeKind::Text: {
            EXPECT_FALSE(raw.empty());
            const std::string& parent = n.parent ? n.parent->tag : std::string();
            const bool plain = parent == "script" || parent == "style" || parent == "xmp" || parent == "iframe" ||
                               parent == "noembed" || parent == "noframes" || parent == "plaintext";
            const std::u16string expected = Utf8ToUtf16(plain ? Browser(raw) : DecodeEntities(Browser(raw)));
            // NUL is U+FFFD in raw text and nothing in body text: either way no text of the source.
            EXPECT_EQ(WithoutNul(expected), WithoutNul(n.text)) << raw;
            Cover(n.range);
            break;
        }
        case NodeKind::Comment:
        case NodeKind::Doctype:
            EXPECT_EQ(raw.substr(0, 1), "<");
            EXPECT_NE(Utf8ToUtf16(Browser(raw)).find(n.text), std::u16string::npos);
            Cover(n.range);
            break;
        case NodeKind::Element:
            EXPECT_FALSE(n.tag.empty());
            if (n.implied) {
                EXPECT_TRUE(n.startTag.empty()) << n.tag;
                if (n.reopens) {
                    EXPECT_FALSE(n.reopens->implied) << n.tag;
                    EXPECT_EQ(n.reopens->tag, n.tag);
                    EXPECT_EQ(n.attrs.size(), n.reopens->attrs.size());
                }  // else its only attributes are those a second tag of its name gave it
            } else if (s_.substr(n.startTag.begin, 2) == "</") {
                Tag(n.startTag, "</", n.tag);  // "</br>" is a line break
            } else {
                Tag(n.startTag, "<", n.tag);
            }
            EXPECT_LE(n.range.begin, n.startTag.begin);  // content moved into it may come first
            if (n.endTag) {
                Tag(*n.endTag, "</", n.tag);
                EXPECT_GE(n.endTag->begin, n.startTag.end);
                EXPECT_GE(n.range.end, n.endTag->end);
            }
            Attributes(n);
            break;
        }
    }

    std::string_view s_;
    const Document* doc_ = nullptr;
    std::vector<bool> covered_;
};

// Checks every range of `doc`, parsed from `source`.
inline void ExpectConsistentRanges(std::string_view source, const Document& doc) {
    RangeChecker(source).Check(doc);
}

}  // namespace mojian::html

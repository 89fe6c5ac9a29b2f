// What the matchers of one line share: the line's source and parsed tree,
// the findings so far. Internal to the check.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "check/Check.h"
#include "html/Dom.h"

namespace mojian::check {

struct LineScan {
    std::string_view source;
    const html::Document& doc;
    std::vector<Finding> findings;
    // Pictures a picture-width rule has reported: the drawn-width rules
    // leave them to it.
    std::set<const html::Node*> widePictures;

    // One finding per rule and place: two url()s of one style attribute
    // that fail alike are one thing to fix.
    void Add(const Rule& rule, html::SourceRange range, std::string detail) {
        for (const Finding& f : findings)
            if (f.rule == rule.id && f.range == range) return;
        Finding f;
        f.rule = rule.id;
        f.severity = rule.severity;
        f.range = range;
        f.title = rule.title;
        f.detail = std::move(detail);
        f.explanation = rule.explanation;
        findings.push_back(std::move(f));
    }
};

// The rules read from the source alone: elements, attributes, style
// declarations, addresses, pictures' given widths, placeholders.
void CheckMarkup(const RuleSet& rules, LineScan& scan);

// The rules that lay the line out: what is drawn too wide, pictures too
// wide by their natural size.
void CheckLayout(const RuleSet& rules, LineScan& scan, html::TextMeasurer& measurer, html::PictureSource& pictures);

// The width a picture element is given (its style's width, else its width
// attribute) in pixels, and the attribute that gives it; nothing when no
// pixel width is given.
struct GivenWidth {
    float pixels = 0;
    const html::Attribute* attribute = nullptr;
};
std::optional<GivenWidth> PictureGivenWidth(const html::Node& img);

}  // namespace mojian::check

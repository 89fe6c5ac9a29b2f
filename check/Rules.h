// The publish check's rules: what the marketplace cuts, strips or refuses
// (errors) and what it may change or show wrongly (warnings). They live in
// one data file, check/rules.json, compiled into the program; a file of the
// same form can replace them (`mojian check --rules FILE`).
//
// The file: {"format": "mojian-check-rules", "version": 1, "rules": [...]},
// each rule an object with
//   "id"          unique, the name findings and the JSON report use
//   "severity"    "error" or "warning"
//   "title"       a short Chinese name for lists
//   "match"       {"kind": K, ...}: which of the check's matchers runs, with
//                 its parameters (RuleKind below lists them)
//   "explanation" Chinese: what is wrong and what to do
//   "source"      where the rule comes from
//   "checked"     the date it was last checked, YYYY-MM-DD
// Several rules may share a kind (another element list as a warning, say).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/DescriptionWidth.h"

namespace mojian::check {

enum class Severity : std::uint8_t { Error, Warning };

// The matchers and the parameters each takes from "match".
enum class RuleKind : std::uint8_t {
    PageMaxCharacters,   // "page-max-characters": limit — the page HTML has more code points
    PageMinCharacters,   // "page-min-characters": limit — the page HTML has fewer code points
    EmptyLine,           // "empty-line" — a composition line that produces nothing
    Elements,            // "elements": elements[] — elements with these tag names
    AttributePrefix,     // "attribute-prefix": prefix — attributes whose name starts with it (and is longer)
    ScriptAddress,       // "script-address": schemes[], attributes[], css — addresses with these schemes
                         //   in these attributes (and in url() of style attributes when css)
    DrawnWidth,          // "drawn-width": width — what layout draws wider or further right than width
    PictureWidth,        // "picture-width": width — pictures wider than width
    UnloadablePicture,   // "unloadable-picture" — picture addresses a buyer cannot load
    CssProperties,       // "css-properties": properties[], harmlessValues[] — these style declarations
    Attributes,          // "attributes": attributes[] — attributes with these names
    ClassPrefix,         // "class-prefix": prefixes[] — class names starting with one of these (case-sensitive)
    PictureHost,         // "picture-host": hosts[] — pictures not on these hosts or their subdomains
    PlaceholderText,     // "placeholder-text": markers[] — texts of the built-in blocks that hold a marker
    PlaceholderPicture,  // "placeholder-picture": iconPixels — pictures of the built-in blocks, but for
                         //   icons (no more than iconPixels either way)
};

struct Rule {
    std::string id;
    Severity severity = Severity::Error;
    RuleKind kind = RuleKind::EmptyLine;
    std::string title;
    std::string explanation;
    std::string source;
    std::string checked;

    // The parameters, as the kind uses them.
    double number = 0;               // limit, width, iconPixels
    std::vector<std::string> names;  // elements, attributes, properties, prefixes, hosts, markers, schemes
    std::vector<std::string> more;   // script-address: attributes; css-properties: harmlessValues
    std::string prefix;              // attribute-prefix
    bool css = false;                // script-address
};

class RuleSet {
public:
    // The rules compiled in from check/rules.json, parsed once (thread-safe).
    static const RuleSet& BuiltIn();
    // The same for a description of that width, made once each (thread-safe).
    static const RuleSet& BuiltIn(DescriptionWidth width);
    // Rules from the text of a rule file; nothing, with a Chinese message in
    // `error`, when it is not one.
    static std::optional<RuleSet> FromJson(std::string_view json, std::string* error = nullptr);
    // The same from a file (UTF-8 path); a missing or unreadable file is an error too.
    static std::optional<RuleSet> FromFile(const std::string& path, std::string* error = nullptr);

    // The rules for a column `width` wide. A rule file is written for
    // Taobao's 750: each width rule's limit moves by as much as the column
    // does (750 becomes 790), and where its title and explanation name the
    // old limit they name the new one. The other rules stay as they are.
    RuleSet AtWidth(DescriptionWidth width) const;

    const std::vector<Rule>& Rules() const { return rules_; }
    const Rule* Find(std::string_view id) const;
    // The first page-max-characters rule's limit (25,000 as built in), 0 when there is none.
    std::size_t PageCharacterLimit() const;

private:
    std::vector<Rule> rules_;
};

std::string_view SeverityName(Severity s);  // "error", "warning"

}  // namespace mojian::check

// The tree-construction cases of html5lib-tests (tests/html/html5lib): every
// input is parsed and our tree, written in their format, is compared with the
// tree browsers build. One test per file; a file fails when its share of
// passing cases drops below the share it has reached.
#include "html/Parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/Utf.h"

namespace mojian::html {
namespace {

struct Case {
    int index = 0;  // 1-based, in the file
    std::string data;
    std::string fragment;  // the context element, when the case is a fragment
    bool scriptOn = false;
    std::string expected;
};

std::vector<Case> ReadCases(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    // A case runs from its "#data" to the blank line before the next one; the
    // input and the text in the tree may themselves hold blank lines, so a
    // section is its lines joined, less the blank line that ends the case.
    std::vector<Case> cases;
    std::string section;
    std::vector<std::string> body;
    auto flush = [&] {
        if (cases.empty()) return;
        Case& c = cases.back();
        std::vector<std::string> b = body;
        if (section != "#data")
            while (!b.empty() && b.back().empty()) b.pop_back();
        std::string joined;
        for (std::size_t i = 0; i < b.size(); ++i) joined += (i ? "\n" : "") + b[i];
        if (section == "#data") c.data = joined;
        else if (section == "#document") c.expected = joined;
        else if (section == "#document-fragment") c.fragment = joined;
        body.clear();
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l == "#data" && (i == 0 || lines[i - 1].empty())) {
            flush();
            cases.emplace_back();
            cases.back().index = static_cast<int>(cases.size());
            section = l;
        } else if (l == "#errors" || l == "#new-errors" || l == "#document" || l == "#document-fragment" ||
                   l == "#script-on" || l == "#script-off") {
            flush();
            section = l;
            if (l == "#script-on" && !cases.empty()) cases.back().scriptOn = true;
        } else {
            body.push_back(l);
        }
    }
    flush();
    return cases;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

// Why a case is out of our parser's reach, or nothing.
enum class Skip { None, Scripting, Template, Foreign, Context };

Skip SkipOf(const Case& c) {
    if (c.scriptOn) return Skip::Scripting;
    const std::string data = Lower(c.data);
    if (data.find("<template") != std::string::npos || c.fragment == "template") return Skip::Template;
    if (data.find("<svg") != std::string::npos || data.find("<math") != std::string::npos ||
        c.fragment.rfind("svg ", 0) == 0 || c.fragment.rfind("math ", 0) == 0)
        return Skip::Foreign;
    if (!c.fragment.empty() && c.fragment != "div" && c.fragment != "body") return Skip::Context;
    return Skip::None;
}

void Line(std::string& out, int depth, const std::string& what) {
    out += "| ";
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    out += what;
    out += '\n';
}

std::string DoctypeLine(const Document& doc) {
    if (!doc.doctype) return "<!DOCTYPE >";
    const Doctype& d = *doc.doctype;
    std::string out = "<!DOCTYPE " + d.name;
    if (d.publicId || d.systemId)
        out += " \"" + d.publicId.value_or("") + "\" \"" + d.systemId.value_or("") + "\"";
    return out + ">";
}

void Write(const Document& doc, const Node& n, int depth, std::string& out) {
    for (std::size_t i = 0; i < n.children.size(); ++i) {
        const Node& c = *n.children[i];
        switch (c.kind) {
        case NodeKind::Text: {
            // Neighbouring text nodes are one text to a browser.
            std::u16string text = c.text;
            while (i + 1 < n.children.size() && n.children[i + 1]->IsText()) text += n.children[++i]->text;
            Line(out, depth, "\"" + Utf16ToUtf8(text) + "\"");
            break;
        }
        case NodeKind::Comment: Line(out, depth, "<!-- " + Utf16ToUtf8(c.text) + " -->"); break;
        case NodeKind::Doctype: Line(out, depth, DoctypeLine(doc)); break;
        case NodeKind::Element: {
            Line(out, depth, "<" + c.tag + ">");
            std::vector<std::string> attrs;
            for (const Attribute& a : c.attrs)
                if (!a.duplicate) attrs.push_back(a.name + "=\"" + a.value + "\"");
            std::sort(attrs.begin(), attrs.end());
            for (const std::string& a : attrs) Line(out, depth + 1, a);
            Write(doc, c, depth + 1, out);
            break;
        }
        case NodeKind::Document: break;
        }
    }
}

std::string Serialised(const Case& c) {
    std::string out;
    if (c.fragment.empty()) {
        const Document doc = ParseHtml(c.data);
        Write(doc, *doc.root, 0, out);
    } else {
        const Document doc = ParseHtmlFragment(c.data);
        Write(doc, *doc.body, 0, out);
    }
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// The share of each file's cases in scope that pass, as reached; a file
// below its share has regressed.
const std::map<std::string, double>& Thresholds() {
    static const std::map<std::string, double> thresholds = {
#include "Html5libThresholds.inc"
    };
    return thresholds;
}

// The share over all files, as reached.
constexpr double kOverallThreshold = 98.7;

struct Tally {
    int pass = 0, run = 0, scripting = 0, templates = 0, foreign = 0, context = 0;
    int Skipped() const { return scripting + templates + foreign + context; }
    double Share() const { return run ? 100.0 * pass / run : 100.0; }
};

std::vector<std::string> Files() {
    std::vector<std::string> files;
    for (const auto& [name, share] : Thresholds()) files.push_back(name);
    return files;
}

// A share as printed, to a tenth of a percent, as the thresholds are written.
double Rounded(double share) { return std::round(share * 10) / 10 + 1e-9; }

struct FileResult {
    Tally tally;
    std::string line;  // the file's summary
    std::string details;  // what was skipped and what failed
};

FileResult RunFile(const std::string& file) {
    FileResult r;
    Tally& t = r.tally;
    const std::vector<Case> cases = ReadCases(std::string(MOJIAN_HTML5LIB_DIR) + "/" + file);
    std::string failures, skipped;
    for (const Case& c : cases) {
        const std::string at = " #" + std::to_string(c.index);
        switch (SkipOf(c)) {
        case Skip::Scripting: ++t.scripting; skipped += at + "(scripting)"; continue;
        case Skip::Template: ++t.templates; skipped += at + "(template)"; continue;
        case Skip::Foreign: ++t.foreign; skipped += at + "(svg/math)"; continue;
        case Skip::Context: ++t.context; skipped += at + "(" + c.fragment + ")"; continue;
        case Skip::None: break;
        }
        ++t.run;
        const std::string got = Serialised(c);
        if (got == c.expected) {
            ++t.pass;
            continue;
        }
        std::string shown = c.data.substr(0, 70);
        std::replace(shown.begin(), shown.end(), '\n', ' ');
        failures += " " + at + " " + shown + "\n";
        if (std::getenv("HTML5LIB_VERBOSE")) failures += "--- expected\n" + c.expected + "\n--- got\n" + got + "\n";
    }
    char line[256];
    std::snprintf(line, sizeof line,
                  "%s: %d of %d pass (%.1f %%), %d skipped (scripting: %d, template: %d, svg/math: %d, "
                  "fragment context: %d)",
                  file.c_str(), t.pass, t.run, t.Share(), t.Skipped(), t.scripting, t.templates, t.foreign,
                  t.context);
    r.line = line;
    if (!skipped.empty()) r.details += "  skipped:" + skipped + "\n";
    if (!failures.empty()) r.details += "  failing:\n" + failures;
    return r;
}

class Html5lib : public testing::TestWithParam<std::string> {};

TEST_P(Html5lib, TreeConstruction) {
    const FileResult r = RunFile(GetParam());
    std::printf("%s\n%s", r.line.c_str(), r.details.c_str());
    EXPECT_GT(r.tally.run + r.tally.Skipped(), 0) << GetParam() << " has no cases";
    EXPECT_GE(Rounded(r.tally.Share()), Thresholds().at(GetParam())) << r.line;
}

// The share over every file.
TEST(Html5libSummary, Overall) {
    Tally all;
    for (const std::string& file : Files()) {
        const Tally t = RunFile(file).tally;
        all.pass += t.pass;
        all.run += t.run;
        all.scripting += t.scripting;
        all.templates += t.templates;
        all.foreign += t.foreign;
        all.context += t.context;
    }
    std::printf("html5lib overall: %d of %d pass (%.1f %%), %d skipped (scripting: %d, template: %d, svg/math: %d, "
                "fragment context: %d)\n",
                all.pass, all.run, all.Share(), all.Skipped(), all.scripting, all.templates, all.foreign,
                all.context);
    EXPECT_GE(Rounded(all.Share()), kOverallThreshold);
}

INSTANTIATE_TEST_SUITE_P(Files, Html5lib, testing::ValuesIn(Files()), [](const auto& param) {
    std::string name = param.param.substr(0, param.param.find('.'));
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

}  // namespace
}  // namespace mojian::html

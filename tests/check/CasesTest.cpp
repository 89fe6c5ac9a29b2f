// Pages with planted violations (cases/*.page, CasePage.h) and the findings
// expected of each (the .expect file beside it, one finding a line):
//   LINE RULE TEXT
// LINE is the 1-based composition line, or "-" for the whole page; TEXT is
// the exact source the finding points at: the rest of the line, with a
// backslash before r, n, t or another backslash standing for CR, LF, tab or
// the backslash; nothing for an empty range. Every expected finding
// must be found and nothing else. Then the clean pages (clean/*.html), one
// line each: descriptions (desc-*) draw no finding at all, e-mail style
// pages (mail-*) no error.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "base/File.h"
#include "check/Check.h"
#include "tests/check/CasePage.h"
#include "tests/check/CheckSupport.h"

namespace mojian::check {
namespace {

namespace fs = std::filesystem;

struct Expected {
    int line = -1;  // 1-based; -1: the whole page
    std::string rule;
    std::string text;
    std::string written;  // as the file has it, for messages
};

std::string Unescape(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char c = s[++i];
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<Expected> ReadExpected(const std::string& text) {
    std::vector<Expected> out;
    std::istringstream in(text);
    std::string row;
    while (std::getline(in, row)) {
        if (!row.empty() && row.back() == '\r') row.pop_back();
        if (row.empty() || row[0] == '#') continue;
        Expected e;
        e.written = row;
        const std::size_t a = row.find(' ');
        const std::size_t b = a == std::string::npos ? std::string::npos : row.find(' ', a + 1);
        const std::string line = row.substr(0, a);
        e.line = line == "-" ? -1 : std::stoi(line);
        e.rule = row.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
        if (b != std::string::npos) e.text = Unescape(row.substr(b + 1));
        out.push_back(std::move(e));
    }
    return out;
}

std::string Data(const std::string& leaf) { return std::string(MOJIAN_CHECK_DATA) + "/" + leaf; }

std::vector<std::string> Files(const std::string& folder, const std::string& suffix) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(Data(folder)))) {
        const std::string name = entry.path().filename().string();
        if (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Read(const std::string& path) {
    const auto bytes = ReadWholeFile(path);
    EXPECT_TRUE(bytes) << path;
    return bytes.value_or("");
}

class CheckCases : public ::testing::Test {
protected:
    std::vector<Finding> Check(const std::vector<PageLine>& lines) { return checker_.CheckPage(lines); }

    html::FixedMeasurer measurer_;
    testing::SizedPictures pictures_;
    Checker checker_{RuleSet::BuiltIn(), measurer_, pictures_};
};

TEST_F(CheckCases, EveryPlantedViolationIsFoundWhereItIsAndNothingElse) {
    const auto pages = Files("cases", ".page");
    ASSERT_GE(pages.size(), 40u);
    std::map<std::string, int> perRule;
    for (const std::string& page : pages) {
        SCOPED_TRACE(page);
        const std::string stem = page.substr(0, page.size() - 5);
        const auto lines = LinesOf(testing::CasePage(Read(Data("cases/" + page))));
        const auto expected = ReadExpected(Read(Data("cases/" + stem + ".expect")));
        const auto found = Check(lines);
        std::vector<bool> used(found.size(), false);
        const auto covered = [&](const Finding& f) {
            return f.line < 0 ? std::string() : std::string(f.range.Of(*lines[static_cast<std::size_t>(f.line)].html));
        };
        for (const Expected& e : expected) {
            ++perRule[e.rule];
            bool matched = false;
            for (std::size_t i = 0; i < found.size() && !matched; ++i) {
                const Finding& f = found[i];
                if (used[i] || f.rule != e.rule || (f.line < 0 ? -1 : f.line + 1) != e.line) continue;
                if (f.line >= 0 && !lines[static_cast<std::size_t>(f.line)].html) {
                    matched = used[i] = e.text.empty();
                } else {
                    matched = used[i] = covered(f) == e.text;
                }
            }
            EXPECT_TRUE(matched) << "not found: " << e.written;
        }
        for (std::size_t i = 0; i < found.size(); ++i)
            if (!used[i])
                ADD_FAILURE() << "found besides: " << (found[i].line < 0 ? "-" : std::to_string(found[i].line + 1)) << " "
                              << found[i].rule << " " << (found[i].line < 0 || !lines[found[i].line].html ? "" : covered(found[i]))
                              << " (" << found[i].detail << ")";
    }
    // Every rule is planted at least twice.
    for (const Rule& r : RuleSet::BuiltIn().Rules()) EXPECT_GE(perRule[r.id], 2) << r.id;
}

TEST_F(CheckCases, CleanPagesDrawNoFalseErrors) {
    const auto pages = Files("clean", ".html");
    ASSERT_GE(pages.size(), 12u);
    for (const std::string& page : pages) {
        const auto found = Check({{page, Read(Data("clean/" + page))}});
        const bool description = page.rfind("desc-", 0) == 0;
        for (const Finding& f : found)
            if (description || f.severity == Severity::Error)
                ADD_FAILURE() << page << ": " << f.rule << " (" << f.detail << ")";
    }
}

}  // namespace
}  // namespace mojian::check

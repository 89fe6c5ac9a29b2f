// What the window does with a composition's effects, done on plain data: a
// list of lines as a vector, the working folder's files. Tests compare the
// mirror with the model to check the effects say enough.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/File.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/Composition.h"
#include "tests/TempFolder.h"

namespace mojian::testing {

class PageMirror {
public:
    void Reflect(const Composition& page, const PageEffects& e) {
        if (e.allLines) {
            lines = page.Lines();
        } else {
            PlayLineEdits(
                e.lines, [&](int at, const std::string& text) { lines.insert(lines.begin() + at, text); },
                [&](int at) { lines.erase(lines.begin() + at); });
        }
        for (const int n : e.sources) {
            const std::string path = CustomSourcePath(CustomEntryName(n));
            if (const auto bytes = page.CustomSourceFileBytes(n)) EXPECT_TRUE(WriteWholeFile(path, *bytes));
            else RemoveFile(path);
        }
    }

    // The lines and every custom source's file say what the model holds.
    void Expect(const Composition& page) const {
        EXPECT_EQ(lines, page.Lines());
        for (int n = 1; n <= kMaxCustomSource + 1; ++n)
            EXPECT_EQ(ReadWholeFile(CustomSourcePath(CustomEntryName(n))), page.CustomSourceFileBytes(n)) << n;
    }

    std::vector<std::string> lines;
};

// A page in a fresh program folder, and what the window would show of it.
class MirroredPageTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CreateFolder(WorkingFolder())); }

    // Runs an operation and reflects it, as the window does.
    PageEffects Run(const PageEffects& e) {
        mirror.Reflect(page, e);
        return e;
    }
    void Append(std::initializer_list<std::string_view> names) {
        for (const std::string_view name : names) Run(page.InsertLine(static_cast<int>(page.Lines().size()), name));
    }
    void ExpectMirrored() { mirror.Expect(page); }

    TempFolder folder;
    Composition page;
    PageMirror mirror;
};

}  // namespace mojian::testing

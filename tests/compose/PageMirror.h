// What the window does with a composition's effects, done on plain data: a
// list box as a vector, the working folder's files, the template library.
// Tests compare the mirror with the model to check the effects say enough.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/File.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/Composition.h"
#include "compose/PageAssembly.h"
#include "tests/TempFolder.h"

namespace mojian::testing {

class PageMirror {
public:
    void Reflect(const Composition& page, const PageEffects& e) {
        if (e.listReset) {
            listBox = page.Lines();
        } else {
            for (const ListEdit& edit : e.list) {
                if (edit.kind == ListEdit::Kind::Insert) listBox.insert(listBox.begin() + edit.index, edit.text);
                else listBox.erase(listBox.begin() + edit.index);
            }
        }
        for (const int n : e.sources) {
            const std::string path = CustomSourcePath(CustomEntryName(n));
            if (const auto bytes = page.CustomSourceFileBytes(n)) EXPECT_TRUE(WriteWholeFile(path, *bytes));
            else RemoveFile(path);
        }
        for (const BlockId& id : e.blocks) SetBlock(id.kind, id.style, page.BlockText(id.kind, id.style));
    }

    std::vector<std::string> listBox;
};

// Puts the process-wide library back to the built-in texts.
inline void RestoreLibrary() {
    for (int k = 0; k < kKindCount; ++k)
        for (int s = 0; s < kStyleCounts[static_cast<std::size_t>(k)]; ++s)
            SetBlock(k, s, BuiltInLibrary().Get(k, s));
}

// A page in a fresh program folder, and what the window would show of it.
class MirroredPageTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(CreateFolder(WorkingFolder())); }
    void TearDown() override { RestoreLibrary(); }

    // Runs an operation and reflects it, as the window does.
    PageEffects Run(const PageEffects& e) {
        mirror.Reflect(page, e);
        return e;
    }
    void Append(std::initializer_list<std::string_view> names) {
        for (const std::string_view name : names) Run(page.InsertLine(static_cast<int>(page.Lines().size()), name));
    }
    void ExpectMirrored() {
        EXPECT_EQ(mirror.listBox, page.Lines());
        EXPECT_EQ(AssemblePage(mirror.listBox), page.PageHtml());
    }

    TempFolder folder;
    Composition page;
    PageMirror mirror;
};

}  // namespace mojian::testing

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

}  // namespace mojian::testing

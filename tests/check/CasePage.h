// Pages for the check's tests, written as the composition's lines one after
// another in a text file:
//   @@ 自定义源码      a new custom source: its text is the lines that follow,
//                      up to the next "@@ " line
//   @@ NAME            a line named NAME: a built-in block's entry name, or
//                      a name that resolves to nothing (自定义源码-101)
// Lines before the first "@@ " are comments. The page is built in a real
// Composition, so each line's HTML is what the page assembly takes.
#pragma once

#include <string>
#include <string_view>

#include "catalogue/Catalogue.h"
#include "compose/Composition.h"

namespace mojian::testing {

inline Composition CasePage(std::string_view text) {
    Composition page;
    std::string custom;
    bool inCustom = false;
    const auto flush = [&] {
        if (!inCustom) return;
        if (!custom.empty() && custom.back() == '\n') custom.pop_back();
        page.AddCustom(custom);
        custom.clear();
        inCustom = false;
    };
    std::size_t pos = 0;
    bool started = false;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        std::string_view line = text.substr(pos, next - pos);
        pos = next;
        std::string_view bare = line;
        while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r')) bare.remove_suffix(1);
        if (bare.substr(0, 3) == "@@ ") {
            flush();
            started = true;
            const std::string_view name = bare.substr(3);
            if (name == kCustomSourceCaption) inCustom = true;
            else page.InsertLine(static_cast<int>(page.Lines().size()), name);
        } else if (inCustom) {
            custom.append(line);
        } else if (started && !bare.empty()) {
            // Text after a named line belongs to no line: a mistake in the case.
            page.InsertLine(static_cast<int>(page.Lines().size()), "（用例写错：名称行后面有文字）");
        }
    }
    flush();
    return page;
}

}  // namespace mojian::testing

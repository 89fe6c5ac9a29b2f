// What the check's tests share: a picture source that knows sizes from the
// addresses themselves, and findings written as "rule: the source they point at".
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "check/Check.h"

namespace mojian::testing {

// An address with "_WxH." in it (".../shoe_1200x800.jpg") is a picture of
// that natural size; any other has failed to load.
class SizedPictures final : public html::PictureSource {
public:
    html::PictureInfo Query(std::string_view url) override {
        for (std::size_t at = url.find('_'); at != std::string_view::npos; at = url.find('_', at + 1)) {
            int w = 0, h = 0, n = 0;
            const std::string rest(url.substr(at + 1));
            if (std::sscanf(rest.c_str(), "%dx%d.%n", &w, &h, &n) == 2 && n > 0 && w > 0 && h > 0)
                return {html::PictureInfo::State::Ready, w, h};
        }
        return {};
    }
    std::shared_ptr<const html::Picture> Pixels(std::string_view) override { return nullptr; }
};

// "rule: covered source" for each finding, in order.
inline std::vector<std::string> Hits(const std::vector<check::Finding>& findings, std::string_view html) {
    std::vector<std::string> out;
    for (const auto& f : findings) out.push_back(f.rule + ": " + std::string(f.range.Of(html)));
    return out;
}

}  // namespace mojian::testing

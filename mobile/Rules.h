// The mobile description's rules: what a picture of it may be. They come
// from seller tools' published guidance, not from an official page, so they
// live as data (mobile/rules.json, compiled in), each with its source and
// the date it was checked, and a file of the same form can replace them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mojian::mobile {

// Where one figure comes from, for the notes written beside the pictures.
struct RuleSource {
    std::string id;  // "maxHeight"
    std::string source;
    std::string checked;  // YYYY-MM-DD
};

struct MobileRules {
    // The defaults are the built-in file's figures: a file that leaves a
    // figure out keeps it.
    int minWidth = 480;
    int maxWidth = 1242;
    int recommendedWidth = 750;
    int maxHeight = 1546;
    std::uint64_t maxBytes = 3145728;
    std::vector<std::string> formats{"jpg", "png", "gif"};  // lower case
    std::string hotAreas = "rectangle-relative";
    // The limits before they were relaxed, kept for comparison.
    struct Earlier {
        int minWidth = 480;
        int maxWidth = 620;
        int maxHeight = 960;
    } earlier;
    std::vector<RuleSource> sources;

    // The rules compiled in, parsed once (thread-safe).
    static const MobileRules& BuiltIn();
    // Nothing, with a Chinese message in `error`, when the text is not a
    // mobile rule file or a figure is out of reason.
    static std::optional<MobileRules> FromJson(std::string_view json, std::string* error = nullptr);

    bool Allows(std::string_view format) const;  // "jpg", "png"
};

}  // namespace mojian::mobile

// Addresses as browsers read them, and what the check makes of picture
// addresses: whether a buyer's browser can load them and from which host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mojian::check {

// An attribute's (decoded) value as a browser takes it for an address:
// leading and trailing controls and spaces dropped, tabs and line breaks
// anywhere removed.
std::string BrowserAddress(std::string_view value);

// The address's scheme in lower case ("javascript", "http"), empty when it
// has none. `address` as BrowserAddress gives it.
std::string AddressScheme(std::string_view address);

struct PictureVerdict {
    enum class Kind : std::uint8_t {
        Empty,       // no address at all
        Unloadable,  // a local file, a share, a relative path, another scheme...
        Network,     // http, https or scheme-relative: `host` says from where
        Data,        // the picture is in the address
    };
    Kind kind = Kind::Empty;
    std::string host;  // Network: lower case
    std::string why;   // Empty, Unloadable: in Chinese, what kind of address it is
};

// `address` as BrowserAddress gives it.
PictureVerdict JudgePictureAddress(std::string_view address);

// Whether `host` is `domain` or a subdomain of it.
bool OnHost(std::string_view host, std::string_view domain);

}  // namespace mojian::check

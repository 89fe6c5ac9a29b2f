// Picture addresses as the loader understands them: what kind of source an
// address names and the one spelling the loader requests and caches it by.
// Pages are pasted from anywhere, so anything that is not plainly an http,
// https, local file or data address fails here, before any work is queued.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mojian::html {

struct PictureAddress {
    enum class Kind : std::uint8_t { Invalid, Http, Https, File, Data };
    Kind kind = Kind::Invalid;
    // Http, Https: the URL to request, ASCII only: scheme and host in lower
    //   case, default port and fragment dropped, dot segments resolved,
    //   bytes outside ASCII and unsafe characters percent-encoded. Also the
    //   disk cache's key.
    // File: a local path on a drive, UTF-8, with backslashes ("C:\\a\\b.png").
    // Data: the address as given (the picture is in it).
    std::string target;

    bool IsNetwork() const { return kind == Kind::Http || kind == Kind::Https; }
};

// Accepts "http://", "https://", "file:///C:/..." (also "file://localhost/"),
// paths on a drive ("C:\\..." or "C:/..."), "data:" and, as pages on the
// marketplace are served over https, scheme-relative "//host/..." as https.
// Relative addresses, other schemes, addresses with credentials, and shares
// or devices ("\\\\server\\share", "file://server/...", "\\\\.\\...") are Invalid:
// the preview must not make the system connect to a stranger's share.
PictureAddress ClassifyPictureAddress(std::string_view url);

// Where a redirect from `from` (an Http or Https address) leads: `location`
// resolved against it as browsers resolve relative references. Invalid
// unless it leads to another Http or Https address.
PictureAddress ResolveRedirect(const PictureAddress& from, std::string_view location);

// An Http or Https address's parts, as a connection takes them: the host
// (IPv6 without brackets), the port (80 or 443 when the address has none),
// and the path with its query.
struct NetworkParts {
    bool https = false;
    std::string host;
    int port = 0;
    std::string pathAndQuery;
};
NetworkParts SplitNetworkAddress(const PictureAddress& address);

// The bytes a data: address carries (base64 or percent-encoded), or nothing
// when it is malformed or would exceed `maxBytes`.
std::optional<std::string> DecodeDataAddress(std::string_view url, std::size_t maxBytes);

}  // namespace mojian::html

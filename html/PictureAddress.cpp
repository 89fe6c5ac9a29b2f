#include "html/PictureAddress.h"

#include <vector>

#include "base/Text.h"

namespace mojian::html {

namespace {

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// `prefix` is in lower case.
bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiLower(s[i]) != prefix[i]) return false;
    }
    return true;
}

bool EqualsNoCase(std::string_view s, std::string_view lower) {
    return s.size() == lower.size() && StartsWithNoCase(s, lower);
}

// Browsers drop leading and trailing spaces and controls, and tabs and line
// breaks anywhere (an address wrapped over two lines of the source still works).
std::string Cleaned(std::string_view url) {
    std::size_t begin = 0, end = url.size();
    while (begin < end && static_cast<unsigned char>(url[begin]) <= 0x20) ++begin;
    while (end > begin && static_cast<unsigned char>(url[end - 1]) <= 0x20) --end;
    std::string out;
    out.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        if (url[i] != '\t' && url[i] != '\n' && url[i] != '\r') out += url[i];
    }
    return out;
}

void AppendPercent(std::string& out, unsigned char byte) {
    static const char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
}

// Percent-decodes %XX sequences; malformed ones stay as they are.
std::string PercentDecoded(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Removes "." and ".." segments from an absolute path ("/a/./b/../c" is "/a/c").
std::string WithoutDotSegments(std::string_view path) {
    std::vector<std::string_view> segments;
    std::size_t pos = 1;  // past the leading '/'
    bool endsInFolder = false;
    while (pos <= path.size()) {
        std::size_t next = path.find('/', pos);
        if (next == std::string_view::npos) next = path.size();
        const std::string_view segment = path.substr(pos, next - pos);
        const bool last = next == path.size();
        if (segment == "." || EqualsNoCase(segment, "%2e")) {
            endsInFolder = last;
        } else if (segment == ".." || EqualsNoCase(segment, ".%2e") || EqualsNoCase(segment, "%2e.") ||
                   EqualsNoCase(segment, "%2e%2e")) {
            if (!segments.empty()) segments.pop_back();
            endsInFolder = last;
        } else {
            segments.push_back(segment);
            endsInFolder = false;
        }
        pos = next + 1;
    }
    std::string out;
    for (const auto& s : segments) {
        out += '/';
        out += s;
    }
    if (out.empty() || endsInFolder) out += '/';
    return out;
}

// The host as requested: ASCII letters, digits, '-', '.', '_' or a bracketed
// IPv6 address, in lower case. Names outside ASCII would need IDNA, which
// picture hosts do not use.
std::optional<std::string> NormalisedHost(std::string_view host) {
    if (host.empty()) return std::nullopt;
    std::string out;
    if (host.front() == '[') {
        if (host.back() != ']' || host.size() < 3) return std::nullopt;
        for (char c : host.substr(1, host.size() - 2)) {
            if (!(IsAsciiDigit(c) || HexValue(c) >= 0 || c == ':' || c == '.')) return std::nullopt;
        }
        for (char c : host) out += AsciiLower(c);
        return out;
    }
    for (char c : host) {
        if (!(IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '-' || c == '.' || c == '_')) return std::nullopt;
        out += AsciiLower(c);
    }
    if (out.find_first_not_of('.') == std::string::npos) return std::nullopt;
    return out;
}

PictureAddress NetworkAddress(bool https, std::string_view rest) {
    PictureAddress invalid;
    // Special schemes take any number of slashes or backslashes before the host.
    std::size_t pos = 0;
    while (pos < rest.size() && (rest[pos] == '/' || rest[pos] == '\\')) ++pos;
    const std::size_t authorityEnd = rest.find_first_of("/\\?#", pos);
    const std::string_view authority =
        rest.substr(pos, authorityEnd == std::string_view::npos ? std::string_view::npos : authorityEnd - pos);
    // Browsers refuse subresources with credentials in their address.
    if (authority.find('@') != std::string_view::npos) return invalid;

    std::string_view hostPart = authority, portPart;
    const std::size_t bracket = authority.rfind(']');
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        hostPart = authority.substr(0, colon);
        portPart = authority.substr(colon + 1);
    }
    const auto host = NormalisedHost(hostPart);
    if (!host) return invalid;
    int port = 0;
    if (!portPart.empty()) {
        if (portPart.size() > 5) return invalid;
        for (char c : portPart) {
            if (!IsAsciiDigit(c)) return invalid;
            port = port * 10 + (c - '0');
        }
        if (port == 0 || port > 65535) return invalid;
    }

    PictureAddress address;
    address.kind = https ? PictureAddress::Kind::Https : PictureAddress::Kind::Http;
    std::string& url = address.target;
    url = https ? "https://" : "http://";
    url += *host;
    if (port != 0 && port != (https ? 443 : 80)) url += ':' + std::to_string(port);

    std::string_view tail = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    const std::size_t hash = tail.find('#');
    if (hash != std::string_view::npos) tail = tail.substr(0, hash);
    const std::size_t question = tail.find('?');
    const std::string_view rawPath = tail.substr(0, question);
    const std::string_view rawQuery = question == std::string_view::npos ? std::string_view() : tail.substr(question);

    std::string path;
    for (char c : rawPath) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            path += '/';
        } else if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' || c == '>' || c == '`' || c == '{' ||
                   c == '}') {
            AppendPercent(path, byte);
        } else {
            path += c;
        }
    }
    if (path.empty()) path = "/";
    url += WithoutDotSegments(path);
    for (char c : rawQuery) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\'') {
            AppendPercent(url, byte);
        } else {
            url += c;
        }
    }
    return address;
}

bool IsDriveStart(std::string_view s) {
    return s.size() >= 3 && IsAsciiAlpha(s[0]) && (s[1] == ':' || s[1] == '|') && (s[2] == '/' || s[2] == '\\');
}

// "C:/a/b", "C|/a/b" or "C:\\a\\b" as "C:\\a\\b". (Device names such as
// "C:\\con" pass here; the reader opens only files on disk.)
PictureAddress DrivePath(std::string_view path) {
    PictureAddress address;
    std::string out;
    out += static_cast<char>(path[0] >= 'a' && path[0] <= 'z' ? path[0] - 'a' + 'A' : path[0]);
    out += ':';
    for (char c : path.substr(2)) {
        if (c == '\0') return address;
        out += c == '/' ? '\\' : c;
    }
    address.kind = PictureAddress::Kind::File;
    address.target = std::move(out);
    return address;
}

PictureAddress FileUrl(std::string_view rest) {
    // rest follows "file:". A host names another machine's share, which the
    // preview never opens; "localhost" is this machine, and some pages put
    // the drive where the host goes ("file://C:/x").
    if (rest.size() >= 2 && (rest[0] == '/' || rest[0] == '\\') && (rest[1] == '/' || rest[1] == '\\')) {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find_first_of("/\\");
        const std::string_view host = rest.substr(0, slash);
        const bool drive = host.size() == 2 && IsAsciiAlpha(host[0]) && (host[1] == ':' || host[1] == '|');
        if (!host.empty() && !drive) {
            if (!EqualsNoCase(host, "localhost")) return {};
            rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        }
    }
    while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) rest.remove_prefix(1);
    const std::string decoded = PercentDecoded(rest.substr(0, rest.find_first_of("?#")));
    if (!IsDriveStart(decoded)) return {};
    return DrivePath(decoded);
}

// Forgiving base64 (as browsers decode data: addresses): spaces are skipped,
// padding is optional; anything else outside the alphabet is an error.
std::optional<std::string> Base64Decoded(std::string_view s, std::size_t maxBytes) {
    std::string out;
    out.reserve(s.size() / 4 * 3 < maxBytes ? s.size() / 4 * 3 : maxBytes);
    std::uint32_t bits = 0;
    int count = 0;
    int padding = 0;
    for (char c : s) {
        int v;
        if (c >= 'A' && c <= 'Z') v = c - 'A';
        else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
        else if (c >= '0' && c <= '9') v = c - '0' + 52;
        else if (c == '+') v = 62;
        else if (c == '/') v = 63;
        else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') continue;
        else if (c == '=') {
            ++padding;
            continue;
        } else return std::nullopt;
        if (padding > 0) return std::nullopt;  // data after padding
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        if (++count == 4) {
            if (out.size() + 3 > maxBytes) return std::nullopt;
            out += static_cast<char>((bits >> 16) & 0xFF);
            out += static_cast<char>((bits >> 8) & 0xFF);
            out += static_cast<char>(bits & 0xFF);
            bits = 0;
            count = 0;
        }
    }
    if (count == 1 || padding > 2 || (padding > 0 && (count + padding) % 4 != 0)) return std::nullopt;
    if (out.size() + (count == 0 ? 0 : count - 1) > maxBytes) return std::nullopt;
    if (count == 2) out += static_cast<char>((bits >> 4) & 0xFF);
    if (count == 3) {
        out += static_cast<char>((bits >> 10) & 0xFF);
        out += static_cast<char>((bits >> 2) & 0xFF);
    }
    return out;
}

}  // namespace

PictureAddress ClassifyPictureAddress(std::string_view url) {
    const std::string s = Cleaned(url);
    if (s.empty()) return {};
    if (IsDriveStart(s) && s[1] == ':') return DrivePath(s);
    if (s.size() >= 2 && (s[0] == '/' || s[0] == '\\') && (s[1] == '/' || s[1] == '\\')) {
        // "\\\\server\\share" is a share; "//host/x" borrows the page's https.
        if (s[0] == '\\' || s[1] == '\\') return {};
        return NetworkAddress(true, s);
    }
    const std::size_t colon = s.find(':');
    if (colon == std::string::npos || colon == 0 || !IsAsciiAlpha(s[0])) return {};
    for (std::size_t i = 1; i < colon; ++i) {
        const char c = s[i];
        if (!(IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.')) return {};
    }
    const std::string_view rest = std::string_view(s).substr(colon + 1);
    const std::string_view scheme = std::string_view(s).substr(0, colon);
    if (EqualsNoCase(scheme, "http")) return NetworkAddress(false, rest);
    if (EqualsNoCase(scheme, "https")) return NetworkAddress(true, rest);
    if (EqualsNoCase(scheme, "file")) return FileUrl(rest);
    if (EqualsNoCase(scheme, "data")) {
        if (s.find(',') == std::string::npos) return {};
        PictureAddress address;
        address.kind = PictureAddress::Kind::Data;
        address.target = s;
        return address;
    }
    return {};
}

PictureAddress ResolveRedirect(const PictureAddress& from, std::string_view location) {
    if (!from.IsNetwork()) return {};
    const std::string loc = Cleaned(location);
    const std::string& base = from.target;  // normalised: "scheme://host[:port]/path?query"
    const std::size_t originEnd = base.find('/', base.find("://") + 3);
    const std::string origin = base.substr(0, originEnd);
    const std::string pathAndQuery = base.substr(originEnd);
    const std::string path = pathAndQuery.substr(0, pathAndQuery.find('?'));
    std::string target;
    const std::size_t colon = loc.find(':');
    const std::size_t firstDelimiter = loc.find_first_of("/?#");
    if (colon != std::string::npos && colon > 0 && (firstDelimiter == std::string::npos || colon < firstDelimiter)) {
        target = loc;  // absolute: its own scheme
    } else if (loc.size() >= 2 && (loc[0] == '/' || loc[0] == '\\') && (loc[1] == '/' || loc[1] == '\\')) {
        target = base.substr(0, base.find(':') + 1) + loc;
    } else if (!loc.empty() && (loc[0] == '/' || loc[0] == '\\')) {
        target = origin + loc;
    } else if (!loc.empty() && loc[0] == '?') {
        target = origin + path + loc;
    } else if (loc.empty() || loc[0] == '#') {
        target = base;
    } else {
        target = origin + path.substr(0, path.rfind('/') + 1) + loc;
    }
    PictureAddress to = ClassifyPictureAddress(target);
    if (!to.IsNetwork()) return {};
    return to;
}

NetworkParts SplitNetworkAddress(const PictureAddress& address) {
    NetworkParts parts;
    if (!address.IsNetwork()) return parts;
    parts.https = address.kind == PictureAddress::Kind::Https;
    parts.port = parts.https ? 443 : 80;
    // The target is normalised: "scheme://host[:port]/path?query".
    const std::string_view t = address.target;
    const std::size_t hostStart = t.find("://") + 3;
    const std::size_t pathStart = t.find('/', hostStart);
    std::string_view authority = t.substr(hostStart, pathStart - hostStart);
    const std::size_t bracket = authority.rfind(']');
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        parts.port = std::stoi(std::string(authority.substr(colon + 1)));
        authority = authority.substr(0, colon);
    }
    if (!authority.empty() && authority.front() == '[') authority = authority.substr(1, authority.size() - 2);
    parts.host = std::string(authority);
    parts.pathAndQuery = std::string(t.substr(pathStart));
    return parts;
}

std::optional<std::string> DecodeDataAddress(std::string_view url, std::size_t maxBytes) {
    const std::string s = Cleaned(url);
    if (!StartsWithNoCase(s, "data:")) return std::nullopt;
    const std::size_t comma = s.find(',');
    if (comma == std::string::npos) return std::nullopt;
    std::string_view header = std::string_view(s).substr(5, comma - 5);
    while (!header.empty() && header.back() == ' ') header.remove_suffix(1);
    bool base64 = false;
    if (header.size() >= 7) base64 = EqualsNoCase(header.substr(header.size() - 7), ";base64");
    std::string_view body = std::string_view(s).substr(comma + 1);
    const std::size_t hash = body.find('#');
    if (hash != std::string_view::npos) body = body.substr(0, hash);
    std::string bytes = PercentDecoded(body);
    if (base64) return Base64Decoded(bytes, maxBytes);
    if (bytes.size() > maxBytes) return std::nullopt;
    return bytes;
}

}  // namespace mojian::html

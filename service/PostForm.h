// The program's one way of talking HTTP: a form-encoded POST through the
// system's XML request object, answered as GBK text.
#pragma once

#include <string>
#include <string_view>

namespace mojian {

// How long an exchange may take before it is given up. The service answers
// in well under a second; ten seconds covers a slow line without leaving the
// user staring at a program that seems stuck.
inline constexpr unsigned kPostFormTimeoutMs = 10000;

struct PostFormOptions {
    unsigned timeoutMs = kPostFormTimeoutMs;
    // Request objects to try, in order, ending with nullptr; nullptr for the
    // usual "Msxml2.XMLHTTP", then "Microsoft.XMLHTTP".
    const wchar_t* const* progIds = nullptr;
};

// Posts `body` to `url` (UTF-8) and returns the answer body decoded from GBK
// (UTF-8). The window keeps handling its events while the answer is awaited.
// Empty text when there is no request object, the request fails, or no
// answer has come within the time limit; never throws.
std::string PostForm(std::string_view url, std::string_view body, const PostFormOptions& options = {});

}  // namespace mojian

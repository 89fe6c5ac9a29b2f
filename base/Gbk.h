// GBK (Windows code page 936, 0x80 being the euro sign) is how text sits in
// files and travels on the wire; inside the program text is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace mojian {

// Decodes GBK bytes. Bytes that are not GBK become U+FFFD; nothing is dropped
// silently and nothing throws.
std::string GbkToUtf8(std::string_view gbk);

// Encodes UTF-8 text as GBK. A character GBK cannot hold (emoji, rare CJK) is
// written as an HTML character reference such as &#x1F600;, which renders the
// same in a browser, so a page never loses a character or gains a "?".
std::string Utf8ToGbk(std::string_view utf8);


}  // namespace mojian

// GBK through iconv, for the native builds and tests. iconv converts between
// GBK and UCS-4 (its own internal form, one step and much the fastest); the
// UTF-8 side is ours.

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "base/GbkCommon.h"
#include "base/Utf.h"

namespace mojian {

namespace {

static_assert(sizeof(wchar_t) == 4, "iconv's WCHAR_T is taken as UCS-4");

constexpr std::size_t kChunk = 1024;  // characters converted per iconv call

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert CP936");
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts from `in` into [out, outEnd) as far as both allow; returns
    // errno (0 when all input is used, E2BIG when the output is full) and
    // moves `in` and `out` past what was converted.
    int Convert(const char*& in, const char* inEnd, char*& out, char* outEnd) {
        char* src = const_cast<char*>(in);
        std::size_t inLeft = static_cast<std::size_t>(inEnd - in);
        std::size_t outLeft = static_cast<std::size_t>(outEnd - out);
        const std::size_t r = iconv(cd_, &src, &inLeft, &out, &outLeft);
        const int err = (r == static_cast<std::size_t>(-1)) ? errno : 0;
        in = src;
        if (err != 0 && err != E2BIG) iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset the shift state
        return err;
    }

private:
    iconv_t cd_;
};

// Opening a descriptor costs more than converting a page, so each thread
// keeps one per direction (a descriptor must not be shared between threads).
Iconv& Decoder() {
    thread_local Iconv cv("WCHAR_T", "CP936");
    return cv;
}

Iconv& Encoder() {
    thread_local Iconv cv("CP936", "WCHAR_T");
    return cv;
}

// Hands `count` code points to iconv; one GBK lacks becomes a character reference.
void EncodeUcs4(const char32_t* wide, std::size_t count, std::string& out) {
    Iconv& cv = Encoder();
    const char* in = reinterpret_cast<const char*>(wide);
    const char* const end = reinterpret_cast<const char*>(wide + count);
    char buf[2 * kChunk];  // GBK takes at most two bytes for a character
    while (in < end) {
        char* o = buf;
        const int err = cv.Convert(in, end, o, buf + sizeof buf);
        out.append(buf, o);
        if (err != 0 && err != E2BIG) {
            char32_t cp;
            std::memcpy(&cp, in, sizeof cp);
            gbk::AppendCharRef(out, cp);
            in += sizeof cp;
        }
    }
}

}  // namespace

// One stretch between ASCII runs (see DecodeInRuns).
void gbk::DecodeStretch(const unsigned char* from, const unsigned char* to, std::string& out) {
    Iconv& cv = Decoder();
    const char* in = reinterpret_cast<const char*>(from);
    const char* const end = reinterpret_cast<const char*>(to);
    char32_t wide[kChunk];
    while (in < end) {
        char* w = reinterpret_cast<char*>(wide);
        const int err = cv.Convert(in, end, w, reinterpret_cast<char*>(wide + kChunk));
        gbk::AppendAsUtf8(out, wide, reinterpret_cast<const char32_t*>(w));
        if (err != 0 && err != E2BIG) {  // not GBK, or cut off at the end
            out += gbk::kReplacementUtf8;
            in += gbk::BadSpan(reinterpret_cast<const unsigned char*>(in), to);
        }
    }
}

// One stretch between ASCII runs (see EncodeInRuns): decoded here, a chunk
// at a time, and an ill-formed spot written as a reference to U+FFFD.
void gbk::EncodeStretch(std::string_view stretch, std::string& out) {
    char32_t wide[kChunk];
    std::size_t pos = 0;
    while (pos < stretch.size()) {
        std::size_t count = 0;
        bool illFormed = false;
        while (count < kChunk && pos < stretch.size()) {
            const std::size_t at = pos;
            const char32_t cp = gbk::NextChar(stretch, pos);
            if (pos == at + 1 && static_cast<unsigned char>(stretch[at]) >= 0x80) {
                illFormed = true;  // a real U+FFFD takes three bytes
                break;
            }
            wide[count++] = cp;
        }
        EncodeUcs4(wide, count, out);
        if (illFormed) gbk::AppendCharRef(out, 0xFFFD);
    }
}

}  // namespace mojian

// GBK through iconv, for the native builds and tests.
#include "base/Gbk.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

#include "base/GbkCommon.h"
#include "base/Utf.h"

namespace mojian {

namespace {

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert CP936");
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts as much as possible; returns errno (0 when all input is used).
    int Convert(const char*& in, std::size_t& inLeft, std::string& out) {
        char buf[4096];
        while (inLeft > 0) {
            char* dst = buf;
            std::size_t dstLeft = sizeof buf;
            char* src = const_cast<char*>(in);
            const std::size_t r = iconv(cd_, &src, &inLeft, &dst, &dstLeft);
            const int err = (r == static_cast<std::size_t>(-1)) ? errno : 0;
            in = src;
            out.append(buf, dst);
            if (err == E2BIG) continue;
            if (err != 0) {
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset the shift state
                return err;
            }
        }
        return 0;
    }

private:
    iconv_t cd_;
};

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
    Iconv cv("UTF-8", "CP936");
    std::string out;
    out.reserve(gbk.size() + gbk.size() / 2);
    const char* in = gbk.data();
    std::size_t left = gbk.size();
    const auto* end = reinterpret_cast<const unsigned char*>(gbk.data() + gbk.size());
    while (left > 0) {
        if (cv.Convert(in, left, out) == 0) break;
        const auto* p = reinterpret_cast<const unsigned char*>(in);
        const std::size_t skip = gbk::BadSpan(p, end);
        out += gbk::kReplacementUtf8;
        in += skip;
        left -= skip;
    }
    return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
    Iconv cv("CP936", "UTF-8");
    std::string out;
    out.reserve(utf8.size());
    const char* in = utf8.data();
    std::size_t left = utf8.size();
    while (left > 0) {
        if (cv.Convert(in, left, out) == 0) break;
        std::size_t pos = static_cast<std::size_t>(in - utf8.data());
        const std::size_t before = pos;
        const char32_t cp = NextCodePoint(utf8, pos);
        gbk::AppendCharRef(out, cp);
        in += pos - before;
        left -= pos - before;
    }
    return out;
}

}  // namespace mojian

// GBK in and out, the same way on every platform: ASCII runs are copied and
// the stretches between them go to the platform's back end.
#include "base/Gbk.h"

#include "base/GbkCommon.h"

namespace mojian {

std::string GbkToUtf8(std::string_view gbk) {
    std::string out;
    out.reserve(gbk.size() + gbk.size() / 2);
    gbk::DecodeInRuns(gbk, out, gbk::DecodeStretch);
    return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    gbk::EncodeInRuns(utf8, out, gbk::EncodeStretch);
    return out;
}

}  // namespace mojian

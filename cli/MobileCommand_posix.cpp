// mojian mobile outside Windows: the pictures are painted with GDI and
// encoded with WIC, which only Windows has.
#include "cli/Cli.h"

namespace mojian::cli {

int RunMobile(const std::vector<std::string>&, Output& out) {
    return Fail(out, kMisused, "mobile 命令要用 GDI 画页面、用 WIC 编码图片，只能在 Windows 上运行（mojian.com）。");
}

}  // namespace mojian::cli

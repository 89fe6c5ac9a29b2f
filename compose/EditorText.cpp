#include "compose/EditorText.h"

namespace mojian {

namespace {

constexpr std::string_view kBookmarkAddress = "https://shoucang.taobao.com/";
constexpr std::string_view kPictureHost = "https://img.alicdn.com/imgextra/i1/mojian/";

}  // namespace

std::string DefaultEditorText() {
    const std::string site(kMakerSiteAddress);
    std::string t;
    t += "<p align=\"center\"><font color=\"#ff0000\"><strong>墨笺</strong></font>：";
    t += "<a href=\"" + site + "\" target=\"_blank\">" + site + "</a> ";
    t += "<a href=\"" + std::string(kBookmarkAddress) + "\" target=\"_blank\">《收藏》</a></p>\r\n";
    t += "<p align=\"center\">";
    for (int i = 1; i <= 4; ++i)
        t += "<img src=\"" + std::string(kPictureHost) + "advert-" + std::to_string(i) + ".jpg\">";
    t += "</p>\r\n";
    t += "<p align=\"center\">\u3000</p>\r\n";
    return t;
}

}  // namespace mojian

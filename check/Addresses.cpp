#include "check/Addresses.h"

#include "check/Text.h"
#include "html/PictureAddress.h"

namespace mojian::check {

std::string BrowserAddress(std::string_view value) {
    while (!value.empty() && static_cast<unsigned char>(value.front()) <= 0x20) value.remove_prefix(1);
    while (!value.empty() && static_cast<unsigned char>(value.back()) <= 0x20) value.remove_suffix(1);
    std::string out;
    out.reserve(value.size());
    for (char c : value)
        if (c != '\t' && c != '\n' && c != '\r') out += c;
    return out;
}

std::string AddressScheme(std::string_view address) {
    std::size_t i = 0;
    const auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (address.empty() || !alpha(address[0])) return {};
    while (i < address.size() &&
           (alpha(address[i]) || (address[i] >= '0' && address[i] <= '9') || address[i] == '+' || address[i] == '-' ||
            address[i] == '.'))
        ++i;
    if (i >= address.size() || address[i] != ':') return {};
    return AsciiLowered(address.substr(0, i));
}

PictureVerdict JudgePictureAddress(std::string_view address) {
    using Kind = PictureVerdict::Kind;
    if (address.empty()) return {Kind::Empty, {}, "空地址"};
    const html::PictureAddress a = html::ClassifyPictureAddress(address);
    switch (a.kind) {
    case html::PictureAddress::Kind::Http:
    case html::PictureAddress::Kind::Https: return {Kind::Network, AsciiLowered(html::SplitNetworkAddress(a).host), {}};
    case html::PictureAddress::Kind::Data: return {Kind::Data, {}, {}};
    case html::PictureAddress::Kind::File:
    case html::PictureAddress::Kind::Invalid: break;
    }
    const std::string scheme = AddressScheme(address);
    const bool drive = address.size() >= 2 && address[1] == ':' && scheme.size() == 1;
    std::string why;
    if (drive) why = "本机盘符路径";
    else if (scheme == "file") why = "file: 本机文件地址";
    else if (StartsWith(address, "\\\\")) why = "网络共享路径";
    else if (scheme == "http" || scheme == "https") why = "写错的网址";
    else if (!scheme.empty()) why = scheme + ": 地址，浏览器不从网上加载";
    else why = "相对路径，指向您电脑上的文件";
    return {Kind::Unloadable, {}, std::move(why)};
}

bool OnHost(std::string_view host, std::string_view domain) {
    if (host == domain) return true;
    return host.size() > domain.size() && host.substr(host.size() - domain.size()) == domain &&
           host[host.size() - domain.size() - 1] == '.';
}

}  // namespace mojian::check

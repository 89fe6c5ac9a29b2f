#include "html/PictureAddress.h"

#include <gtest/gtest.h>

#include <string>

namespace mojian::html {
namespace {

using Kind = PictureAddress::Kind;

TEST(PictureAddress, WebAddressesAreRequestedInOneSpelling) {
    const struct {
        const char* given;
        Kind kind;
        const char* target;
    } cases[] = {
        {"HTTP://Img.Example.COM/a/B.png", Kind::Http, "http://img.example.com/a/B.png"},
        {"  https://h.cn/x.jpg \n", Kind::Https, "https://h.cn/x.jpg"},
        {"http://h.cn/a\tb/c\r\n.png", Kind::Http, "http://h.cn/ab/c.png"},  // wrapped in the source
        {"http://h.cn:80/x", Kind::Http, "http://h.cn/x"},
        {"https://h.cn:443/x", Kind::Https, "https://h.cn/x"},
        {"http://h.cn:8080/x", Kind::Http, "http://h.cn:8080/x"},
        {"http://h.cn", Kind::Http, "http://h.cn/"},
        {"http://h.cn?v=2", Kind::Http, "http://h.cn/?v=2"},
        {"http://h.cn/x.png#top", Kind::Http, "http://h.cn/x.png"},
        {"http://h.cn/a/./b/../c.png", Kind::Http, "http://h.cn/a/c.png"},
        {"http://h.cn/a/%2e%2E/c.png", Kind::Http, "http://h.cn/c.png"},
        {"http://h.cn/../../c.png", Kind::Http, "http://h.cn/c.png"},
        {"http://h.cn/a/b/..", Kind::Http, "http://h.cn/a/"},
        {"http:\\\\h.cn\\a\\b.png", Kind::Http, "http://h.cn/a/b.png"},
        {"http:///h.cn/x.png", Kind::Http, "http://h.cn/x.png"},  // as browsers read it
        {"http://h.cn/图 1.png?q=猫&n=<2>", Kind::Http,
         "http://h.cn/%E5%9B%BE%201.png?q=%E7%8C%AB&n=%3C2%3E"},
        {"http://h.cn/a%20b.png", Kind::Http, "http://h.cn/a%20b.png"},  // escapes stay as written
        {"http://[::1]:8080/x", Kind::Http, "http://[::1]:8080/x"},
        {"http://127.0.0.1:18936/p.gif", Kind::Http, "http://127.0.0.1:18936/p.gif"},
        // Marketplace pages are https: a scheme-relative picture comes over https.
        {"//img.alicdn.com/imgextra/i1/x.jpg", Kind::Https, "https://img.alicdn.com/imgextra/i1/x.jpg"},
    };
    for (const auto& c : cases) {
        const PictureAddress a = ClassifyPictureAddress(c.given);
        EXPECT_EQ(a.kind, c.kind) << c.given;
        EXPECT_EQ(a.target, c.target) << c.given;
        EXPECT_TRUE(a.IsNetwork()) << c.given;
    }
}

TEST(PictureAddress, RefusesWhatCannotOrMustNotBeLoaded) {
    for (const char* given : {
             "", "   ", "images/a.png", "/a.png", "../a.png", "?x", "#x", "a.png",
             "javascript:alert(1)", "ftp://h.cn/x.png", "about:blank", "mailto:a@b.cn", "blob:abc", "1http://x",
             "http://user:pw@h.cn/x.png", "http://@h.cn/x", "http://", "http://h.cn:0/",
             "http://h.cn:65536/", "http://h.cn:12ab/", "http://ex ample.com/", "http://例子.中国/x.png",
             "http://.../", "http://[::1/x",
             // Another machine's share or a device: the system would connect to it.
             "\\\\server\\share\\a.png", "\\/server/a.png", "file://server/share/a.png", "file:////server/share/a.png",
             "\\\\.\\PhysicalDrive0", "file:///home/a.png", "file:///C:/a%00.png", "c:a.png", "C:", "data:image/png"}) {
        EXPECT_EQ(ClassifyPictureAddress(given).kind, Kind::Invalid) << given;
    }
}

TEST(PictureAddress, LocalFilesBecomePathsOnTheirDrive) {
    const struct {
        const char* given;
        const char* path;
    } cases[] = {
        {"C:\\pics\\a.png", "C:\\pics\\a.png"},
        {"d:/pics/a.png", "D:\\pics\\a.png"},
        {"C:\\商品\\主图.jpg", "C:\\商品\\主图.jpg"},
        {"file:///C:/My%20Pictures/%E4%B8%BB%E5%9B%BE.png", "C:\\My Pictures\\主图.png"},
        {"FILE:///c:/a.png?x=1#y", "C:\\a.png"},
        {"file://localhost/D:/x.png", "D:\\x.png"},
        {"file:///C|/x.png", "C:\\x.png"},
        {"file://C:/x.png", "C:\\x.png"},
        {"file:C:/x.png", "C:\\x.png"},
    };
    for (const auto& c : cases) {
        const PictureAddress a = ClassifyPictureAddress(c.given);
        EXPECT_EQ(a.kind, Kind::File) << c.given;
        EXPECT_EQ(a.target, c.path) << c.given;
    }
}

TEST(PictureAddress, SplitsWebAddressesForTheConnection) {
    NetworkParts p = SplitNetworkAddress(ClassifyPictureAddress("http://h.cn:8080/a/b.png?x=1"));
    EXPECT_FALSE(p.https);
    EXPECT_EQ(p.host, "h.cn");
    EXPECT_EQ(p.port, 8080);
    EXPECT_EQ(p.pathAndQuery, "/a/b.png?x=1");

    p = SplitNetworkAddress(ClassifyPictureAddress("https://h.cn"));
    EXPECT_TRUE(p.https);
    EXPECT_EQ(p.port, 443);
    EXPECT_EQ(p.pathAndQuery, "/");

    p = SplitNetworkAddress(ClassifyPictureAddress("http://[::1]:81/x"));
    EXPECT_EQ(p.host, "::1");
    EXPECT_EQ(p.port, 81);
    EXPECT_EQ(SplitNetworkAddress(ClassifyPictureAddress("http://h.cn/x")).port, 80);
}

TEST(PictureAddress, RedirectsResolveAgainstWhereTheyCameFrom) {
    const PictureAddress from = ClassifyPictureAddress("http://h.cn:8080/a/b/c.png?x=1");
    const struct {
        const char* location;
        const char* target;
    } cases[] = {
        {"https://cdn.cn/z.png", "https://cdn.cn/z.png"},
        {"//cdn.cn/z.png", "http://cdn.cn/z.png"},
        {"/z.png", "http://h.cn:8080/z.png"},
        {"z.png", "http://h.cn:8080/a/b/z.png"},
        {"../z.png", "http://h.cn:8080/a/z.png"},
        {"?v=2", "http://h.cn:8080/a/b/c.png?v=2"},
        {"#part", "http://h.cn:8080/a/b/c.png?x=1"},
        {" /图.png ", "http://h.cn:8080/%E5%9B%BE.png"},
        {"z.png?y=a:b", "http://h.cn:8080/a/b/z.png?y=a:b"},
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveRedirect(from, c.location).target, c.target) << c.location;
    // Only to the web: never to a file on this machine or another scheme.
    for (const char* location : {"file:///C:/secret.png", "C:\\secret.png", "ftp://h.cn/x", "javascript:x", "data:,x"})
        EXPECT_EQ(ResolveRedirect(from, location).kind, Kind::Invalid) << location;
    EXPECT_EQ(ResolveRedirect(ClassifyPictureAddress("C:\\a.png"), "/b.png").kind, Kind::Invalid);
}

TEST(PictureAddress, DataAddressesCarryTheirBytes) {
    const std::string png8 = "\x89PNG\r\n\x1a\n";
    EXPECT_EQ(ClassifyPictureAddress("data:image/png;base64,iVBORw0KGgo=").kind, Kind::Data);
    EXPECT_EQ(DecodeDataAddress("data:image/png;base64,iVBORw0KGgo=", 100), png8);
    // Browsers skip spaces and line breaks and do without padding.
    EXPECT_EQ(DecodeDataAddress("data:image/png;base64,iVBO Rw0K\r\nGgo", 100), png8);
    EXPECT_EQ(DecodeDataAddress("data:;BASE64,QUJD", 100), "ABC");
    EXPECT_EQ(DecodeDataAddress("data:;base64,QQ", 100), "A");
    EXPECT_EQ(DecodeDataAddress("data:;base64,QUI=", 100), "AB");
    EXPECT_EQ(DecodeDataAddress("data:;base64,QU%4AD", 100), "ABC") << "escapes are undone before base64";
    EXPECT_EQ(DecodeDataAddress("data:image/svg+xml,%3Csvg%3E a", 100), "<svg> a");
    EXPECT_EQ(DecodeDataAddress("data:,", 100), "");

    EXPECT_FALSE(DecodeDataAddress("data:;base64,@@@@", 100));
    EXPECT_FALSE(DecodeDataAddress("data:;base64,Q", 100));
    EXPECT_FALSE(DecodeDataAddress("data:;base64,QQ==QQ", 100));
    EXPECT_FALSE(DecodeDataAddress("data:;base64,QQ===", 100));
    EXPECT_FALSE(DecodeDataAddress("data:image/png;base64", 100));
    EXPECT_FALSE(DecodeDataAddress("http://h.cn/,x", 100));
    // The size limit holds for both encodings, to the byte.
    EXPECT_EQ(DecodeDataAddress("data:;base64,QUJD", 3), "ABC");
    EXPECT_FALSE(DecodeDataAddress("data:;base64,QUJDRA", 3));
    EXPECT_FALSE(DecodeDataAddress("data:;base64,QUJDRA==", 3));
    EXPECT_EQ(DecodeDataAddress("data:,abc", 3), "abc");
    EXPECT_FALSE(DecodeDataAddress("data:,abcd", 3));
}

}  // namespace
}  // namespace mojian::html

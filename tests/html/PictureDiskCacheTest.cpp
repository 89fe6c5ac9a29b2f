#include "html/PictureDiskCache.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "tests/html/MemoryPictureStore.h"

namespace mojian::html {
namespace {

using mojian::testing::MemoryPictureStore;

TEST(PictureDiskCache, FilesNameTheirAddressAndHoldItWithThePicture) {
    const std::string name = PictureFileName("http://h.cn/a.png");
    EXPECT_TRUE(IsPictureFileName(name)) << name;
    EXPECT_EQ(name.size(), 20u);
    EXPECT_EQ(name, PictureFileName("http://h.cn/a.png"));
    EXPECT_NE(name, PictureFileName("http://h.cn/b.png"));
    EXPECT_FALSE(IsPictureFileName(name + ".tmp~"));
    EXPECT_FALSE(IsPictureFileName("0123456789ABCDEF.pic")) << "names are lower case";
    EXPECT_FALSE(IsPictureFileName("desktop.ini"));

    const std::string bytes("\x89PNG\r\n\x1a\n\0\n binary", 18);
    const std::string file = EncodePictureFile("http://h.cn/a.png", bytes, 1700000000);
    const auto back = DecodePictureFile("http://h.cn/a.png", file);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->bytes, bytes);
    EXPECT_EQ(back->savedSeconds, 1700000000);

    // Another address's file under the same name, or a damaged file, is no picture.
    EXPECT_FALSE(DecodePictureFile("http://h.cn/a.pn", file));
    EXPECT_FALSE(DecodePictureFile("http://h.cn/a.png2", file));
    EXPECT_FALSE(DecodePictureFile("http://h.cn/a.png", file.substr(0, file.size() - 1)));
    EXPECT_FALSE(DecodePictureFile("http://h.cn/a.png", file + "x"));
    EXPECT_FALSE(DecodePictureFile("http://h.cn/a.png", "MJPIC1 x 3\nhttp://h.cn/a.png\nabc"));
    EXPECT_FALSE(DecodePictureFile("http://h.cn/a.png", "MJPIC1 5 -3\nhttp://h.cn/a.png\nabc"));
    EXPECT_FALSE(DecodePictureFile("http://h.cn/a.png", ""));
    EXPECT_FALSE(DecodePictureFile("http://h.cn/a.png", "MJPIC1 5 3"));
    EXPECT_TRUE(DecodePictureFile("http://h.cn/a.png", EncodePictureFile("http://h.cn/a.png", "", 0)));
}

TEST(PictureDiskCache, KeepsPicturesForTheNextRun) {
    auto store = std::make_shared<MemoryPictureStore>();
    {
        PictureDiskCache cache(store, 10000);
        EXPECT_FALSE(cache.Get("http://h.cn/a.png"));
        cache.Put("http://h.cn/a.png", "AAAA", 100);
        const auto got = cache.Get("http://h.cn/a.png");
        ASSERT_TRUE(got);
        EXPECT_EQ(got->bytes, "AAAA");
        EXPECT_EQ(got->savedSeconds, 100);
    }
    PictureDiskCache nextRun(store, 10000);
    const auto got = nextRun.Get("http://h.cn/a.png");
    ASSERT_TRUE(got);
    EXPECT_EQ(got->bytes, "AAAA");
    EXPECT_EQ(nextRun.HeldBytes(), store->Size(PictureFileName("http://h.cn/a.png")));

    // A file damaged on disk is no picture; removing forgets it.
    store->Put(PictureFileName("http://h.cn/a.png"), "garbage", 0);
    EXPECT_FALSE(nextRun.Get("http://h.cn/a.png"));
    nextRun.Remove("http://h.cn/a.png");
    EXPECT_FALSE(store->Has(PictureFileName("http://h.cn/a.png")));
    EXPECT_EQ(nextRun.HeldBytes(), 0u);
}

TEST(PictureDiskCache, StaysWithinItsBoundLeastRecentlyUsedOutFirst) {
    auto store = std::make_shared<MemoryPictureStore>();
    const std::string picture(1000, 'p');
    const std::uint64_t fileBytes = EncodePictureFile("http://h.cn/0.png", picture, 1).size();
    PictureDiskCache cache(store, 3 * fileBytes + 10);  // three pictures fit
    for (int i = 0; i < 3; ++i) cache.Put("http://h.cn/" + std::to_string(i) + ".png", picture, 1);
    ASSERT_TRUE(cache.Get("http://h.cn/0.png"));  // used: now the most recent
    cache.Put("http://h.cn/3.png", picture, 1);
    EXPECT_LE(cache.HeldBytes(), 3 * fileBytes + 10);
    EXPECT_TRUE(store->Has(PictureFileName("http://h.cn/0.png")));
    EXPECT_FALSE(store->Has(PictureFileName("http://h.cn/1.png")));
    EXPECT_TRUE(store->Has(PictureFileName("http://h.cn/2.png")));
    EXPECT_TRUE(store->Has(PictureFileName("http://h.cn/3.png")));
    EXPECT_EQ(store->Count(), 3u);

    // A picture larger than the whole bound is not kept, and pushes nothing out.
    cache.Put("http://h.cn/big.png", std::string(4 * fileBytes, 'b'), 1);
    EXPECT_FALSE(cache.Get("http://h.cn/big.png"));
    EXPECT_EQ(store->Count(), 3u);
}

TEST(PictureDiskCache, OpeningTidiesTheFolderWithinTheBound) {
    auto store = std::make_shared<MemoryPictureStore>();
    const std::string picture(1000, 'p');
    const std::uint64_t fileBytes = EncodePictureFile("http://h.cn/0.png", picture, 1).size();
    for (int i = 0; i < 4; ++i) {
        const std::string address = "http://h.cn/" + std::to_string(i) + ".png";
        store->Put(PictureFileName(address), EncodePictureFile(address, picture, 1), 1000 - i);  // 0 is newest
    }
    const std::string leftover = PictureFileName("http://h.cn/cut.png") + ".tmp~";
    store->Put(leftover, "half a fi", 0);
    store->Put("notes.txt", "the user's", 0);

    PictureDiskCache cache(store, 2 * fileBytes);  // a smaller bound than last run's
    EXPECT_TRUE(cache.Get("http://h.cn/0.png"));
    EXPECT_TRUE(cache.Get("http://h.cn/1.png"));
    EXPECT_FALSE(store->Has(PictureFileName("http://h.cn/2.png"))) << "the oldest go first";
    EXPECT_FALSE(store->Has(PictureFileName("http://h.cn/3.png")));
    EXPECT_FALSE(store->Has(leftover));
    EXPECT_TRUE(store->Has("notes.txt")) << "files that are not ours stay";
    EXPECT_EQ(cache.HeldBytes(), 2 * fileBytes);
}

}  // namespace
}  // namespace mojian::html

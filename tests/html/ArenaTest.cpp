// The arena a layout keeps its styles and boxes in: objects stay where they
// were made while more come, and each is destroyed once, the last made first.
#include "html/Arena.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace mojian::html {
namespace {

struct Tracked {
    Tracked(int n, std::vector<int>& destroyed) : id(n), log(destroyed), text(std::to_string(n) + " is long enough for the heap") {
        if (n < 0) throw std::invalid_argument("negative");
    }
    ~Tracked() { log.push_back(id); }
    int id;
    std::vector<int>& log;
    std::string text;
};

TEST(ArenaTest, ObjectsStayPutAcrossBlocksAndAreDestroyedOnceLastFirst) {
    for (const int count : {0, 1, 16, 17, 5000}) {
        SCOPED_TRACE(count);
        std::vector<int> destroyed, expected;
        {
            Arena<Tracked> arena;
            std::vector<Tracked*> made;
            for (int i = 0; i < count; ++i) made.push_back(arena.Make(i, destroyed));
            EXPECT_THROW(arena.Make(-1, destroyed), std::invalid_argument);  // leaves nothing behind
            EXPECT_EQ(arena.size(), static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i)
                EXPECT_EQ(made[static_cast<std::size_t>(i)]->text, std::to_string(i) + " is long enough for the heap");
            EXPECT_TRUE(destroyed.empty());
        }
        for (int i = count - 1; i >= 0; --i) expected.push_back(i);
        EXPECT_EQ(destroyed, expected);
    }
}

}  // namespace
}  // namespace mojian::html

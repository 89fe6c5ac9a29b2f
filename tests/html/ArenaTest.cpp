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
    Tracked(int n, std::vector<int>& destroyed) : id(n), log(destroyed), text(std::to_string(n) + " is long enough for the heap") {}
    ~Tracked() { log.push_back(id); }
    int id;
    std::vector<int>& log;
    std::string text;
};

TEST(ArenaTest, ObjectsStayPutAcrossBlocksAndAreDestroyedOnceLastFirst) {
    for (const int count : {0, 1, 16, 17, 48, 5000}) {
        SCOPED_TRACE(count);
        std::vector<int> destroyed;
        {
            Arena<Tracked> arena;
            std::vector<Tracked*> made;
            for (int i = 0; i < count; ++i) made.push_back(arena.Make(i, destroyed));
            EXPECT_EQ(arena.size(), static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i) {
                EXPECT_EQ(made[static_cast<std::size_t>(i)]->id, i);
                EXPECT_EQ(made[static_cast<std::size_t>(i)]->text, std::to_string(i) + " is long enough for the heap");
            }
            EXPECT_TRUE(destroyed.empty());
        }
        std::vector<int> expected;
        for (int i = count - 1; i >= 0; --i) expected.push_back(i);
        EXPECT_EQ(destroyed, expected);
    }
}

struct Fussy {
    Fussy(int n, int& count) : alive(count) {
        if (n < 0) throw std::invalid_argument("negative");
        ++alive;
    }
    ~Fussy() { --alive; }
    int& alive;
};

TEST(ArenaTest, AConstructorThatThrowsLeavesNothingToDestroy) {
    int alive = 0;
    {
        Arena<Fussy> arena;
        for (int i = 0; i < 20; ++i) arena.Make(i, alive);
        EXPECT_THROW(arena.Make(-1, alive), std::invalid_argument);
        EXPECT_EQ(arena.size(), 20u);
        arena.Make(1, alive);  // the slot the failure left is used
        EXPECT_EQ(alive, 21);
    }
    EXPECT_EQ(alive, 0);
}

}  // namespace
}  // namespace mojian::html

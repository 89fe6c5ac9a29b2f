// Objects of one type made side by side in a few large blocks and freed
// together. A layout makes a style and a box for every element: a megabyte
// of description is tens of thousands of them, and one heap block each is
// what made Wine's heap (first fit over one list per size range) spend
// minutes walking its free blocks. Internal to the engine.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace mojian::html {

template <typename T>
class Arena {
public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena() {
        // Made last, destroyed first.
        for (auto block = blocks_.rbegin(); block != blocks_.rend(); ++block)
            for (std::size_t i = block->used; i-- > 0;) block->At(i)->~T();
    }

    template <typename... Args>
    T* Make(Args&&... args) {
        if (blocks_.empty() || blocks_.back().used == blocks_.back().capacity) {
            // Small pages take little; large ones few blocks.
            const std::size_t capacity = blocks_.empty() ? kFirstBlock : std::min(blocks_.back().capacity * 2, kLargestBlock);
            blocks_.push_back(Block{std::unique_ptr<Slot[]>(new Slot[capacity]), capacity, 0});
        }
        Block& block = blocks_.back();
        T* made = ::new (static_cast<void*>(block.At(block.used))) T(std::forward<Args>(args)...);
        ++block.used;  // only once it is made: a constructor that throws leaves nothing to destroy
        return made;
    }

    std::size_t size() const {
        std::size_t n = 0;
        for (const Block& b : blocks_) n += b.used;
        return n;
    }

private:
    static constexpr std::size_t kFirstBlock = 16;
    static constexpr std::size_t kLargestBlock = 1024;

    struct Slot {
        alignas(T) unsigned char bytes[sizeof(T)];
    };
    struct Block {
        std::unique_ptr<Slot[]> slots;
        std::size_t capacity = 0;
        std::size_t used = 0;
        T* At(std::size_t i) { return std::launder(reinterpret_cast<T*>(slots[i].bytes)); }
    };
    std::vector<Block> blocks_;
};

}  // namespace mojian::html

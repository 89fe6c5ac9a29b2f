// Where the HTML engine gets pictures: layout asks only for the state and the
// natural size, painting only for decoded pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace mojian::html {

// The rows of a picture too big to hold a copy of beside its decoder's own:
// they are read from the decoder as they are drawn. May be read from any
// thread.
class PictureRows {
public:
    virtual ~PictureRows() = default;
    // Rows top to top + count - 1 into `out` (the picture's width times
    // `count` pixels). False when the decoder fails.
    virtual bool Read(int top, int count, std::uint32_t* out) const = 0;
    // What it holds in memory, the decoder's included.
    virtual std::size_t Bytes() const = 0;
};

// A decoded picture: premultiplied 32-bit BGRA, rows top to bottom, stride = width * 4.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // empty when `rows` gives them
    std::shared_ptr<const PictureRows> rows;

    // What it takes in memory, ours or its decoder's.
    std::size_t Bytes() const {
        if (rows) return rows->Bytes();
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * sizeof(std::uint32_t);
    }
    bool Whole() const {
        return width > 0 && height > 0 &&
               (rows || pixels.size() >= static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    }
};

struct PictureInfo {
    enum class State : std::uint8_t { Loading, Ready, Failed };
    State state = State::Failed;
    int width = 0, height = 0;  // natural size when Ready
};

class PictureSource {
public:
    virtual ~PictureSource() = default;
    // Layout: the picture's state and natural size. Never blocks; the first
    // question about an address may start loading it.
    virtual PictureInfo Query(std::string_view url) = 0;
    // Painting: the decoded pixels when Ready, else null.
    virtual std::shared_ptr<const Picture> Pixels(std::string_view url) = 0;
    // Painting down a page: the pixels are wanted soon. Never blocks; a
    // source that drops decoded pictures may start bringing them back.
    virtual void Prefetch(std::string_view /*url*/) {}
};

}  // namespace mojian::html

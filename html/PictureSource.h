// Where the HTML engine gets pictures: layout asks only for the state and the
// natural size, painting only for decoded pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace mojian::html {

// A decoded picture: premultiplied 32-bit BGRA, rows top to bottom, stride = width * 4.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
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

#include "doc/Document.h"

#include <utility>

namespace mojian::doc {

void PageFile::Opened(std::string path) {
    opens_.resize(done_);
    opens_.push_back({path_, path});
    ++done_;
    path_ = std::move(path);
}

void PageFile::SavedAs(std::string path) {
    if (done_ > 0) opens_[done_ - 1].after = path;
    path_ = std::move(path);
}

void PageFile::OpenStepped(bool back) {
    if (back && done_ > 0) path_ = opens_[--done_].before;
    if (!back && done_ < opens_.size()) path_ = opens_[done_++].after;
}

bool TypingBurst::Keystroke(std::uint64_t nowMs) {
    const bool continues = typing_ && nowMs - lastMs_ < kPauseMs;
    typing_ = true;
    lastMs_ = nowMs;
    return continues;
}

}  // namespace mojian::doc

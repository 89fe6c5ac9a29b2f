#include "html/PictureDiskCache.h"

#include <algorithm>
#include <charconv>

namespace mojian::html {

namespace {

constexpr std::string_view kMagic = "MJPIC1 ";
constexpr std::string_view kSuffix = ".pic";
constexpr std::string_view kTempSuffix = ".tmp~";  // what the store's replacing write leaves when cut short

std::uint64_t Fnv1a64(std::string_view s) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

bool ParseNumber(std::string_view s, std::int64_t& out) {
    if (s.empty()) return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

}  // namespace

std::string PictureFileName(std::string_view address) {
    static const char kHex[] = "0123456789abcdef";
    std::uint64_t h = Fnv1a64(address);
    std::string name(16, '0');
    for (int i = 15; i >= 0; --i, h >>= 4) name[static_cast<std::size_t>(i)] = kHex[h & 15];
    name += kSuffix;
    return name;
}

bool IsPictureFileName(std::string_view name) {
    if (name.size() != 16 + kSuffix.size() || name.substr(16) != kSuffix) return false;
    return std::all_of(name.begin(), name.begin() + 16,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// "MJPIC1 <saved seconds> <byte count>\n<address>\n<bytes>"
std::string EncodePictureFile(std::string_view address, std::string_view bytes, std::int64_t savedSeconds) {
    std::string file;
    file.reserve(kMagic.size() + 48 + address.size() + bytes.size());
    file += kMagic;
    file += std::to_string(savedSeconds);
    file += ' ';
    file += std::to_string(bytes.size());
    file += '\n';
    file += address;
    file += '\n';
    file += bytes;
    return file;
}

std::optional<CachedPicture> DecodePictureFile(std::string_view address, std::string_view file) {
    if (file.substr(0, kMagic.size()) != kMagic) return std::nullopt;
    const std::size_t lineEnd = file.find('\n');
    if (lineEnd == std::string_view::npos) return std::nullopt;
    const std::string_view numbers = file.substr(kMagic.size(), lineEnd - kMagic.size());
    const std::size_t space = numbers.find(' ');
    std::int64_t saved = 0, length = 0;
    if (space == std::string_view::npos || !ParseNumber(numbers.substr(0, space), saved) ||
        !ParseNumber(numbers.substr(space + 1), length) || length < 0)
        return std::nullopt;
    const std::size_t addressStart = lineEnd + 1;
    if (file.substr(addressStart, address.size()) != address || file.size() <= addressStart + address.size() ||
        file[addressStart + address.size()] != '\n')
        return std::nullopt;
    const std::string_view bytes = file.substr(addressStart + address.size() + 1);
    if (bytes.size() != static_cast<std::uint64_t>(length)) return std::nullopt;
    return CachedPicture{std::string(bytes), saved};
}

PictureDiskCache::PictureDiskCache(std::shared_ptr<PictureStore> store, std::uint64_t boundBytes)
    : store_(std::move(store)), boundBytes_(boundBytes) {}

void PictureDiskCache::OpenLocked() {
    if (opened_) return;
    opened_ = true;
    std::vector<PictureStore::File> files = store_->List();
    std::sort(files.begin(), files.end(),
              [](const auto& a, const auto& b) { return a.modifiedSeconds < b.modifiedSeconds; });
    for (const auto& f : files) {
        if (IsPictureFileName(f.name)) {
            TouchLocked(f.name, f.bytes);
        } else if (f.name.size() > kTempSuffix.size() &&
                   f.name.compare(f.name.size() - kTempSuffix.size(), kTempSuffix.size(), kTempSuffix) == 0 &&
                   IsPictureFileName(std::string_view(f.name).substr(0, f.name.size() - kTempSuffix.size()))) {
            store_->Remove(f.name);
        }
    }
    for (const auto& name : OverBoundLocked({})) store_->Remove(name);
}

void PictureDiskCache::TouchLocked(const std::string& name, std::uint64_t bytes) {
    const auto found = byName_.find(name);
    if (found != byName_.end()) {
        heldBytes_ -= found->second->bytes;
        found->second->bytes = bytes;
        recent_.splice(recent_.begin(), recent_, found->second);
    } else {
        recent_.push_front({name, bytes});
        byName_.emplace(name, recent_.begin());
    }
    heldBytes_ += bytes;
}

void PictureDiskCache::ForgetLocked(const std::string& name) {
    const auto found = byName_.find(name);
    if (found == byName_.end()) return;
    heldBytes_ -= found->second->bytes;
    recent_.erase(found->second);
    byName_.erase(found);
}

std::vector<std::string> PictureDiskCache::OverBoundLocked(const std::string& keep) {
    std::vector<std::string> out;
    auto it = recent_.end();
    while (heldBytes_ > boundBytes_ && it != recent_.begin()) {
        const auto current = std::prev(it);
        if (current->name == keep) {
            it = current;
            continue;
        }
        out.push_back(current->name);
        ForgetLocked(current->name);
    }
    return out;
}

std::optional<CachedPicture> PictureDiskCache::Get(const std::string& address) {
    const std::string name = PictureFileName(address);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        OpenLocked();
        if (byName_.find(name) == byName_.end()) return std::nullopt;
    }
    const auto file = store_->Read(name);
    auto picture = file ? DecodePictureFile(address, *file) : std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    if (picture) {
        TouchLocked(name, file->size());
    } else if (!file) {
        ForgetLocked(name);  // removed from outside meanwhile
    }
    // A file of another address that shares the name stays: it is that
    // address's picture.
    return picture;
}

void PictureDiskCache::Put(const std::string& address, std::string_view bytes, std::int64_t nowSeconds) {
    const std::string name = PictureFileName(address);
    const std::string file = EncodePictureFile(address, bytes, nowSeconds);
    if (file.size() > boundBytes_) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        OpenLocked();
    }
    if (!store_->Write(name, file)) return;
    std::vector<std::string> evicted;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        TouchLocked(name, file.size());
        evicted = OverBoundLocked(name);
    }
    for (const auto& n : evicted) store_->Remove(n);
}

void PictureDiskCache::Remove(const std::string& address) {
    const std::string name = PictureFileName(address);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        OpenLocked();
        ForgetLocked(name);
    }
    store_->Remove(name);
}

std::uint64_t PictureDiskCache::HeldBytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    OpenLocked();
    return heldBytes_;
}

}  // namespace mojian::html

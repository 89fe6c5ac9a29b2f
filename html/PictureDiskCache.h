// Downloaded pictures kept on disk between runs, within a bound of bytes,
// least recently used out first. Each picture is one file named after its
// address, holding the address itself (so two addresses that share a name
// never serve each other's picture), when it was saved, and its bytes. Only
// pictures that decoded are kept.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mojian::html {

// The folder the files live in. Implementations are safe to call from
// several threads at once; writes replace a file in one piece.
class PictureStore {
public:
    struct File {
        std::string name;
        std::uint64_t bytes = 0;
        std::int64_t modifiedSeconds = 0;  // since 1970
    };
    virtual ~PictureStore() = default;
    virtual std::vector<File> List() = 0;
    virtual std::optional<std::string> Read(const std::string& name) = 0;
    virtual bool Write(const std::string& name, std::string_view bytes) = 0;
    virtual void Remove(const std::string& name) = 0;
};

struct CachedPicture {
    std::string bytes;
    std::int64_t savedSeconds = 0;
};

// The file name for an address: 16 hex digits of its hash, ".pic".
std::string PictureFileName(std::string_view address);
// A file's contents, and back; nothing when the file is damaged or holds
// another address.
std::string EncodePictureFile(std::string_view address, std::string_view bytes, std::int64_t savedSeconds);
std::optional<CachedPicture> DecodePictureFile(std::string_view address, std::string_view file);
// Leftovers of writes cut short ("<name>.tmp~") are removed when the cache opens.
bool IsPictureFileName(std::string_view name);

class PictureDiskCache {
public:
    PictureDiskCache(std::shared_ptr<PictureStore> store, std::uint64_t boundBytes);

    std::optional<CachedPicture> Get(const std::string& address);
    void Put(const std::string& address, std::string_view bytes, std::int64_t nowSeconds);
    void Remove(const std::string& address);

    std::uint64_t HeldBytes();

private:
    struct Item {
        std::string name;
        std::uint64_t bytes = 0;
    };
    void OpenLocked();
    void TouchLocked(const std::string& name, std::uint64_t bytes);
    void ForgetLocked(const std::string& name);
    std::vector<std::string> OverBoundLocked(const std::string& keep);

    std::shared_ptr<PictureStore> store_;
    std::uint64_t boundBytes_;
    std::mutex mutex_;  // the index only; files are read and written outside it
    bool opened_ = false;
    std::list<Item> recent_;  // most recently used first
    std::unordered_map<std::string, std::list<Item>::iterator> byName_;
    std::uint64_t heldBytes_ = 0;
};

}  // namespace mojian::html

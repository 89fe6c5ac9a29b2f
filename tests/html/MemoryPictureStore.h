// A disk cache folder in memory, for tests of the caches above it.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "html/PictureDiskCache.h"

namespace mojian::testing {

class MemoryPictureStore : public html::PictureStore {
public:
    std::vector<File> List() override {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<File> out;
        for (const auto& [name, f] : files_) out.push_back({name, f.bytes.size(), f.modified});
        return out;
    }
    std::optional<std::string> Read(const std::string& name) override {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = files_.find(name);
        if (it == files_.end()) return std::nullopt;
        return it->second.bytes;
    }
    bool Write(const std::string& name, std::string_view bytes) override {
        std::lock_guard<std::mutex> lock(mutex_);
        files_[name] = {std::string(bytes), ++clock_};
        ++writes_;
        return true;
    }
    void Remove(const std::string& name) override {
        std::lock_guard<std::mutex> lock(mutex_);
        files_.erase(name);
    }

    // A file as an earlier run left it.
    void Put(const std::string& name, const std::string& bytes, std::int64_t modified) {
        std::lock_guard<std::mutex> lock(mutex_);
        files_[name] = {bytes, modified};
    }
    bool Has(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex_);
        return files_.count(name) != 0;
    }
    std::uint64_t Size(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = files_.find(name);
        return it == files_.end() ? 0 : it->second.bytes.size();
    }
    std::size_t Count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return files_.size();
    }
    int Writes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return writes_;
    }

private:
    struct Stored {
        std::string bytes;
        std::int64_t modified = 0;
    };
    std::mutex mutex_;
    std::map<std::string, Stored> files_;
    std::int64_t clock_ = 0;
    int writes_ = 0;
};

}  // namespace mojian::testing

// A fresh folder per test, made the program folder while the test runs.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/File.h"

namespace mojian::testing {

inline std::string ToUtf8(const std::filesystem::path& p) {
    const auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

inline std::filesystem::path FromUtf8(const std::string& s) {
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

class TempFolder {
public:
    TempFolder() {
        static std::atomic<int> counter{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string leaf = "mojian-test-";
        leaf += info ? info->name() : "x";
        leaf += "-" + std::to_string(++counter);
        path_ = std::filesystem::temp_directory_path() / leaf;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        previous_ = ProgramFolder();
        SetProgramFolder(ToUtf8(path_));
    }
    ~TempFolder() {
        SetProgramFolder(previous_);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string Utf8() const { return ToUtf8(path_); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
    std::string previous_;
};

// Points the system's per-user data folder (LOCALAPPDATA, or XDG_DATA_HOME
// natively) at `folder` for the object's life, as the program reads it.
class LocalDataFolder {
public:
    explicit LocalDataFolder(const std::string& folder) {
        const char* was = std::getenv(kVariable);
        had_ = was != nullptr;
        previous_ = was ? was : "";
        Set(folder.c_str());
    }
    ~LocalDataFolder() {
#ifdef _WIN32
        Set(previous_.c_str());
#else
        if (had_) Set(previous_.c_str());
        else unsetenv(kVariable);
#endif
    }
    LocalDataFolder(const LocalDataFolder&) = delete;
    LocalDataFolder& operator=(const LocalDataFolder&) = delete;

private:
#ifdef _WIN32
    static constexpr const char* kVariable = "LOCALAPPDATA";
    static void Set(const char* value) { _putenv_s(kVariable, value); }  // ASCII: a temporary folder's name
#else
    static constexpr const char* kVariable = "XDG_DATA_HOME";
    static void Set(const char* value) { setenv(kVariable, value, 1); }
#endif
    bool had_ = false;
    std::string previous_;
};

}  // namespace mojian::testing

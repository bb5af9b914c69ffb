// A fresh directory for one test, made the current directory while it
// lives and removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir() : previous_(std::filesystem::current_path()) {
        // A name nobody has, made by us alone (create_directory fails on one
        // that is there).
        std::random_device random;
        for (int attempt = 0; path_.empty(); ++attempt) {
            if (attempt == 100) throw std::runtime_error("no temporary folder");
            const auto name = "valdora-test-" + std::to_string(random());
            std::error_code ec;
            if (std::filesystem::create_directory(base() / name, ec)) path_ = base() / name;
        }
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
        std::filesystem::current_path(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    // VALDORA_TEST_TMP where set (the Windows tests under Wine use a folder
    // that the Linux side can reach too), else the system's.
    static std::filesystem::path base() {
        const char* set = std::getenv("VALDORA_TEST_TMP");
        return set != nullptr && *set != '\0' ? std::filesystem::path(set)
                                              : std::filesystem::temp_directory_path();
    }

    std::filesystem::path previous_, path_;
};

}  // namespace testsupport

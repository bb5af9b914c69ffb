// A fresh directory for one test, made the current directory while it
// lives and removed afterwards.
#pragma once

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
            const auto at = std::filesystem::temp_directory_path() /
                            ("valdora-test-" + std::to_string(random()));
            std::error_code ec;
            if (std::filesystem::create_directory(at, ec)) path_ = at;
        }
        // Searchable by all, as a home folder is: nginx started as root serves
        // a site in it as an unprivileged user.
        using std::filesystem::perms;
        std::filesystem::permissions(path_, perms::owner_all | perms::group_read |
                                                perms::group_exec | perms::others_read |
                                                perms::others_exec);
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
    std::filesystem::path previous_, path_;
};

}  // namespace testsupport

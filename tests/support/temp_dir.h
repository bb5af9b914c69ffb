// A fresh directory for one test, made the current directory while it
// lives and removed afterwards.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir() : previous_(std::filesystem::current_path()) {
        std::string pattern = std::filesystem::temp_directory_path() / "valdora-test-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        // Searchable by all, as a home folder is: nginx started as root serves
        // a site in it as an unprivileged user.
        ::chmod(pattern.c_str(), 0755);
        std::filesystem::current_path(path_ = pattern);
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

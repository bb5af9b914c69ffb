// Files for tests: bytes, last-write times in whole seconds since 1970 UTC,
// and trees of them as a game build, a site or a game directory holds them.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

using Files = std::map<std::string, std::string>;  // relative path -> bytes

inline constexpr std::int64_t kTime = 1709622489;  // 05.03.2024 07:08:09 UTC
inline constexpr const char* kTimeText = "05.03.2024 07:08:09";
inline constexpr std::int64_t kOldTime = 1577872800;  // 01.01.2020 10:00:00 UTC
inline constexpr const char* kListPath = "/Patcher/1000_1.0.0.1_Update.txt";

// A path written as UTF-8 (the keys of Files), as the file system's own.
inline std::filesystem::path utf8_path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_bytes(const std::filesystem::path& path, const std::string& bytes) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::int64_t write_time(const std::filesystem::path& path) {
    const auto t = std::chrono::file_clock::to_sys(std::filesystem::last_write_time(path));
    return std::chrono::floor<std::chrono::seconds>(t).time_since_epoch().count();
}

inline void set_write_time(const std::filesystem::path& path, std::int64_t unixSeconds) {
    std::filesystem::last_write_time(
        path, std::chrono::file_clock::from_sys(std::chrono::sys_seconds{} +
                                                std::chrono::seconds(unixSeconds)));
}

// Writes `files` below `dir`, each stamped `time`.
inline void write_tree(const std::filesystem::path& dir, const Files& files,
                       std::int64_t time = kTime) {
    for (const auto& [path, bytes] : files) {
        write_bytes(dir / utf8_path(path), bytes);
        set_write_time(dir / utf8_path(path), time);
    }
}

// Bytes that differ from file to file and from `seed` to `seed`.
inline std::string pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) c = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
    return bytes;
}

// The files below `dir` whose bytes or last-write time differ from `files`
// stamped `time` (missing ones included).
inline std::vector<std::string> differences(const std::filesystem::path& dir, const Files& files,
                                            std::int64_t time = kTime) {
    std::vector<std::string> differ;
    for (const auto& [path, bytes] : files) {
        std::error_code ec;
        const std::filesystem::path at = dir / utf8_path(path);
        if (!std::filesystem::is_regular_file(at, ec) || read_bytes(at) != bytes ||
            write_time(at) != time) {
            differ.push_back(path);
        }
    }
    return differ;
}

// Files below `dir` that are neither in `files` nor the launcher's log nor
// what a signed run keeps in base/ (nor scratch files, "~temp.dat",
// "~temp.dat.1.resume"..., nor a file of base/ being written whole,
// "....~new", when `temporaryAllowed`).
inline std::vector<std::string> strays(const std::filesystem::path& dir, const Files& files,
                                       bool temporaryAllowed = false) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        const std::u8string name = e.path().lexically_relative(dir).generic_u8string();
        const std::string path(name.begin(), name.end());
        if (e.is_directory() || files.count(path) || path == "base/launcher_log.txt" ||
            path == "base/installed.sha256" || path.rfind("base/1000_1.0.0.1_Update.txt", 0) == 0) {
            continue;
        }
        const bool temporary = (path.rfind("~temp.dat", 0) == 0 && path.find('/') == path.npos) ||
                               (path.rfind("base/", 0) == 0 && path.ends_with(".~new"));
        if (!(temporaryAllowed && temporary)) found.push_back(path);
    }
    return found;
}

}  // namespace testsupport

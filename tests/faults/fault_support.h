// What the fault tests share: a game build published by valdora-publish and
// served by nginx with the shipped configuration at a limited rate, and the
// checks of a game directory against the build.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"

namespace faults {

using Files = std::map<std::string, std::string>;  // relative path -> bytes

inline constexpr std::int64_t kTime = 1709622489;  // 05.03.2024 07:08:09 UTC
inline constexpr const char* kTimeText = "05.03.2024 07:08:09";
inline constexpr std::int64_t kOldTime = 1577872800;  // 01.01.2020 10:00:00 UTC
inline constexpr const char* kListPath = "/Patcher/1000_1.0.0.1_Update.txt";

// Bytes that differ from file to file and from `seed` to `seed`.
std::string pattern(std::size_t size, unsigned seed);

// Writes `files` below `dir`, each stamped `time`.
void write_tree(const std::filesystem::path& dir, const Files& files, std::int64_t time);

// nginx serving `site` through deploy/serve-site.sh on `port`, every
// download at most `rate` bytes a second (nginx's limit_rate: "2m", "0").
class Nginx {
public:
    Nginx(std::filesystem::path site, std::filesystem::path runDir, int port, std::string rate);
    // Starts it (again); true once it answers, else its error log in `error`.
    bool start(std::string& error);
    // Sends `signal` to nginx and waits until it has ended.
    void stop(int signal);
    std::string url(const std::string& path = "") const;

private:
    std::filesystem::path site_, runDir_;
    int port_;
    std::string rate_;
    std::optional<e2e::Child> nginx_;
};

// Publishes `build` as a site at `baseUrl`, with the web pages; "" when it
// worked, else the publisher's output.
std::string publish(const std::filesystem::path& build, const std::filesystem::path& site,
                    const std::string& baseUrl);

// The game files below `game` that the launcher's own check takes as
// current (the listed size, the list's time `timeText`) while their bytes
// differ from `files`.
std::vector<std::string> current_but_wrong(const std::filesystem::path& game, const Files& files,
                                           const std::string& timeText);

// Files below `game` that are neither game files nor the launcher's log
// (nor "~temp.dat" when `temporaryAllowed`).
std::vector<std::string> strays(const std::filesystem::path& game, const Files& files,
                                bool temporaryAllowed);

// The game files below `game` whose bytes or last-write time differ from
// `files` stamped `time` (missing ones included).
std::vector<std::string> differences(const std::filesystem::path& game, const Files& files,
                                     std::int64_t time);

}  // namespace faults

#include "faults/fault_support.h"

#include <signal.h>

#include <thread>

#include "patch/file_checks.h"
#include "support/files.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace faults {

std::string pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

void write_tree(const fs::path& dir, const Files& files, std::int64_t time) {
    for (const auto& [path, bytes] : files) {
        testsupport::write_bytes(dir / path, bytes);
        testsupport::set_write_time(dir / path, time);
    }
}

Nginx::Nginx(fs::path site, fs::path runDir, int port, std::string rate)
    : site_(std::move(site)), runDir_(std::move(runDir)), port_(port), rate_(std::move(rate)) {}

bool Nginx::start(std::string& error) {
    nginx_.reset();
    fs::create_directories(runDir_);
    // nginx writes its pid once it listens.
    const fs::path pid = runDir_ / "nginx.pid";
    fs::remove(pid);
    nginx_.emplace(std::vector<std::string>{"bash", VALDORA_SERVE_SITE, site_.string(), "--listen",
                                            "127.0.0.1:" + std::to_string(port_), "--run-dir",
                                            runDir_.string(), "--rate", rate_, "--foreground"},
                   runDir_, e2e::Environment{}, runDir_ / "nginx.out");
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline && !nginx_->wait_for(0ms)) {
        if (fs::exists(pid)) return true;
        std::this_thread::sleep_for(20ms);
    }
    error = testsupport::read_bytes(runDir_ / "nginx.out") +
            testsupport::read_bytes(runDir_ / "logs" / "error.log");
    return false;
}

void Nginx::stop(int signal) {
    if (!nginx_) return;
    // serve-site.sh has become nginx's master process.
    ::kill(nginx_->pid(), signal);
    nginx_->wait_for(10000ms);
    nginx_.reset();
}

std::string Nginx::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string publish(const fs::path& build, const fs::path& site, const std::string& baseUrl) {
    const e2e::Result r = e2e::run({VALDORA_PUBLISH_EXE, build.string(), site.string(),
                                    "--base-url", baseUrl, "--pages", VALDORA_PAGE_TEMPLATES},
                                   build.parent_path());
    return r.status == 0 ? "" : r.output;
}

std::vector<std::string> current_but_wrong(const fs::path& game, const Files& files,
                                           const std::string& timeText) {
    std::vector<std::string> wrong;
    for (const auto& [path, bytes] : files) {
        const platform::File file = platform::File::open_for_attributes((game / path).string());
        if (!file.valid()) continue;  // the check would log and fetch it
        if (isFileSizeDifferentWithHandle(file, static_cast<std::uint32_t>(bytes.size())) ||
            isFileTimeDifferent(file, timeText)) {
            continue;
        }
        if (testsupport::read_bytes(game / path) != bytes) wrong.push_back(path);
    }
    return wrong;
}

std::vector<std::string> strays(const fs::path& game, const Files& files, bool temporaryAllowed) {
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(game)) {
        if (e.is_directory()) continue;
        const std::string path = e.path().lexically_relative(game).generic_string();
        if (files.count(path) || path == "base/launcher_log.txt") continue;
        if (temporaryAllowed && path == "~temp.dat") continue;
        found.push_back(path);
    }
    return found;
}

std::vector<std::string> differences(const fs::path& game, const Files& files, std::int64_t time) {
    std::vector<std::string> differ;
    for (const auto& [path, bytes] : files) {
        std::error_code ec;
        if (!fs::is_regular_file(game / path, ec) ||
            testsupport::read_bytes(game / path) != bytes ||
            testsupport::write_time(game / path) != time) {
            differ.push_back(path);
        }
    }
    return differ;
}

}  // namespace faults

// valdora-check-bench LIST_FILE GAME_DIR RUNS
//
// Parses the update list in LIST_FILE and checks GAME_DIR against it with
// the patch engine's own functions, RUNS times. One line per run:
//   parse_us check_us entries due
// where `due` counts the entries the check marked for download.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <string>

#include "patch/patch_downloader.h"
#include "patch/update_list.h"
#include "platform/file.h"

namespace {

class NoWindow : public RunReport {
public:
    void ShowFile(const std::string&) override {}
    void Progress(const ProgressReport&) override {}
    void Speed(const SpeedReport&) override {}
    void Done(std::uint16_t) override {}
    void Failed(const FailureReport&) override {}
    void ServersReady(const std::vector<ServerEntry>&, unsigned) override {}
    void Notify(const Notice&) override {}
    void TooMuchToDownload() override {}
    void HandOver() override {}
};

long long micros_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: valdora-check-bench LIST_FILE GAME_DIR RUNS\n");
        return 64;
    }
    std::string body;
    if (!platform::read_file(argv[1], body)) {
        std::fprintf(stderr, "valdora-check-bench: cannot read %s\n", argv[1]);
        return 1;
    }
    PatchOptions options;
    options.gameDir = argv[2];
    if (!platform::set_current_directory(options.gameDir)) {
        std::fprintf(stderr, "valdora-check-bench: no directory %s\n", argv[2]);
        return 1;
    }
    NoWindow window;
    for (int run = 0, runs = std::atoi(argv[3]); run < runs; ++run) {
        std::string baseUrl;
        std::list<UpdateListEntry> entries;
        auto start = std::chrono::steady_clock::now();
        if (!ParseUpdateList(body, false, baseUrl, entries)) {
            std::fprintf(stderr, "valdora-check-bench: faulty list\n");
            return 1;
        }
        const long long parse = micros_since(start);

        PatchDownloader downloader(&window, options);
        start = std::chrono::steady_clock::now();
        downloader.CheckFiles(entries);
        const long long check = micros_since(start);

        std::size_t due = 0;
        for (const UpdateListEntry& entry : entries) due += entry.needsDownload;
        std::printf("%lld %lld %zu %zu\n", parse, check, entries.size(), due);
    }
    return 0;
}

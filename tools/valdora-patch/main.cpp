// valdora-patch: one patch run of the current directory (the game
// directory) without a window, for servers, scripts and benchmarks.
//
//   valdora-patch [--update-list URL] [--server-list URL] [-qmtr284] [-test_launcher] [-servertest]
//
// Exit status: 0 the run is ready and every due file is in place (in the
// skip-patch modes, ready is enough); 4 ready after a failed transfer or
// write; 1 a faulty update list or "~temp.dat" failure; 2 too much to
// download; 3 the launcher's own update is due (hand-over); 64 bad usage.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/command_line.h"
#include "app/globals.h"
#include "patch/patch_downloader.h"
#include "platform/file.h"
#include "terminal_target.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void on_signal(int) {
    g_interrupted = 1;
}

int usage() {
    std::fprintf(stderr,
                 "usage: valdora-patch [--update-list URL] [--server-list URL] [-qmtr284] "
                 "[-test_launcher] [-servertest]\n");
    return 64;
}

}  // namespace

int main(int argc, char** argv) {
    std::string updateListUrl = g_updateListUrl;
    std::string serverListUrl = g_serverListUrl;
    CMyCommandLineInfo info;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--update-list" || arg == "--server-list") {
            if (i + 1 == argc) return usage();
            (arg == "--update-list" ? updateListUrl : serverListUrl) = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else {
            // The launcher's own switches, read the launcher's way.
            const bool isSwitch = arg[0] == '-' || arg[0] == '/';
            info.ParseParam(isSwitch ? arg.substr(1) : arg, isSwitch, i + 1 == argc);
        }
    }

    PatchOptions options;
    options.skipPatch = g_skipPatch;
    options.testLauncher = g_testLauncher;
    options.serverTest = g_serverTest;
    options.gameDir = platform::current_directory();
    options.serverListUrl = serverListUrl;

    TerminalTarget target(stdout, ::isatty(STDOUT_FILENO) == 1);
    PatchDownloader downloader(&target, updateListUrl, options);
    target.attach(&downloader);

    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    boost::thread worker = StartPatchThread(downloader);
    bool stopping = false;
    while (!downloader.doneEvent.wait_for(std::chrono::milliseconds(100))) {
        if (g_interrupted && !stopping) {
            stopping = true;
            downloader.stopEvent.set();
        }
    }
    worker.join();
    const bool allFilesDone = options.skipPatch || downloader.filesDone == downloader.filesTotal;
    return target.exit_status(allFilesDone);
}

// launcher.exe's start-up on Windows: the same steps as on Linux, then the
// Win32 window.
#include <utility>

#include "app/command_line.h"
#include "app/launcher_app.h"
#include "app/older_launcher.h"
#include "net/easy_curl.h"
#include "platform/file.h"
#include "win32ui/launcher_window.h"

bool Cpatcher_client_MFCApp::InitInstance(int argc, char** argv) {
    EndOlderLauncher();
    PatchOptions options = LauncherOptions(platform::current_directory());
    // Before any thread: the window's and the worker's transfers share it.
    talvo::utility::init_library();

    CMyCommandLineInfo commandLine(options);
    ParseCommandLine(commandLine, argc, argv);

    RunLauncherWindow(std::move(options));
    return false;
}

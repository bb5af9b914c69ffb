#include "app/launcher_app.h"

#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "app/older_launcher.h"
#include "net/easy_curl.h"
#include "platform/file.h"
#include "platform/system_info.h"
#include "ui/explorer.h"
#include "ui/patcher_dialog.h"

bool Cpatcher_client_MFCApp::InitInstance(int argc, char** argv) {
    EndOlderLauncher();
    PatchOptions options = LauncherOptions(platform::current_directory());
    // Before any thread: the window's and the worker's transfers share it.
    talvo::utility::init_library();

    // The command line as given: Qt takes the arguments it knows out of argv.
    const std::vector<const char*> arguments(argv, argv + argc);

    // The web panes' sandbox cannot run as root (containers, CI); it stays
    // on for everyone else.
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (const char* system = platform::preferred_window_system(std::getenv("QT_QPA_PLATFORM"),
                                                               std::getenv("WAYLAND_DISPLAY"),
                                                               std::getenv("DISPLAY"))) {
        qputenv("QT_QPA_PLATFORM", system);
    }
    PrepareWebPanes();
    QApplication application(argc, argv);

    CMyCommandLineInfo commandLine(options);
    ParseCommandLine(commandLine, static_cast<int>(arguments.size()), arguments.data());

    {
        Cpatcher_client_MFCDlg dialog(std::move(options));
        dialog.OnInitDialog();
        dialog.DoModal();
        dialog.OnDestroy();
    }
    return false;
}

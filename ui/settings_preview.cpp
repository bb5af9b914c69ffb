// valdora-settings-preview OUT.png: shows the settings dialog as a player on
// a 1 GiB machine first sees it and saves a picture of it. Works in a scratch
// directory, so no real settings file is touched.
#include <QApplication>
#include <QFileInfo>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "platform/file.h"
#include "ui/preferences_dialog.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    const QString out = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    QTemporaryDir scratch;
    if (!scratch.isValid() || !platform::set_current_directory(scratch.path().toStdString())) {
        std::fprintf(stderr, "no scratch directory\n");
        return 1;
    }

    PreferencesDialog dialog(nullptr, [] { return std::uint32_t{1} << 30; });
    dialog.LoadSettingsAtStartup();
    dialog.show();
    int status = 1;
    // Long enough for the first paint on a virtual display.
    QTimer::singleShot(500, &dialog, [&] {
        status = dialog.grab().save(out, "PNG") ? 0 : 1;
        if (status != 0) std::fprintf(stderr, "cannot write %s\n", argv[1]);
        app.quit();
    });
    app.exec();
    return status;
}

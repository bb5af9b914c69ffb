// Stands in for the game "valdora.exe" in the demo and the tests: it
// records the arguments the launcher gave it in "valdora_args.txt" (one per
// line), signals the start event "trovhal" as the game does once it is up,
// and shows a small window for a few seconds. With VALDORA_GAME_EXIT=1 in
// its environment it ends at once instead.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/named_event.h"

int main(int argc, char** argv) {
    {
        std::ofstream args("valdora_args.txt", std::ios::binary | std::ios::trunc);
        for (int i = 1; i < argc; ++i) args << argv[i] << '\n';
    }
    if (auto started = platform::NamedEvent::open("trovhal")) started->signal();

    const char* exitAtOnce = std::getenv("VALDORA_GAME_EXIT");
    if (exitAtOnce != nullptr && std::strcmp(exitAtOnce, "1") == 0) return 0;

    QApplication app(argc, argv);
    QString text = QString::fromUtf8("Valdora (oyun yerine geçen program)\n\nArgümanlar:");
    for (int i = 1; i < argc; ++i) text += QStringLiteral(" ") + QString::fromLocal8Bit(argv[i]);
    QLabel window(text);
    window.setWindowTitle(QStringLiteral("Valdora"));
    window.setMargin(24);
    window.show();
    QTimer::singleShot(5000, &app, &QApplication::quit);
    return app.exec();
}

// Stands in for the game "valdora.exe" in the demo and the tests: it
// records the arguments the launcher gave it in "valdora_args.txt" (one per
// line), signals the start event "trovhal" as the game does once it is up,
// and shows a small window for a few seconds. With VALDORA_GAME_EXIT=1 in
// its environment it ends at once instead; with VALDORA_GAME_EXIT=never it
// stays until it is ended.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/named_event.h"
#include "platform/system_info.h"

namespace {

// A plain Qt window; with VALDORA_REPORT_FIRST_FRAME set it reports its
// first frame as the launcher does, the baseline of bench/window_startup.sh.
class Window : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        if (!painted_ && qEnvironmentVariableIsSet("VALDORA_REPORT_FIRST_FRAME")) {
            std::fprintf(stderr, "valdora: first frame %lld ms after start\n",
                         static_cast<long long>(platform::milliseconds_since_process_start()));
        }
        painted_ = true;
    }

private:
    bool painted_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    {
        std::ofstream args("valdora_args.txt", std::ios::binary | std::ios::trunc);
        for (int i = 1; i < argc; ++i) args << argv[i] << '\n';
    }
    // The start handshake; said on standard error too, for the tests.
    if (auto started = platform::NamedEvent::open("trovhal"); started && started->signal()) {
        std::fputs("valdora: trovhal signalled\n", stderr);
    }

    const char* exitAtOnce = std::getenv("VALDORA_GAME_EXIT");
    if (exitAtOnce != nullptr && std::strcmp(exitAtOnce, "1") == 0) return 0;

    QApplication app(argc, argv);
    QString text = QString::fromUtf8("Valdora (oyun yerine geçen program)\n\nArgümanlar:");
    for (int i = 1; i < argc; ++i) text += QStringLiteral(" ") + QString::fromLocal8Bit(argv[i]);
    Window window(text);
    window.setWindowTitle(QStringLiteral("Valdora"));
    window.setMargin(24);
    window.show();
    if (exitAtOnce == nullptr || std::strcmp(exitAtOnce, "never") != 0) {
        QTimer::singleShot(5000, &app, &QApplication::quit);
    }
    return app.exec();
}

// The stand-in's window on Linux: its arguments, for a few seconds.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstdio>

#include "platform/system_info.h"
#include "stand_in.h"

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

int StayAsTheGame(int argc, char** argv, bool untilEnded) {
    QApplication app(argc, argv);
    QString text = QString::fromUtf8("Valdora (oyun yerine geçen program)\n\nArgümanlar:");
    for (int i = 1; i < argc; ++i) text += QStringLiteral(" ") + QString::fromLocal8Bit(argv[i]);
    Window window(text);
    window.setWindowTitle(QStringLiteral("Valdora"));
    window.setMargin(24);
    window.show();
    if (!untilEnded) QTimer::singleShot(5000, &app, &QApplication::quit);
    return app.exec();
}

#include "ui/qt_message_target.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>

#include "ui/dialog_message_box.h"

const QEvent::Type UserMessageEvent::kType =
    static_cast<QEvent::Type>(QEvent::registerEventType(QEvent::User + 1024));

namespace {

QString to_qstring(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void QtMessageTarget::Waiting::finish() {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    closed.notify_all();
}

QtMessageTarget::QtMessageTarget(QWidget* window) : window_(window) {}

QtMessageTarget::~QtMessageTarget() {
    Close();
}

void QtMessageTarget::PostMessage(window::UINT message, window::WPARAM wParam,
                                  window::LPARAM lParam) {
    // postEvent is safe from any thread; the event is dropped if the window
    // is gone, as a message to a destroyed window is.
    if (QWidget* w = window_.data()) {
        QCoreApplication::postEvent(w, new UserMessageEvent(message, wParam, lParam));
    }
}

void QtMessageTarget::MessageBox(std::u16string_view text, std::u16string_view caption,
                                 platform::BoxIcon icon, platform::BoxOwner owner) {
    QWidget* parent = owner == platform::BoxOwner::Window ? window_.data() : nullptr;
    if (QThread::currentThread() == thread()) {
        MakeMessageBox(parent, text, caption, icon)->exec();
        return;
    }
    auto waiting = std::make_shared<Waiting>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
        waiting_.push_back(waiting);
    }
    // Queued, not blocking: if the window's loop has ended the call never
    // runs, and Close() ends the wait instead.
    QMetaObject::invokeMethod(
        this,
        [this, waiting, t = to_qstring(text), c = to_qstring(caption), icon, owner] {
            ShowFor(waiting, t, c, icon, owner);
        },
        Qt::QueuedConnection);
    {
        std::unique_lock<std::mutex> lock(waiting->mutex);
        waiting->closed.wait(lock, [&] { return waiting->done; });
    }
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), waiting), waiting_.end());
}

void QtMessageTarget::ShowFor(const std::shared_ptr<Waiting>& waiting, const QString& text,
                              const QString& caption, platform::BoxIcon icon,
                              platform::BoxOwner owner) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return waiting->finish();
    }
    QWidget* parent = owner == platform::BoxOwner::Window ? window_.data() : nullptr;
    QMessageBox* box =
        MakeMessageBox(parent, text.toStdU16String(), caption.toStdU16String(), icon).release();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::NonModal);
    connect(box, &QMessageBox::finished, this, [waiting] { waiting->finish(); });
    connect(box, &QObject::destroyed, this, [waiting] { waiting->finish(); });
    shown_.push_back(box);
    box->show();
}

void QtMessageTarget::Close() {
    std::vector<std::shared_ptr<Waiting>> waiting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        waiting = waiting_;
    }
    for (const auto& w : waiting) w->finish();
    if (QThread::currentThread() != thread()) return;
    for (const QPointer<QMessageBox>& box : shown_) {
        if (box) box->close();
    }
    shown_.clear();
}

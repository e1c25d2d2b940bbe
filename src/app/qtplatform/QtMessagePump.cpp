#include "app/qtplatform/QtMessagePump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <thread>

QtMessagePump::QtMessagePump() : wake_(std::make_unique<QTimer>()) {
    wake_->setSingleShot(true);
    wake_->setTimerType(Qt::PreciseTimer);
    // The timeout itself is the event that ends the blocking wait; nothing else to do.
    QObject::connect(wake_.get(), &QTimer::timeout, [] {});
}

QtMessagePump::~QtMessagePump() = default;

void QtMessagePump::ProcessMessages() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtMessagePump::Watch(int descriptor) {
    if (descriptor == watched_ && notifier_)
        return;
    notifier_.reset();
    watched_ = descriptor;
    if (descriptor < 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    notifier_->setEnabled(false);
    // Activation alone wakes the event loop; the waiting loop reads the bytes itself.
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] {});
}

void QtMessagePump::WaitForEvent(int descriptor, int maxWaitMs) {
    Watch(descriptor);
    if (notifier_)
        notifier_->setEnabled(true);
    if (maxWaitMs >= 0)
        wake_->start(maxWaitMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    wake_->stop();
    // Disabled outside waits: a readable descriptor must not keep waking an idle loop.
    if (notifier_)
        notifier_->setEnabled(false);
}

void QtMessagePump::Pause(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::int64_t QtMessagePump::NowMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

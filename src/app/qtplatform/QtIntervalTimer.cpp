#include "app/qtplatform/QtIntervalTimer.h"

QtIntervalTimer::QtIntervalTimer() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (handler_)
            handler_();
    });
}

void QtIntervalTimer::SetInterval(int milliseconds) {
    timer_.setInterval(milliseconds);
}

void QtIntervalTimer::SetEnabled(bool on) {
    if (on) {
        timer_.start();  // restarts the interval when already running
    } else {
        timer_.stop();
    }
}

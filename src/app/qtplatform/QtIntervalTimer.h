#pragma once

#include <QTimer>
#include <functional>

#include "link/Platform.h"

// The interval timer over a QTimer; its ticks arrive through the event loop.
class QtIntervalTimer : public IntervalTimer {
  public:
    QtIntervalTimer();
    void SetInterval(int milliseconds) override;
    int Interval() const override { return timer_.interval(); }
    void SetEnabled(bool on) override;
    bool IsEnabled() const override { return timer_.isActive(); }
    void SetOnTimer(std::function<void()> handler) override { handler_ = std::move(handler); }

  private:
    QTimer timer_;
    std::function<void()> handler_;
};

#pragma once

#include "link/Platform.h"

// The two waits of the downloads that are not reply waits.
class DownloadClock {
  public:
    virtual ~DownloadClock() = default;
    // Waits ticks of 1/18 s while the application keeps processing messages, so Stop and the
    // timers stay live (the flash erase wait).
    virtual void DelayTicks(int ticks) = 0;
    // Pauses without processing messages (the settle time between DSP loader and pages).
    virtual void Pause(int milliseconds) = 0;
};

// The program's clock: the erase wait is the port component's tick delay with yield, the pause
// the message pump's plain pause.
class ComponentDownloadClock : public DownloadClock {
  public:
    ComponentDownloadClock(PortComponent& component, MessagePump& pump)
        : component_(component), pump_(pump) {}
    void DelayTicks(int ticks) override;
    void Pause(int milliseconds) override;

  private:
    PortComponent& component_;
    MessagePump& pump_;
};

// A clock over the message pump alone (no port component needed): the tick delay blocks in the
// pump until its deadline, processing every event that arrives meanwhile.
class PumpDownloadClock : public DownloadClock {
  public:
    explicit PumpDownloadClock(MessagePump& pump) : pump_(pump) {}
    void DelayTicks(int ticks) override;
    void Pause(int milliseconds) override;

  private:
    MessagePump& pump_;
};

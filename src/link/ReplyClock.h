#pragma once

#include <cstdint>
#include <functional>

#include "link/Platform.h"

// The clock that ends a reply wait. Each transport has its own: the port component times
// replies with its timer triggers, in ticks, and such a trigger ends a wait only while the line
// is idle; the direct serial device with the owner's interval timer, in milliseconds, which
// ends any wait. Prepare sets the time for the waits to come, Arm and Disarm bracket one wait,
// Release gives the clock's resources back.
class ReplyClock {
  public:
    virtual ~ReplyClock() = default;
    // False when no timeout can be made.
    virtual bool Prepare(int milliseconds) = 0;
    virtual void Arm() = 0;
    virtual void Disarm() = 0;
    virtual void Release() = 0;
    // The prepared time in the clock's own unit.
    virtual int Value() const = 0;
    // The trigger the clock armed (-1 when it has none): a trigger event with another handle
    // is not the link's.
    virtual int Handle() const { return -1; }
    // True when the clock ends a wait only while the line is idle, so that a wait it ended
    // found the line quiet.
    virtual bool EndsOnlyWhenIdle() const = 0;
};

// The owner's interval timer (attached to the link once), in milliseconds.
class IntervalClock : public ReplyClock {
  public:
    // timer is the link's field, read at each call: the owner attaches it after construction.
    explicit IntervalClock(IntervalTimer* const& timer) : timer_(timer) {}
    bool Prepare(int milliseconds) override;
    void Arm() override;
    void Disarm() override;
    void Release() override {}
    int Value() const override { return milliseconds_; }
    bool EndsOnlyWhenIdle() const override { return false; }

  private:
    IntervalTimer* const& timer_;
    int milliseconds_ = 0;
};

// A timer trigger of the port component, in ticks of 1/18 s.
class TriggerClock : public ReplyClock {
  public:
    // Routes the component's trigger events to onTrigger.
    TriggerClock(PortComponent& port, std::function<void(int handle)> onTrigger);
    bool Prepare(int milliseconds) override;
    void Arm() override;
    void Disarm() override;
    void Release() override;
    int Value() const override { return ticks_; }
    int Handle() const override { return handle_; }
    bool EndsOnlyWhenIdle() const override { return true; }

  private:
    PortComponent& port_;
    std::int32_t handle_ = -1;
    std::int32_t ticks_ = 0;
};

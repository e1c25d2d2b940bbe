#include "link/ReplyClock.h"

namespace {

int MillisecondsToTicks(int ms) {
    return static_cast<int>((static_cast<std::int64_t>(ms) * kTicksPerSecond + 500) / 1000);
}

}  // namespace

bool IntervalClock::Prepare(int milliseconds) {
    milliseconds_ = milliseconds;
    return true;
}

void IntervalClock::Arm() {
    // An interval of 0 means no timeout was prepared: the timer stays off.
    if (timer_ && milliseconds_ > 0) {
        timer_->SetInterval(milliseconds_);
        timer_->SetEnabled(true);
    }
}

void IntervalClock::Disarm() {
    if (timer_)
        timer_->SetEnabled(false);
}

TriggerClock::TriggerClock(PortComponent& port, std::function<void(int handle)> onTrigger)
    : port_(port) {
    port_.SetOnTriggerTimer(std::move(onTrigger));
}

bool TriggerClock::Prepare(int milliseconds) {
    Release();  // a second prepare must not leak the first trigger
    ticks_ = MillisecondsToTicks(milliseconds);
    const int handle = port_.AddTimerTrigger();
    if (handle == 0)
        return false;
    handle_ = handle;
    return true;
}

void TriggerClock::Arm() {
    if (handle_ != -1)
        port_.SetTimerTrigger(handle_, ticks_, true);
}

void TriggerClock::Disarm() {
    if (handle_ != -1)
        port_.SetTimerTrigger(handle_, 0, false);
}

void TriggerClock::Release() {
    if (handle_ == -1)
        return;
    port_.RemoveTrigger(handle_);
    handle_ = -1;
}

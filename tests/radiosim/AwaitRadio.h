#pragma once

// The simulated radio serves the line on a thread of its own: a test that checks what the
// radio saw after the tool's last frame (one the tool sends without awaiting a reply) waits
// for it here, with the program's event loop running so that buffered writes still go out.
#include <cstdint>

#include "RadioSim.h"
#include "link/Platform.h"

namespace simtest {

// Only a safety net so that a broken test ends instead of hanging; no loaded machine comes
// near it. A passing wait ends on the radio's own signal.
constexpr std::int64_t kRadioSafetyNetMs = 60000;

// Blocks until condition() holds; false if it still does not hold after the safety net.
template <class Condition>
bool AwaitRadio(const RadioSim& sim, MessagePump& pump, Condition condition) {
    const std::int64_t until = pump.NowMilliseconds() + kRadioSafetyNetMs;
    for (;;) {
        sim.DrainChanges();
        if (condition())
            return true;
        const std::int64_t left = until - pump.NowMilliseconds();
        if (left <= 0)
            return false;
        pump.WaitForEvent(sim.ChangeDescriptor(), static_cast<int>(left));
    }
}

}  // namespace simtest

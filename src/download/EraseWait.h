#pragma once

#include "link/LinkTypes.h"

// The wait for the flash erase between the loader and the code image, by target kind, in
// ticks of 1/18 s.
inline constexpr int kEraseTicksShort = 18;      // kind 1 and every boot download: 1 s
inline constexpr int kEraseTicksKind4 = 720;     // 40 s
inline constexpr int kEraseTicksKind0And8 = 36;  // 2 s
inline constexpr int kEraseTicksOther = 1440;    // 80 s

struct EraseWait {
    const char* text;  // status text shown before the wait; nullptr for none
    int ticks;
};

EraseWait EraseWaitFor(TargetKind kind, bool isBoot);

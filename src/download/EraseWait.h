#pragma once

#include "link/TargetKinds.h"

struct EraseWait {
    const char* text;  // status text shown before the wait; nullptr for none
    int ticks;
};

// The wait for the flash erase between the loader and the code image, from the kind's row.
EraseWait EraseWaitFor(TargetKind kind, bool isBoot);

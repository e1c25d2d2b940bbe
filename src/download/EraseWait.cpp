#include "download/EraseWait.h"

#include "download/DownloadTexts.h"

EraseWait EraseWaitFor(TargetKind kind, bool isBoot) {
    const int ticks = isBoot ? kEraseTicksShort : TargetKindInfo(kind).eraseTicks;
    // The status text names the length of the wait; the short one passes without a text.
    switch (ticks) {
        case kEraseTicksKind4:
            return {dltext::kErasing40, ticks};
        case kEraseTicksKind0And8:
            return {dltext::kErasing2, ticks};
        case kEraseTicksOther:
            return {dltext::kErasing80, ticks};
        default:
            return {nullptr, ticks};
    }
}

#include "download/EraseWait.h"

#include "download/DownloadTexts.h"

EraseWait EraseWaitFor(TargetKind kind, bool isBoot) {
    if (kind == 1 || isBoot)
        return {nullptr, kEraseTicksShort};
    if (kind == 4)
        return {dltext::kErasing40, kEraseTicksKind4};
    if (kind == 0 || kind == 8)
        return {dltext::kErasing2, kEraseTicksKind0And8};
    return {dltext::kErasing80, kEraseTicksOther};
}

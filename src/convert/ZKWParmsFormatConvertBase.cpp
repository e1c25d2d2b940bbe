#include "convert/ZKWParmsFormatConvertBase.h"

#include "convert/CodeplugVersion.h"

namespace {

constexpr LayoutRecord kRows59[] = {
    {64, 0, 15, 0},   // header
    {38, 0, 15, 0},   // ordinal
    {96, 0, 15, 0},   // system kind 0
    {144, 0, 15, 0},  // system kind 1
    {348, 0, 15, 0},  // system kind 3
    {313, 0, 15, 0},  // system kind 4
    {57, 0, 15, 0},   // system kind 5
    {69, 0, 15, 0},   // kind block 0
    {70, 0, 15, 0},   // kind block 1 and 3
    {76, 0, 15, 0},   // kind block 4
    {65, 0, 15, 0},   // kind block 5
};

constexpr LayoutRecord kRows510[] = {
    {84, 20, 15, 0}, {38, 0, 15, 0},  {96, 0, 15, 0}, {146, 0, 17, 2},
    {354, 0, 21, 6}, {319, 0, 21, 6}, {57, 0, 15, 0}, {69, 0, 15, 0},
    {70, 0, 15, 0},  {76, 0, 15, 0},  {65, 0, 15, 0},
};

}  // namespace

LayoutRecord layoutFor(LayoutKind kind, uint8_t versionIndex) {
    const auto row = static_cast<int>(kind);
    return versionIndex == kVersion510 ? kRows510[row] : kRows59[row];
}

void ZKWParmsFormatConvertBase::convert(CodeplugImage& img, uint8_t reverseFlag) {
    image = &img;
    reverse = reverseFlag;
    restructure = 1;
    fixupsOnly = 0;
    run();
}

void ZKWParmsFormatConvertBase::convertFixupsOnly(CodeplugImage& img, uint8_t reverseFlag) {
    image = &img;
    reverse = reverseFlag;
    restructure = 0;
    fixupsOnly = 1;
    run();
}

void ZKWParmsFormatConvertBase::run() {
    const int before = imageWords(img());
    headerPass();
    kindPass();
    systemPass();
    ordinalPass();
    sizeChange = imageWords(img()) - before;
}

void ZKWParmsFormatConvertBase::headerPass() {
    const LayoutRecord layout = layoutFor(LayoutKind::Header, versionIndex);
    if (structural() && forward())
        applyLayout(0, layout);
    convertHeader();
    if (reverse)
        applyLayout(0, layout);
    if (structural()) {
        int major = 0;
        int minor = 0;
        versionNumbersOf(reverse ? static_cast<uint8_t>(versionIndex - 1) : versionIndex, major,
                         minor);
        setField(img(), 3, 0xFF00, 8, major);
        setField(img(), 3, 0x00FF, 0, minor);
    }
}

void ZKWParmsFormatConvertBase::kindPass() {
    struct KindStep {
        int key;
        LayoutKind layout;
        void (ZKWParmsFormatConvertBase::*convert)();
    };
    static constexpr KindStep kSteps[] = {
        {0, LayoutKind::KindBlock0, &ZKWParmsFormatConvertBase::convertKind0Block},
        {1, LayoutKind::KindBlock13, &ZKWParmsFormatConvertBase::convertKind1Block},
        {4, LayoutKind::KindBlock4, &ZKWParmsFormatConvertBase::convertKind4Block},
        {5, LayoutKind::KindBlock5, &ZKWParmsFormatConvertBase::convertKind5Block},
    };
    for (const KindStep& step : kSteps) {
        int key = step.key;
        // The kind block that serves kinds 1 and 3 may carry either key; the step addresses
        // whichever exists, never the header at position 0.
        if (key == 1 && findKindBlock(img(), 1) == 0)
            key = 3;
        if (findKindBlock(img(), key) == 0)
            continue;
        const LayoutRecord layout = layoutFor(step.layout, versionIndex);
        if (structural() && forward())
            applyLayout(findKindBlock(img(), key), layout);
        (this->*step.convert)();
        if (reverse)
            applyLayout(findKindBlock(img(), key), layout);
    }
}

void ZKWParmsFormatConvertBase::systemPass() {
    const int count = systemCount(img());
    for (int number = 1; number <= count; ++number) {
        LayoutKind layoutKind;
        void (ZKWParmsFormatConvertBase::*convertSystem)(int);
        switch (systemKind(img(), number)) {
            case 0:
                layoutKind = LayoutKind::System0;
                convertSystem = &ZKWParmsFormatConvertBase::convertKind0System;
                break;
            case 1:
                layoutKind = LayoutKind::System1;
                convertSystem = &ZKWParmsFormatConvertBase::convertKind1System;
                break;
            case 3:
                layoutKind = LayoutKind::System3;
                convertSystem = &ZKWParmsFormatConvertBase::convertKind3System;
                break;
            case 4:
                layoutKind = LayoutKind::System4;
                convertSystem = &ZKWParmsFormatConvertBase::convertKind4System;
                break;
            case 5:
                layoutKind = LayoutKind::System5;
                convertSystem = &ZKWParmsFormatConvertBase::convertKind5System;
                break;
            default:
                continue;  // kinds 2 and 6 have no conversion; absent systems are passed over
        }
        const LayoutRecord layout = layoutFor(layoutKind, versionIndex);
        if (structural() && forward())
            applyLayout(findSystemBlock(img(), number), layout);
        (this->*convertSystem)(number);
        if (reverse)
            applyLayout(findSystemBlock(img(), number), layout);
    }
}

void ZKWParmsFormatConvertBase::ordinalPass() {
    const int count = ordinalCount(img());
    const LayoutRecord layout = layoutFor(LayoutKind::Ordinal, versionIndex);
    for (int ordinal = 1; ordinal <= count; ++ordinal) {
        if (findOrdinalBlock(img(), ordinal) == 0)
            continue;
        if (structural() && forward())
            applyLayout(findOrdinalBlock(img(), ordinal), layout, ordinal);
        convertOrdinalTable0(ordinal);
        convertOrdinalTable1(ordinal);
        convertOrdinalTable2(ordinal);
        convertOrdinalTable3(ordinal);
        convertOrdinalTable4(ordinal);
        if (reverse)
            applyLayout(findOrdinalBlock(img(), ordinal), layout, ordinal);
    }
}

void ZKWParmsFormatConvertBase::applyLayout(int block, const LayoutRecord& layout, int ordinal) {
    const int s = direction();
    const int D = layout.dataOffset;
    const int F = layout.fixedGrowth;
    const int T = layout.tableCount;
    const int A = layout.tablesAdded;
    const int count = tableLayout(img(), block).tableCount;
    const int descriptors = block + D - T;  // descriptor position in the newer layout

    if (!forward()) {
        // The tables this version added have no place in the older layout: drop their data
        // too, so that no orphaned words stay behind in the block.
        for (int t = T - A; t < T && t < count; ++t)
            removeTableData(block, t);
    }
    setTableLayout(img(), block, forward() ? D - T : D - F - T, count + s * A);
    if (forward()) {
        insertWords(img(), descriptors - F, F);
        insertWords(img(), descriptors + T - A, A);
    } else {
        removeWords(img(), descriptors + T - A, A);
        removeWords(img(), descriptors - F, F);
    }
    const int blockClassOf = blockClass(img(), block);
    if (forward() && blockClassOf != kHeaderClass) {
        const int key = img().word(block + 3);
        if (blockClassOf == kKindClass) {
            switch (key >> 12) {
                case 0:
                    afterKind0Layout();
                    break;
                case 1:
                case 3:
                    afterKind1Layout();
                    break;
                case 4:
                    afterKind4Layout();
                    break;
                case 5:
                    afterKind5Layout();
                    break;
                default:
                    break;
            }
        } else if (blockClassOf == kSystemClass) {
            const int number = key & 0xFF;
            switch (key >> 12) {
                case 0:
                    afterKind0SystemLayout(number);
                    break;
                case 1:
                    afterKind1SystemLayout(number);
                    break;
                case 3:
                    afterKind3SystemLayout(number);
                    break;
                case 4:
                    afterKind4SystemLayout(number);
                    break;
                case 5:
                    afterKind5SystemLayout(number);
                    break;
                default:
                    break;
            }
        } else {
            afterOrdinalLayout(ordinal);
        }
    }
    addBlockLength(img(), block, s * (F + A));
    addImageWords(img(), s * (F + A));
    if (forward() && blockClassOf == kHeaderClass)
        afterHeaderLayout();
}

void ZKWParmsFormatConvertBase::removeTableData(int block, int table) {
    TableShape shape;
    const int start = tableStart(img(), block, table, &shape);
    const int words = shape.words();
    if (words == 0)
        return;
    removeWords(img(), start, words);
    setTableShape(img(), block, table, 0, -1);
    addBlockLength(img(), block, -words);
    addImageWords(img(), -words);
}

void ZKWParmsFormatConvertBase::resizeHeaderTable(bool descriptorOnly, int table, int oldEntries,
                                                  int newEntries, int oldWords, int newWords) {
    TableShape shape;
    const int start = tableStart(img(), 0, table, &shape);
    if (reverse) {
        setTableShape(img(), 0, table, oldEntries, oldWords);
    } else {
        setTableShape(img(), 0, table, newEntries, newWords);
    }
    if (descriptorOnly)
        return;
    const int d = shape.wordsPerEntry * (newEntries - oldEntries) * direction();
    const int end = start + shape.words();
    if (d > 0) {
        insertWords(img(), end, d);
    } else {
        // Removing whole entries from the table's end.
        removeWords(img(), end + d, -d);
    }
    addBlockLength(img(), 0, d);
    addImageWords(img(), d);
}

void ZKWParmsFormatConvertBase::widenEntries(int block, int table, int oldWords, int newWords) {
    if (block == 0)
        return;
    TableShape shape;
    const int start = tableStart(img(), block, table, &shape);
    // Entries are widened from, and narrowed back from, the width they actually have, so a
    // table of an unexpected width is never cut or padded in the middle of an entry.
    const int narrow = forward() ? shape.wordsPerEntry : oldWords;
    const int wide = forward() ? newWords : shape.wordsPerEntry;
    const int g = wide - narrow;
    if (g <= 0) {
        // Nothing to move; a table without entries still takes the width of the format.
        if (shape.entries == 0)
            setTableShape(img(), block, table, -1, forward() ? newWords : oldWords);
        return;
    }
    setTableShape(img(), block, table, -1, forward() ? wide : narrow);
    const int n = shape.entries;
    for (int i = 1; i <= n; ++i) {
        if (forward()) {
            insertWords(img(), start + i * narrow + (i - 1) * g, g);
        } else {
            removeWords(img(), start + i * narrow, g);
        }
    }
    addBlockLength(img(), block, direction() * n * g);
    addImageWords(img(), direction() * n * g);
}

void ZKWParmsFormatConvertBase::widenSystemEntries(int number, int table, int oldWords,
                                                   int newWords) {
    widenEntries(findSystemBlock(img(), number), table, oldWords, newWords);
}

void ZKWParmsFormatConvertBase::widenOrdinalEntries(int ordinal, int table, int oldWords,
                                                    int newWords) {
    widenEntries(findOrdinalBlock(img(), ordinal), table, oldWords, newWords);
}

void ZKWParmsFormatConvertBase::dropSystemTable(int number, int table) {
    if (forward())
        return;
    const int block = findSystemBlock(img(), number);
    if (block == 0)
        return;
    removeTableData(block, table);
    setTableShape(img(), block, table, 0, -1);
}

void ZKWParmsFormatConvertBase::defaultSystemEntryWords(int number, int table, int words) {
    const int block = findSystemBlock(img(), number);
    if (block == 0)
        return;
    if (tableShape(img(), block, table).wordsPerEntry == 0)
        setTableShape(img(), block, table, -1, words);
}

void ZKWParmsFormatConvertBase::resetSystemTable(int number, int table, int words) {
    const int block = findSystemBlock(img(), number);
    if (block == 0)
        return;
    removeTableData(block, table);
    setTableShape(img(), block, table, 0, words);
}

void ZKWParmsFormatConvertBase::fillBlankText(int position, bool force) {
    for (int i = 0; i < 5; ++i) {
        const int pos = position + i;
        if (force || getField(img(), pos, 0xFF00, 8) == 0)
            setField(img(), pos, 0xFF00, 8, 0x20);
        if (force || getField(img(), pos, 0x00FF, 0) == 0)
            setField(img(), pos, 0x00FF, 0, 0x20);
    }
}

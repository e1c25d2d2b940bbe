#include "convert/ZKWParmsFormat59510.h"

#include "convert/CodeplugVersion.h"

namespace {

constexpr int kHeaderTable1 = 1;
constexpr int kHeaderTable1Entries59 = 16;
constexpr int kHeaderTable1Entries510 = 64;
constexpr int kModelCodeWord = 5;
constexpr int kUnsetWordsModel = 4;
constexpr int kHeaderTextWord = 46;
constexpr int kDerivedEntryWords = 3;

// Words per entry of the ordinal tables 0-4 in 5.9 and 5.10.
constexpr int kOrdinalWidth59[5] = {17, 15, 13, 13, 14};
constexpr int kOrdinalWidth510[5] = {18, 15, 13, 13, 14};

}  // namespace

void ZKWParmsFormat59510::resizeHeaderTable1() {
    const int entries = tableShape(img(), 0, kHeaderTable1).entries;
    if (forward()) {
        // An image stamped 5.10 only gets the table that is still at the 5.9 size.
        if (codeplugVersionIndex(img()) == kVersion510 && entries != kHeaderTable1Entries59)
            return;
        // Entries are appended up to 64, however many the table has; it never shrinks here.
        if (entries < kHeaderTable1Entries510)
            resizeHeaderTable(false, kHeaderTable1, entries, kHeaderTable1Entries510, -1, -1);
    } else if (entries > kHeaderTable1Entries59) {
        resizeHeaderTable(false, kHeaderTable1, kHeaderTable1Entries59, entries, -1, -1);
    }
}

void ZKWParmsFormat59510::convertHeader() {
    if (structural())
        resizeHeaderTable1();
    if (!runs() || !forward())
        return;
    if (!structural())
        resizeHeaderTable1();

    if (getField(img(), 29, 0x1C00, 10) == 0)
        setField(img(), 28, 0x1C00, 10, 1);
    if (getField(img(), 6, 0x00F0, 4) < 4)
        setField(img(), 6, 0x00F0, 4, 4);
    if (getField(img(), 24, 0x00FF, 0) == 1)
        setField(img(), 24, 0x00FF, 0, 2);
    fillBlankText(kHeaderTextWord, false);
}

void ZKWParmsFormat59510::convertKind0Block() {
    if (!runs() || !forward())
        return;
    const int block = findKindBlock(img(), 0);
    if (block != 0)
        clearWords(img(), block + 30, 10);
}

void ZKWParmsFormat59510::convertKind0System(int number) {
    if (structural())
        widenSystemEntries(number, 3, 36, 58);
}

void ZKWParmsFormat59510::convertKind1System(int number) {
    if (structural()) {
        widenSystemEntries(number, 7, 36, 58);
        widenSystemEntries(number, 5, 4, 5);
        widenSystemEntries(number, 6, 18, 19);
    }
    if (runs() && forward()) {
        defaultSystemEntryWords(number, 9, 2);
        deriveSystemTable(number);
    }
}

void ZKWParmsFormat59510::convertKind3System(int number) {
    if (structural()) {
        widenSystemEntries(number, 7, 36, 58);
        widenSystemEntries(number, 5, 6, 7);
        widenSystemEntries(number, 6, 20, 21);
    }
    if (runs() && forward()) {
        defaultSystemEntryWords(number, 13, 2);
        deriveSystemTable(number);
    }
}

void ZKWParmsFormat59510::convertKind4System(int number) {
    if (structural()) {
        widenSystemEntries(number, 9, 36, 58);
        widenSystemEntries(number, 6, 8, 13);
        widenSystemEntries(number, 7, 22, 26);
        widenSystemEntries(number, 11, 32, 64);
        dropSystemTable(number, 15);
    }
    if (runs() && forward()) {
        defaultSystemEntryWords(number, 13, 2);
        deriveSystemTable(number);
        clearUnsetWords(number);
    }
}

void ZKWParmsFormat59510::convertKind5System(int number) {
    if (structural()) {
        widenSystemEntries(number, 2, 37, 59);
        dropSystemTable(number, 3);
    }
}

void ZKWParmsFormat59510::afterKind4SystemLayout(int number) {
    resetSystemTable(number, 15, 2);
}
void ZKWParmsFormat59510::afterKind5SystemLayout(int number) {
    resetSystemTable(number, 3, 37);
}

void ZKWParmsFormat59510::widenOrdinalTable(int ordinal, int table) {
    if (structural())
        widenOrdinalEntries(ordinal, table, kOrdinalWidth59[table], kOrdinalWidth510[table]);
}

void ZKWParmsFormat59510::convertOrdinalTable0(int ordinal) {
    widenOrdinalTable(ordinal, 0);
}
void ZKWParmsFormat59510::convertOrdinalTable1(int ordinal) {
    widenOrdinalTable(ordinal, 1);
}
void ZKWParmsFormat59510::convertOrdinalTable2(int ordinal) {
    widenOrdinalTable(ordinal, 2);
}
void ZKWParmsFormat59510::convertOrdinalTable3(int ordinal) {
    widenOrdinalTable(ordinal, 3);
}
void ZKWParmsFormat59510::convertOrdinalTable4(int ordinal) {
    widenOrdinalTable(ordinal, 4);
}

void ZKWParmsFormat59510::deriveSystemTable(int number) {
    int target;
    int source;
    uint16_t mask;
    switch (systemKind(img(), number)) {
        case 1:
            target = 10, source = 5, mask = 0x0FFF;
            break;
        case 3:
            target = 14, source = 5, mask = 0x0FFF;
            break;
        case 4:
            target = 14, source = 6, mask = 0xFFFF;
            break;
        default:
            return;
    }
    const int block = findSystemBlock(img(), number);
    if (tableShape(img(), block, target).wordsPerEntry != 0)
        return;

    TableShape from;
    const int sourceStart = tableStart(img(), block, source, &from);
    const int n = from.entries;
    setTableShape(img(), block, target, n, kDerivedEntryWords);
    // The target's data goes where the table before it ends, which is the target's start.
    const int targetStart = tableStart(img(), block, target);
    insertWords(img(), targetStart, kDerivedEntryWords * n);
    for (int i = 0; i < n; ++i) {
        const int in = sourceStart + i * from.wordsPerEntry;
        const int out = targetStart + i * kDerivedEntryWords;
        img().setWord(out, static_cast<uint16_t>(img().word(in) & mask));
        img().setWord(out + 1, img().word(in + 1));
        img().setWord(out + 2, img().word(in + 2));
    }
    addBlockLength(img(), block, kDerivedEntryWords * n);
    addImageWords(img(), kDerivedEntryWords * n);
}

void ZKWParmsFormat59510::clearUnsetWords(int number) {
    if (getField(img(), kModelCodeWord, 0x000F, 0) != kUnsetWordsModel)
        return;
    const int block = findSystemBlock(img(), number);
    if (block == 0)
        return;
    // Entry word 1 of every entry, then entry word 2, of table 6 and then of table 14.
    for (int table : {6, 14}) {
        for (int entryWord : {1, 2}) {
            TableShape shape;
            const int start = tableStart(img(), block, table, &shape);
            for (int i = 0; i < shape.entries; ++i) {
                const int pos = start + i * shape.wordsPerEntry + entryWord;
                if (img().word(pos) == 0xFFFF)
                    img().setWord(pos, 0x0FFF);
            }
        }
    }
}

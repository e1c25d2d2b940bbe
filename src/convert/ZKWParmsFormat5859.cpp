#include "convert/ZKWParmsFormat5859.h"

#include <array>

#include "convert/CodeplugText.h"

namespace {

constexpr int kHeaderTable0Entries = 16;
constexpr int kFavoritesTable = 3;
constexpr int kFavoritesEntries = 16;
constexpr uint16_t kFavoritesEntry = 0xFF01;
constexpr int kFavoritesNameWord = 39;
constexpr int kSystemAliasWord = 65;
constexpr int kModelCodeWord = 5;
constexpr int kKind4CleanupModel = 8;

// Kind-0 settings that 5.9 keeps in the first kind-0 system instead of the kind block.
constexpr std::array<int, 7> kKindBlockSettingWords = {10, 11, 12, 13, 27, 28, 30};
constexpr std::array<int, 7> kSystemSettingWords = {18, 19, 21, 22, 23, 24, 25};

constexpr int kMembershipRecordWords = 37;
constexpr int kMembershipBitmapWords = 32;

}  // namespace

void ZKWParmsFormat5859::stepCountField(int number, int word, uint16_t mask, int shift) {
    const int block = findSystemBlock(img(), number);
    if (block == 0)
        return;
    const int f = getField(img(), block + word, mask, shift);
    int stepped;
    if (forward()) {
        stepped = f >= 12 ? 16 : f + 4;
    } else {
        stepped = f <= 4 ? 0 : f - 4;
    }
    setField(img(), block + word, mask, shift, stepped);
}

void ZKWParmsFormat5859::convertHeader() {
    if (!runs() || !forward())
        return;
    const TableShape table0 = tableShape(img(), 0, 0);
    if (table0.entries < kHeaderTable0Entries) {
        resizeHeaderTable(false, 0, table0.entries, kHeaderTable0Entries, -1, -1);
    }
    addFavoritesTable();
    if (getField(img(), 25, 0xFF00, 8) == 0)
        setField(img(), 25, 0xFF00, 8, 1);
    if (getField(img(), 25, 0x00FF, 0) == 0)
        setField(img(), 25, 0x00FF, 0, 1);
}

void ZKWParmsFormat5859::addFavoritesTable() {
    if (tableShape(img(), 0, kFavoritesTable).wordsPerEntry != 0)
        return;
    setTableShape(img(), 0, kFavoritesTable, -1, 1);
    resizeHeaderTable(false, kFavoritesTable, 0, kFavoritesEntries, -1, -1);
    const int start = tableStart(img(), 0, kFavoritesTable);
    for (int i = 0; i < kFavoritesEntries; ++i)
        img().setWord(start + i, kFavoritesEntry);
    writeText10(img(), "FAVORITES", kFavoritesNameWord);
}

void ZKWParmsFormat5859::convertKind0Block() {
    if (runs())
        copyKind0Settings();
}

void ZKWParmsFormat5859::copyKind0Settings() {
    const int kindBlock = findKindBlock(img(), 0);
    if (kindBlock == 0)
        return;
    int system = 0;
    for (int number = 1; number <= systemCount(img()) && system == 0; ++number) {
        if (systemKind(img(), number) == 0)
            system = findSystemBlock(img(), number);
    }
    if (system == 0)
        return;
    for (std::size_t i = 0; i < kKindBlockSettingWords.size(); ++i) {
        const int k = kindBlock + kKindBlockSettingWords[i];
        const int s = system + kSystemSettingWords[i];
        if (forward()) {
            img().setWord(s, img().word(k));
        } else {
            img().setWord(k, img().word(s));
        }
    }
}

void ZKWParmsFormat5859::convertKind0System(int number) {
    if (!runs() || !forward())
        return;
    const int block = findSystemBlock(img(), number);
    if (block == 0)
        return;

    TableShape table2 = tableShape(img(), block, 2);
    if (table2.wordsPerEntry <= 3) {
        widenSystemEntries(number, 2, 2, 4);
        const int start = tableStart(img(), block, 2, &table2);
        const int value = static_cast<int>(roundHalfUp(548.864));
        for (int i = 0; i < table2.entries; ++i) {
            const int entry = start + i * table2.wordsPerEntry;
            setField(img(), entry + 2, 0x0FFF, 0, value);
            img().setWord(entry + 3, 659);
        }
    }

    bool aliasEmpty = true;
    for (int i = 0; i < 5; ++i)
        aliasEmpty = aliasEmpty && img().word(block + kSystemAliasWord + i) == 0;
    if (aliasEmpty)
        writeText10(img(), "SYS ALIAS", block + kSystemAliasWord);

    defaultSystemEntryWords(number, 6, 9);
    defaultSystemEntryWords(number, 7, 9);
    defaultSystemEntryWords(number, 8, 2);
    if (getField(img(), 70, 0x00FF, 0) == 0)
        setField(img(), 70, 0x00FF, 0, 60);
}

void ZKWParmsFormat5859::convertKind1System(int number) {
    if (structural()) {
        dropSystemTable(number, 9);
        dropSystemTable(number, 10);
        stepCountField(number, 10, 0x3E00, 9);
    }
    if (runs() && forward()) {
        defaultSystemEntryWords(number, 8, 9);
        defaultSystemEntryWords(number, 9, 2);
    }
}

void ZKWParmsFormat5859::convertKind3System(int number) {
    if (structural()) {
        dropSystemTable(number, 13);
        dropSystemTable(number, 14);
        stepCountField(number, 10, 0x3E00, 9);
    }
    if (runs() && forward()) {
        defaultSystemEntryWords(number, 12, 9);
        defaultSystemEntryWords(number, 13, 2);
    }
}

void ZKWParmsFormat5859::convertKind4System(int number) {
    if (structural()) {
        dropSystemTable(number, 13);
        dropSystemTable(number, 14);
        stepCountField(number, 248, 0x1F, 0);
    }
    if (runs() && forward()) {
        if (getField(img(), kModelCodeWord, 0x000F, 0) == kKind4CleanupModel)
            cleanUpKind4Table0(number);
        defaultSystemEntryWords(number, 12, 9);
        defaultSystemEntryWords(number, 13, 2);
    }
}

void ZKWParmsFormat5859::cleanUpKind4Table0(int number) {
    const int block = findSystemBlock(img(), number);
    if (block == 0)
        return;
    TableShape shape;
    const int start = tableStart(img(), block, 0, &shape);
    constexpr int kStride = 6;
    for (int i = 0; i < shape.entries; ++i) {
        const int entry = start + i * kStride;
        if (img().word(entry) == 0xFFFF)
            continue;
        bool anyZero = false;
        for (int w = 1; w < kStride; ++w)
            anyZero = anyZero || img().word(entry + w) == 0;
        if (anyZero) {
            for (int w = 0; w < kStride; ++w)
                img().setWord(entry + w, 0xFFFF);
        }
    }
}

void ZKWParmsFormat5859::convertKind5System(int number) {
    if (!runs() || !forward())
        return;
    const int block = findSystemBlock(img(), number);
    if (block == 0)
        return;
    if (tableShape(img(), block, 0).wordsPerEntry <= 10)
        widenSystemEntries(number, 0, 10, 11);
    buildMembershipTable(number);
}

void ZKWParmsFormat5859::buildMembershipTable(int number) {
    const int block = findSystemBlock(img(), number);
    TableShape table1;
    const int start = tableStart(img(), block, 1, &table1);
    if (table1.entries == 0)
        return;

    // Words 0-4 hold the text "1", words 5-36 a bit map with one bit per member.
    std::array<uint16_t, kMembershipRecordWords> record{};
    for (int i = 0; i < 5; ++i)
        record[i] = 0x2020;
    record[0] = static_cast<uint16_t>(0x2000 | '1');
    constexpr int kStride = 2;
    for (int i = 0; i < table1.entries; ++i) {
        const uint16_t member = img().word(start + i * kStride + 1);
        const int h = member >> 8;
        const int l = member & 0xFF;
        // A member outside the 32 x 16 bit map has no bit to set; it is left out.
        if (h >= kMembershipBitmapWords || l > 15)
            continue;
        record[5 + h] = static_cast<uint16_t>(record[5 + h] | (1u << (15 - l)));
    }
    replaceSystemTable(img(), number, 2, record.data(), 1, kMembershipRecordWords);
    replaceSystemTable(img(), number, 1, nullptr, 0, 2);
}

void ZKWParmsFormat5859::afterKind1SystemLayout(int number) {
    resetSystemTable(number, 9, 2);
}
void ZKWParmsFormat5859::afterKind3SystemLayout(int number) {
    resetSystemTable(number, 13, 2);
}
void ZKWParmsFormat5859::afterKind4SystemLayout(int number) {
    resetSystemTable(number, 13, 2);
}

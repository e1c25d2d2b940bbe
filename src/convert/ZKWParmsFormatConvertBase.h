#pragma once

#include <cstdint>

#include "convert/CodeplugImage.h"

// The layout of one block kind in one format version.
struct LayoutRecord {
    int32_t dataOffset;   // words from the block start to the first table's data
    int32_t fixedGrowth;  // words this version added at the end of the block's fixed part
    int32_t tableCount;   // tables in this version
    int32_t tablesAdded;  // tables this version added after the existing ones
};

enum class LayoutKind {
    Header,
    Ordinal,
    System0,
    System1,
    System3,
    System4,
    System5,
    KindBlock0,
    KindBlock13,
    KindBlock4,
    KindBlock5,
};

// The layout of a block kind in a format version (rows 5.9 and 5.10 are known; earlier rows
// equal 5.9's).
LayoutRecord layoutFor(LayoutKind kind, uint8_t versionIndex);

// Drives one version step over a codeplug image: the header, kind, system and ordinal passes,
// the layout change of every block, and the version stamp. Subclasses say what each pass does.
class ZKWParmsFormatConvertBase {
  public:
    ZKWParmsFormatConvertBase() = default;
    virtual ~ZKWParmsFormatConvertBase() = default;
    ZKWParmsFormatConvertBase(const ZKWParmsFormatConvertBase&) = delete;
    ZKWParmsFormatConvertBase& operator=(const ZKWParmsFormatConvertBase&) = delete;

    // reverse 0 converts from the previous version to this one; 1 converts back.
    void convert(CodeplugImage& img, uint8_t reverseFlag);
    // Applies only the value fix-ups, for an image already in this converter's version.
    void convertFixupsOnly(CodeplugImage& img, uint8_t reverseFlag);

    CodeplugImage* image = nullptr;
    uint8_t reverse = 1;
    uint8_t restructure = 1;
    uint8_t fixupsOnly = 0;
    int32_t sizeChange = 0;
    uint8_t versionIndex = 255;

  protected:
    virtual void convertHeader() {}
    virtual void afterHeaderLayout() {}
    virtual void convertKind0Block() {}
    virtual void convertKind1Block() {}
    virtual void convertKind4Block() {}
    virtual void convertKind5Block() {}
    virtual void afterKind0Layout() {}
    virtual void afterKind1Layout() {}
    virtual void afterKind4Layout() {}
    virtual void afterKind5Layout() {}
    virtual void convertKind0System(int /*number*/) {}
    virtual void convertKind1System(int /*number*/) {}
    virtual void convertKind3System(int /*number*/) {}
    virtual void convertKind4System(int /*number*/) {}
    virtual void convertKind5System(int /*number*/) {}
    virtual void afterKind0SystemLayout(int /*number*/) {}
    virtual void afterKind1SystemLayout(int /*number*/) {}
    virtual void afterKind3SystemLayout(int /*number*/) {}
    virtual void afterKind4SystemLayout(int /*number*/) {}
    virtual void afterKind5SystemLayout(int /*number*/) {}
    virtual void convertOrdinalTable0(int /*ordinal*/) {}
    virtual void convertOrdinalTable1(int /*ordinal*/) {}
    virtual void convertOrdinalTable2(int /*ordinal*/) {}
    virtual void convertOrdinalTable3(int /*ordinal*/) {}
    virtual void convertOrdinalTable4(int /*ordinal*/) {}
    virtual void afterOrdinalLayout(int /*ordinal*/) {}

    // Mode tests shared by the subclasses.
    bool runs() const { return restructure != 0 || fixupsOnly != 0; }
    bool forward() const { return reverse == 0; }
    bool structural() const { return restructure != 0; }
    int direction() const { return reverse ? -1 : 1; }

    CodeplugImage& img() { return *image; }

    // Operations for the subclasses.
    // ordinal: the ordinal of an ordinal block, for its hook.
    void applyLayout(int block, const LayoutRecord& layout, int ordinal = 0);
    void resizeHeaderTable(bool descriptorOnly, int table, int oldEntries, int newEntries,
                           int oldWords, int newWords);
    void widenSystemEntries(int number, int table, int oldWords, int newWords);
    void widenOrdinalEntries(int ordinal, int table, int oldWords, int newWords);
    void dropSystemTable(int number, int table);
    void defaultSystemEntryWords(int number, int table, int words);
    void fillBlankText(int position, bool force);
    // Sets a system table to no entries of the given width, removing any data it held.
    void resetSystemTable(int number, int table, int words);

  private:
    void run();
    void headerPass();
    void kindPass();
    void systemPass();
    void ordinalPass();
    void widenEntries(int block, int table, int oldWords, int newWords);
    void removeTableData(int block, int table);
};

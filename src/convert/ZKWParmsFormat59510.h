#pragma once

#include "convert/ZKWParmsFormatConvertBase.h"

// The step between codeplug formats 5.9 and 5.10: a larger header, new tables for kind-1, -3
// and -4 systems, wider table entries, a 64-entry header table 1, one table derived per kind-1,
// kind-3 and kind-4 system, and value fix-ups.
class ZKWParmsFormat59510 : public ZKWParmsFormatConvertBase {
  public:
    ZKWParmsFormat59510() { versionIndex = 5; }

    void deriveSystemTable(int number);
    void clearUnsetWords(int number);

  protected:
    void convertHeader() override;
    void convertKind0Block() override;
    void convertKind0System(int number) override;
    void convertKind1System(int number) override;
    void convertKind3System(int number) override;
    void convertKind4System(int number) override;
    void convertKind5System(int number) override;
    void afterKind4SystemLayout(int number) override;
    void afterKind5SystemLayout(int number) override;
    void convertOrdinalTable0(int ordinal) override;
    void convertOrdinalTable1(int ordinal) override;
    void convertOrdinalTable2(int ordinal) override;
    void convertOrdinalTable3(int ordinal) override;
    void convertOrdinalTable4(int ordinal) override;

  private:
    void resizeHeaderTable1();
    void widenOrdinalTable(int ordinal, int table);
};

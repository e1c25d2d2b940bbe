#pragma once

#include "convert/ZKWParmsFormatConvertBase.h"

// The step between codeplug formats 5.8 and 5.9. The block layouts stay; the step fills tables
// that 5.8 leaves empty, widens two tables, adds a favourites table to the header, moves seven
// kind-0 settings into the first kind-0 system and gives empty fields their defaults.
class ZKWParmsFormat5859 : public ZKWParmsFormatConvertBase {
  public:
    ZKWParmsFormat5859() { versionIndex = 4; }

    // Steps a count field by 4: forward to at most 16, backward to at least 0.
    void stepCountField(int number, int word, uint16_t mask, int shift);

  protected:
    void convertHeader() override;
    void convertKind0Block() override;
    void convertKind0System(int number) override;
    void convertKind1System(int number) override;
    void convertKind3System(int number) override;
    void convertKind4System(int number) override;
    void convertKind5System(int number) override;
    void afterKind1SystemLayout(int number) override;
    void afterKind3SystemLayout(int number) override;
    void afterKind4SystemLayout(int number) override;

  private:
    void addFavoritesTable();
    void copyKind0Settings();
    void buildMembershipTable(int number);
    void cleanUpKind4Table0(int number);
};

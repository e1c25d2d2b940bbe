#include "download/DspFile.h"

#include <gtest/gtest.h>

#include "DownloadTestSupport.h"

using dltest::Bytes;

namespace {

TEST(DspFileHeader, SectionTableStartsAt50WithAnOptionalHeaderElseAt22) {
    Bytes h(22, 0);
    h[2] = 0x03;
    EXPECT_EQ(DecodeDspFileHeader(h.data()).sectionCount, 3);
    EXPECT_EQ(DecodeDspFileHeader(h.data()).tableStart, 22);
    h[16] = 0x01;  // any nonzero size, not its value, moves the table
    EXPECT_EQ(DecodeDspFileHeader(h.data()).tableStart, 50);
    h[2] = 0xFF;
    h[3] = 0xFF;
    EXPECT_EQ(DecodeDspFileHeader(h.data()).sectionCount, -1);
}

TEST(DspSection, FortyByteLayoutFiltersOnTheHighByteOfThePageField) {
    const DspLayout layout = DspLayoutFor(2);
    EXPECT_EQ(layout.headerSize, 40);
    Bytes h(40, 0);
    h[12] = 0x34;
    h[13] = 0x12;
    h[14] = 0x02;  // upper address half: part of the address, not a page, in this layout
    h[16] = 0x10;
    h[20] = 0x00;
    h[21] = 0x01;
    h[38] = 0x7F;  // reserved low byte: passes the mask
    DspSection s = DecodeDspSection(h.data(), layout);
    EXPECT_EQ(s.virtualAddress, 0x00021234u);
    EXPECT_EQ(s.PageOffset(), 0x42468);
    EXPECT_EQ(s.sizeWords, 16);
    EXPECT_EQ(s.rawOffset, 0x100u);
    EXPECT_TRUE(s.Copied());
    EXPECT_EQ(s.pageIndex, 0);
    h[39] = 0x01;
    s = DecodeDspSection(h.data(), layout);
    EXPECT_TRUE(s.filtered);
    EXPECT_FALSE(s.Copied());
}

TEST(DspSection, FortyEightByteLayoutTakesThePageFromTheUpperAddressHalf) {
    const DspLayout layout = DspLayoutFor(3);
    EXPECT_EQ(layout.headerSize, 48);
    Bytes h(48, 0);
    h[14] = 7;
    h[47] = 0xFF;  // high byte: outside the mask
    h[12] = 0x04;  // word 4 of page 7: 8 bytes into the page file
    DspSection s = DecodeDspSection(h.data(), layout);
    EXPECT_EQ(s.pageIndex, 7);
    EXPECT_EQ(s.virtualAddress, 0x00070004u);
    EXPECT_EQ(s.PageOffset(), 8);
    EXPECT_TRUE(s.Copied());
    h[14] = 8;
    s = DecodeDspSection(h.data(), layout);
    EXPECT_FALSE(s.accepted);
    h[14] = 0;
    h[46] = 0x01;
    EXPECT_TRUE(DecodeDspSection(h.data(), layout).filtered);
}

}  // namespace

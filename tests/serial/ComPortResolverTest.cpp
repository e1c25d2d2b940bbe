#include "serial/ComPortResolver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "TempDir.h"

namespace {

using serial::ComPortResolver;
using serial::NameSource;

TEST(ComPortResolver, ParsesComNames) {
    const std::pair<const char*, int> cases[] = {
        {"\\\\.\\COM5", 5},  {"COM12", 12},  {"com3", 3},  {"\\\\.\\Com64", 64},
        {"COM", 0},          {"COM0", 0},    {"COM-1", 0}, {"COM5x", 0},
        {"/dev/ttyUSB0", 0}, {"\\\\.\\", 0}, {"", 0},      {"COM99999999999", 0}};
    for (const auto& [name, number] : cases)
        EXPECT_EQ(ComPortResolver::ParseComName(name), number) << name;
}

TEST(ComPortResolver, DefaultTable) {
    EXPECT_EQ(ComPortResolver::DefaultDevice(1), "/dev/ttyS0");
    EXPECT_EQ(ComPortResolver::DefaultDevice(4), "/dev/ttyS3");
    EXPECT_EQ(ComPortResolver::DefaultDevice(5), "/dev/ttyUSB0");
    EXPECT_EQ(ComPortResolver::DefaultDevice(36), "/dev/ttyUSB31");
    EXPECT_EQ(ComPortResolver::DefaultDevice(37), "/dev/ttyACM0");
    EXPECT_EQ(ComPortResolver::DefaultDevice(64), "/dev/ttyACM27");
    EXPECT_EQ(ComPortResolver::DefaultDevice(65), "");
    EXPECT_EQ(ComPortResolver::DefaultDevice(0), "");
}

TEST(ComPortResolver, DefaultPortDirectoryIsInTheUsersConfigFolder) {
    const std::string dir = ComPortResolver::DefaultPortDirectory();
    const std::string tail = "/.config/quenta/ports";
    ASSERT_GT(dir.size(), tail.size());
    EXPECT_EQ(dir.substr(dir.size() - tail.size()), tail);
    EXPECT_EQ(ComPortResolver().PortDirectory(), dir);
}

TEST(ComPortResolver, WithoutAPortDirectoryTheTableDecides) {
    const ComPortResolver resolver{std::string()};
    const serial::Resolution r = resolver.Resolve("\\\\.\\COM5");
    EXPECT_EQ(r.source, NameSource::kDefaultTable);
    EXPECT_EQ(r.comNumber, 5);
    EXPECT_EQ(r.path, "/dev/ttyUSB0");
}

// Links (even dangling ones) and plain files in the port directory map their COM numbers, past
// the table too; other numbers still go to the table or are unmapped.
TEST(ComPortResolver, PortDirectoryEntriesWin) {
    TempDir dir;
    ASSERT_EQ(::symlink("/dev/null", (dir / "COM5").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/ttyUSB-not-there", (dir / "COM2").c_str()), 0);
    std::ofstream(dir / "COM100") << "";
    const ComPortResolver resolver(dir.Path());
    serial::Resolution r = resolver.ResolveCom(5);
    EXPECT_EQ(r.source, NameSource::kPortDirectory);
    EXPECT_EQ(r.path, dir / "COM5");
    EXPECT_EQ(r.linkTarget, "/dev/null");
    r = resolver.Resolve("COM2");
    EXPECT_EQ(r.source, NameSource::kPortDirectory);
    EXPECT_EQ(r.linkTarget, "/dev/ttyUSB-not-there");
    r = resolver.ResolveCom(100);
    EXPECT_EQ(r.source, NameSource::kPortDirectory);
    EXPECT_EQ(r.linkTarget, "");  // a plain file, not a link
    EXPECT_EQ(resolver.ResolveCom(6).source, NameSource::kDefaultTable);
    EXPECT_EQ(resolver.ResolveCom(101).source, NameSource::kUnmapped);
    EXPECT_EQ(resolver.ResolveCom(101).path, "");
}

TEST(ComPortResolver, MissingPortDirectoryFallsBackToTheTable) {
    const ComPortResolver resolver("/nonexistent/quenta/ports");
    EXPECT_EQ(resolver.ResolveCom(1).path, "/dev/ttyS0");
}

TEST(ComPortResolver, DevicePathsPassThrough) {
    const ComPortResolver resolver{std::string()};
    const serial::Resolution r = resolver.Resolve("/dev/serial/by-id/usb-FTDI_FT232R-if00");
    EXPECT_EQ(r.source, NameSource::kPath);
    EXPECT_EQ(r.comNumber, 0);
    EXPECT_EQ(r.path, "/dev/serial/by-id/usb-FTDI_FT232R-if00");
}

}  // namespace

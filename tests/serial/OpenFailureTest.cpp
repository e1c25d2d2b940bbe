// The user's line for every kind of open failure, from made-up context (the tests run as
// root, which passes every permission check, so real permission failures cannot happen here).

#include "serial/OpenFailure.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>

#include "TempDir.h"

namespace {

constexpr auto Describe = &serial::DescribeOpenFailure;
using serial::FailureKind;
using serial::NameSource;
using serial::OpenFailure;

OpenFailure PermissionFailure(mode_t mode, const std::string& group = "dialout") {
    OpenFailure f;
    f.kind = FailureKind::kPermission;
    f.osError = EACCES;
    f.requestedName = "\\\\.\\COM5";
    f.comNumber = 5;
    f.source = NameSource::kDefaultTable;
    f.device = "/dev/ttyUSB0";
    f.node = "/dev/ttyUSB0";
    f.nodeInfo.valid = true;
    f.nodeInfo.uid = 0;
    f.nodeInfo.gid = 20;
    f.nodeInfo.mode = mode;
    f.nodeInfo.owner = "root";
    f.nodeInfo.group = group;
    f.user.valid = true;
    f.user.uid = 1000;
    f.user.name = "tech";
    f.user.sessionGroups = {{1000, "tech"}, {24, "cdrom"}};
    f.user.accountGroups = {{1000, "tech"}, {24, "cdrom"}};
    return f;
}

TEST(OpenFailureText, PermissionSaysWhyAndHowToFixIt) {
    const std::string pre = "permission denied: /dev/ttyUSB0 is ";
    const struct {
        mode_t mode;
        const char* group;
        std::function<void(OpenFailure&)> change;
        std::string text;
    } cases[] = {
        {0660, "dialout", nullptr,
         pre + "root:dialout 0660 and you are not in the dialout group (sudo usermod -aG "
               "dialout $USER, then log in again)"},
        {0660, "dialout",
         [](OpenFailure& f) {
             f.user.accountGroups.push_back({20, "dialout"});
         },
         pre + "root:dialout 0660 and this session started before you joined the dialout group "
               "(log out and in again)"},
        {0660, "dialout",
         [](OpenFailure& f) {
             f.user.sessionGroups.push_back({20, "dialout"});
         },
         pre + "root:dialout 0660 and you are in the dialout group, but an ACL or security "
               "policy refuses access"},
        {0660, "uucp", nullptr,
         pre + "root:uucp 0660 and you are not in the uucp group (sudo usermod -aG uucp $USER, "
               "then log in again)"},
        {0600, "root", [](OpenFailure& f) { f.device = f.node = "/dev/ttyACM0"; },
         "permission denied: /dev/ttyACM0 is root:root 0600 and only root may open it (a udev "
         "rule can give a group access, e.g. GROUP=\"dialout\", MODE=\"0660\")"},
        {0440, "dialout",
         [](OpenFailure& f) {
             f.nodeInfo.uid = 1000;
             f.nodeInfo.owner = "tech";
         },
         pre + "tech:dialout 0440 and even its owner may not read and write it (sudo chmod u+rw "
               "/dev/ttyUSB0)"},
        {0660, "dialout",
         [](OpenFailure& f) {  // unknown names show as numbers
             f.nodeInfo.owner.clear();
             f.nodeInfo.group.clear();
         },
         pre + "0:20 0660 and you are not in the 20 group (sudo usermod -aG 20 $USER, then log "
               "in again)"},
        {0660, "dialout", [](OpenFailure& f) { f.nodeInfo = serial::NodeInfo(); },
         "permission denied: /dev/ttyUSB0 (" + std::string(std::strerror(EACCES)) + ")"},
        {0606, "dialout", nullptr,
         pre + "root:dialout 0606, but an ACL or security policy refuses access"},
    };
    for (const auto& c : cases) {
        OpenFailure f = PermissionFailure(c.mode, c.group);
        if (c.change)
            c.change(f);
        EXPECT_EQ(Describe(f), c.text);
    }
}

// A failure of kind on device, named by COM number (0: by its path) through source.
OpenFailure Failure(FailureKind kind, const std::string& device, int osError = 0, int com = 0,
                    NameSource source = NameSource::kPath) {
    OpenFailure f;
    f.kind = kind;
    f.device = device;
    f.osError = osError;
    f.comNumber = com;
    f.source = source;
    return f;
}

TEST(OpenFailureText, Busy) {
    OpenFailure f = Failure(FailureKind::kBusy, "");
    f.node = "/dev/ttyUSB0";
    f.holderPid = 1234;
    EXPECT_EQ(Describe(f), "busy: /dev/ttyUSB0 is in use by another program (PID 1234)");
    f.holderName = "minicom";
    EXPECT_EQ(Describe(f), "busy: /dev/ttyUSB0 is in use by another program (PID 1234, minicom)");
    f.lockFile = "/run/lock/LCK..ttyUSB0";
    EXPECT_EQ(Describe(f),
              "busy: /dev/ttyUSB0 is in use by another program (PID 1234, minicom; lock file "
              "/run/lock/LCK..ttyUSB0)");
    // Without a PID.
    f = Failure(FailureKind::kBusy, "/dev/ttyS1");
    EXPECT_EQ(Describe(f), "busy: /dev/ttyS1 is in use by another program");
    f.lockFile = "/run/lock/LCK..ttyS1";
    EXPECT_EQ(Describe(f),
              "busy: /dev/ttyS1 is in use by another program (lock file /run/lock/LCK..ttyS1)");
    // Held by this program.
    f = Failure(FailureKind::kBusy, "");
    f.node = "/dev/pts/4";
    f.holderPid = 99;
    f.holderIsSelf = true;
    EXPECT_EQ(Describe(f), "busy: /dev/pts/4 is already open in this program");
}

TEST(OpenFailureText, Absent) {
    // A COM number of the default table whose device does not exist.
    OpenFailure f =
        Failure(FailureKind::kAbsent, "/dev/ttyUSB0", ENOENT, 5, NameSource::kDefaultTable);
    f.portDirectory = "/home/tech/.config/quenta/ports";
    EXPECT_EQ(Describe(f),
              "not present: COM5 is /dev/ttyUSB0, which does not exist (plug in the adapter, or "
              "link COM5 to your device in /home/tech/.config/quenta/ports)");
    f.portDirectory.clear();
    EXPECT_EQ(Describe(f),
              "not present: COM5 is /dev/ttyUSB0, which does not exist (plug in the adapter, or "
              "set a port directory and link COM5 to your device there)");
    // No hardware behind the node.
    f = Failure(FailureKind::kAbsent, "/dev/ttyS0", ENODEV, 1, NameSource::kDefaultTable);
    f.node = "/dev/ttyS0";
    EXPECT_EQ(Describe(f),
              "not present: COM1 is /dev/ttyS0, which has no serial hardware behind it");
    f.source = NameSource::kPath;
    f.comNumber = 0;
    EXPECT_EQ(Describe(f), "not present: /dev/ttyS0 has no serial hardware behind it");
    // A dangling link in the port directory.
    f = Failure(FailureKind::kAbsent, "/home/tech/.config/quenta/ports/COM3", ENOENT, 3,
                NameSource::kPortDirectory);
    f.linkTarget = "/dev/serial/by-id/usb-FTDI-if00";
    EXPECT_EQ(Describe(f),
              "not present: COM3 links to /dev/serial/by-id/usb-FTDI-if00, which does not exist "
              "(/home/tech/.config/quenta/ports/COM3)");
    // A COM number nothing maps.
    f = Failure(FailureKind::kAbsent, "", 0, 70, NameSource::kUnmapped);
    f.portDirectory = "/p";
    EXPECT_EQ(Describe(f),
              "not present: COM70 is not mapped to a device (link COM70 to your device in /p)");
    // A path that does not exist.
    f = Failure(FailureKind::kAbsent, "/dev/ttyUSB9", ENOENT);
    EXPECT_EQ(Describe(f), "not present: /dev/ttyUSB9 does not exist");
}

TEST(OpenFailureText, NotSerialAndOther) {
    OpenFailure f = Failure(FailureKind::kNotSerial, "/tmp/file", ENOTTY);
    EXPECT_EQ(Describe(f),
              "not a serial port: /tmp/file (" + std::string(std::strerror(ENOTTY)) + ")");
    f.kind = FailureKind::kOther;
    f.osError = EMFILE;
    EXPECT_EQ(Describe(f), "cannot open /tmp/file: " + std::string(std::strerror(EMFILE)));
}

TEST(OpenFailureText, KindNames) {
    EXPECT_STREQ(serial::FailureKindName(FailureKind::kNone), "available");
    EXPECT_STREQ(serial::FailureKindName(FailureKind::kAbsent), "not present");
    EXPECT_STREQ(serial::FailureKindName(FailureKind::kPermission), "permission denied");
    EXPECT_STREQ(serial::FailureKindName(FailureKind::kBusy), "busy");
    EXPECT_STREQ(serial::FailureKindName(FailureKind::kNotSerial), "not a serial port");
    EXPECT_STREQ(serial::FailureKindName(FailureKind::kOther), "error");
}

TEST(OpenFailureContext, ReadsTheNodesOwnerGroupAndMode) {
    TempDir dir;
    const std::string file = dir / "node";
    std::ofstream(file) << "";
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    const serial::NodeInfo info = serial::ReadNodeInfo(file);
    ASSERT_TRUE(info.valid);
    EXPECT_EQ(info.mode, 0640u);
    EXPECT_EQ(info.uid, ::geteuid());
    EXPECT_FALSE(serial::ReadNodeInfo(dir / "missing").valid);
}

TEST(OpenFailureContext, KnowsTheCurrentUser) {
    const serial::UserInfo user = serial::CurrentUserInfo();
    ASSERT_TRUE(user.valid);
    EXPECT_EQ(user.uid, ::geteuid());
    ASSERT_FALSE(user.sessionGroups.empty());
    EXPECT_EQ(user.sessionGroups[0].gid, ::getegid());
    EXPECT_FALSE(user.accountGroups.empty());
}

}  // namespace

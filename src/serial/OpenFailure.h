#pragma once

// Why a serial device could not be opened (or would not open now), with the context a caller
// needs to tell the user exactly what is wrong and how to fix it. Permission, busy and absent
// are different answers.

#include <sys/types.h>

#include <string>
#include <vector>

namespace serial {

enum class FailureKind {
    kNone,        // no failure: the device is open (or would open)
    kAbsent,      // no such device, or no hardware behind the node
    kPermission,  // the node exists but this user may not open it
    kBusy,        // another program (or another port object of this one) holds the device
    kNotSerial,   // the name leads to something that is not a serial device
    kOther,       // any other failure of the system; see osError
};

// Where the device path of a COM name came from.
enum class NameSource {
    kPath,           // the name was a device path and was used as it is
    kPortDirectory,  // a COMn link in the resolver's port directory
    kDefaultTable,   // the resolver's fixed default table
    kUnmapped,       // a COM name with neither a link nor a table entry
};

// Owner, group and permission bits of a device node.
struct NodeInfo {
    bool valid = false;
    uid_t uid = 0;
    gid_t gid = 0;
    mode_t mode = 0;    // permission bits (07777)
    std::string owner;  // user name, empty when unknown
    std::string group;  // group name, empty when unknown
};

struct GroupEntry {
    gid_t gid = 0;
    std::string name;
};

// The user the program runs as.
struct UserInfo {
    bool valid = false;
    uid_t uid = 0;
    std::string name;
    std::vector<GroupEntry> sessionGroups;  // groups this process has now
    std::vector<GroupEntry> accountGroups;  // groups the account has in the group database
};

struct OpenFailure {
    FailureKind kind = FailureKind::kNone;
    int osError = 0;            // errno of the failing call, 0 when none
    std::string requestedName;  // the name given to Open, e.g. "\\.\COM5"
    int comNumber = 0;          // n of a COMn name, 0 for a device path
    NameSource source = NameSource::kPath;
    std::string portDirectory;  // the resolver's port directory (may be empty)
    std::string device;         // the path the name resolved to
    std::string linkTarget;     // what a COMn link points at, when the link was used
    std::string node;           // the real device node (symlinks resolved), when known
    NodeInfo nodeInfo;          // for permission failures
    UserInfo user;              // for permission failures
    pid_t holderPid = 0;        // for busy failures: the holder, 0 when unknown
    bool holderIsSelf = false;  // the holder is this very process
    std::string holderName;     // the holder's program name, when known
    std::string lockFile;       // for busy failures: the lock file that names the holder
};

// One line for the user, e.g. "permission denied: /dev/ttyUSB0 is root:dialout 0660 and you
// are not in the dialout group (sudo usermod -aG dialout $USER, then log in again)" or
// "busy: /dev/ttyUSB0 is in use by another program (PID 1234)". A pure function of its
// argument, so every wording can be tested with made-up data.
std::string DescribeOpenFailure(const OpenFailure& failure);

// A short name of the kind: "not present", "permission denied", "busy", ...
const char* FailureKindName(FailureKind kind);

// Owner, group and mode of path (following symlinks); invalid when stat fails.
NodeInfo ReadNodeInfo(const std::string& path);
// The user this process runs as, with its session and account groups.
UserInfo CurrentUserInfo();

}  // namespace serial

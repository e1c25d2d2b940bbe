#include "serial/OpenFailure.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace serial {

namespace {

std::string ErrorText(int error) {
    return error != 0 ? std::strerror(error) : "unknown error";
}

std::string OctalMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::string OwnerText(const NodeInfo& node) {
    return node.owner.empty() ? std::to_string(node.uid) : node.owner;
}

std::string GroupText(const NodeInfo& node) {
    return node.group.empty() ? std::to_string(node.gid) : node.group;
}

bool HasGroup(const std::vector<GroupEntry>& groups, gid_t gid) {
    return std::any_of(groups.begin(), groups.end(),
                       [gid](const GroupEntry& g) { return g.gid == gid; });
}

// The node the user should look at: the real one when known.
std::string NodeText(const OpenFailure& f) {
    if (!f.node.empty())
        return f.node;
    if (!f.device.empty())
        return f.device;
    return f.requestedName;
}

std::string ComText(const OpenFailure& f) {
    return "COM" + std::to_string(f.comNumber);
}

// Where the user can point COMn at a device of their own.
std::string LinkHint(const OpenFailure& f) {
    if (f.portDirectory.empty()) {
        return "set a port directory and link " + ComText(f) + " to your device there";
    }
    return "link " + ComText(f) + " to your device in " + f.portDirectory;
}

std::string DescribePermission(const OpenFailure& f) {
    const std::string node = NodeText(f);
    const NodeInfo& info = f.nodeInfo;
    if (!info.valid) {
        return "permission denied: " + node + " (" + ErrorText(f.osError) + ")";
    }
    const std::string owner = OwnerText(info);
    const std::string group = GroupText(info);
    const std::string head =
        "permission denied: " + node + " is " + owner + ":" + group + " " + OctalMode(info.mode);
    const bool isOwner = f.user.valid && f.user.uid == info.uid;
    if (isOwner) {
        if ((info.mode & 0600) != 0600) {
            return head + " and even its owner may not read and write it (sudo chmod u+rw " + node +
                   ")";
        }
        return head + ", which you own, but an ACL or security policy refuses access";
    }
    if ((info.mode & 0060) == 0060) {
        if (f.user.valid && HasGroup(f.user.sessionGroups, info.gid)) {
            return head + " and you are in the " + group +
                   " group, but an ACL or security policy refuses access";
        }
        if (f.user.valid && HasGroup(f.user.accountGroups, info.gid)) {
            return head + " and this session started before you joined the " + group +
                   " group (log out and in again)";
        }
        return head + " and you are not in the " + group + " group (sudo usermod -aG " + group +
               " $USER, then log in again)";
    }
    if ((info.mode & 0006) == 0006) {
        return head + ", but an ACL or security policy refuses access";
    }
    return head + " and only " + owner +
           " may open it (a udev rule can give a group access, e.g. GROUP=\"dialout\", "
           "MODE=\"0660\")";
}

std::string DescribeBusy(const OpenFailure& f) {
    const std::string node = NodeText(f);
    if (f.holderIsSelf) {
        return "busy: " + node + " is already open in this program";
    }
    std::string text = "busy: " + node + " is in use by another program";
    // The lock file is named too: when its PID was given to another process since, the file
    // is what the user has to look at (and may remove).
    std::string holder;
    if (f.holderPid > 0) {
        holder = "PID " + std::to_string(f.holderPid);
        if (!f.holderName.empty())
            holder += ", " + f.holderName;
    }
    if (!f.lockFile.empty())
        holder += (holder.empty() ? "lock file " : "; lock file ") + f.lockFile;
    if (!holder.empty())
        text += " (" + holder + ")";
    return text;
}

std::string DescribeAbsent(const OpenFailure& f) {
    const bool missing = f.osError == ENOENT || f.osError == ENOTDIR || f.osError == 0;
    const std::string what =
        missing ? ", which does not exist" : ", which has no serial hardware behind it";
    switch (f.source) {
        case NameSource::kUnmapped:
            return "not present: " + ComText(f) + " is not mapped to a device (" + LinkHint(f) +
                   ")";
        case NameSource::kPortDirectory:
            return "not present: " + ComText(f) + " links to " +
                   (f.linkTarget.empty() ? f.device : f.linkTarget) + what + " (" + f.device + ")";
        case NameSource::kDefaultTable:
            return "not present: " + ComText(f) + " is " + f.device + what +
                   (missing ? " (plug in the adapter, or " + LinkHint(f) + ")" : "");
        case NameSource::kPath:
            break;
    }
    return "not present: " + (f.device.empty() ? f.requestedName : f.device) +
           (missing ? " does not exist" : " has no serial hardware behind it");
}

}  // namespace

const char* FailureKindName(FailureKind kind) {
    switch (kind) {
        case FailureKind::kNone:
            return "available";
        case FailureKind::kAbsent:
            return "not present";
        case FailureKind::kPermission:
            return "permission denied";
        case FailureKind::kBusy:
            return "busy";
        case FailureKind::kNotSerial:
            return "not a serial port";
        case FailureKind::kOther:
            break;
    }
    return "error";
}

std::string DescribeOpenFailure(const OpenFailure& f) {
    switch (f.kind) {
        case FailureKind::kNone:
            return "available: " + NodeText(f);
        case FailureKind::kAbsent:
            return DescribeAbsent(f);
        case FailureKind::kPermission:
            return DescribePermission(f);
        case FailureKind::kBusy:
            return DescribeBusy(f);
        case FailureKind::kNotSerial:
            return "not a serial port: " + NodeText(f) + " (" + ErrorText(f.osError) + ")";
        case FailureKind::kOther:
            break;
    }
    return "cannot open " + NodeText(f) + ": " + ErrorText(f.osError);
}

NodeInfo ReadNodeInfo(const std::string& path) {
    NodeInfo info;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return info;
    }
    info.valid = true;
    info.uid = st.st_uid;
    info.gid = st.st_gid;
    info.mode = st.st_mode & 07777;
    if (const passwd* pw = ::getpwuid(st.st_uid))
        info.owner = pw->pw_name;
    if (const group* gr = ::getgrgid(st.st_gid))
        info.group = gr->gr_name;
    return info;
}

namespace {

GroupEntry MakeGroupEntry(gid_t gid) {
    GroupEntry entry;
    entry.gid = gid;
    if (const group* gr = ::getgrgid(gid))
        entry.name = gr->gr_name;
    return entry;
}

}  // namespace

UserInfo CurrentUserInfo() {
    UserInfo user;
    user.valid = true;
    user.uid = ::geteuid();
    const gid_t primary = ::getegid();
    user.sessionGroups.push_back(MakeGroupEntry(primary));
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> gids(static_cast<size_t>(count));
        const int got = ::getgroups(count, gids.data());
        for (int i = 0; i < got; ++i) {
            if (gids[i] != primary)
                user.sessionGroups.push_back(MakeGroupEntry(gids[i]));
        }
    }
    if (const passwd* pw = ::getpwuid(user.uid)) {
        user.name = pw->pw_name;
        const std::string name = pw->pw_name;
        const gid_t base = pw->pw_gid;
        int n = 32;
        std::vector<gid_t> gids(static_cast<size_t>(n));
        if (::getgrouplist(name.c_str(), base, gids.data(), &n) < 0) {
            gids.resize(static_cast<size_t>(n));
            ::getgrouplist(name.c_str(), base, gids.data(), &n);
        }
        gids.resize(static_cast<size_t>(std::max(n, 0)));
        for (gid_t gid : gids)
            user.accountGroups.push_back(MakeGroupEntry(gid));
    }
    return user;
}

}  // namespace serial

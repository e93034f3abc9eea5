#include "serial/port_access.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace velkon {

namespace {

constexpr mode_t kGroupRw = S_IRGRP | S_IWGRP;

bool contains(const std::vector<gid_t>& groups, gid_t gid) {
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

std::string group_name_of(gid_t gid) {
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(4096);
    while (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    return found ? std::string(found->gr_name) : std::to_string(gid);
}

std::vector<gid_t> session_groups() {
    std::vector<gid_t> groups{::getgid()};
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> more(static_cast<std::size_t>(count));
        const int got = ::getgroups(count, more.data());
        if (got > 0) groups.insert(groups.end(), more.begin(), more.begin() + got);
    }
    return groups;
}

std::vector<gid_t> database_groups(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) return {};
    }
    groups.resize(static_cast<std::size_t>(count));
    return groups;
}

}  // namespace

PortAccess explain_refusal(const NodeOwnership& node, const UserGroups& user,
                           const GroupNamer& group_name) {
    PortAccess access{PortAccess::Verdict::NoRights, "", false};
    // The owner and a member of the node's group get no further than their own bits: joining
    // a group would not help them.
    if (user.uid == node.uid || contains(user.session, node.gid)) return access;
    if ((node.mode & kGroupRw) != kGroupRw) return access;
    access.group = group_name(node.gid);
    access.relogin_needed = contains(user.database, node.gid);
    return access;
}

PortAccess SystemPortAccess::check(const std::string& path) {
    if (::access(path.c_str(), R_OK | W_OK) == 0) return {};
    if (errno != EACCES && errno != EPERM) return {PortAccess::Verdict::Unknown, "", false};
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0) return {PortAccess::Verdict::Unknown, "", false};
    if (!user_) {
        const uid_t uid = ::getuid();
        user_ = UserGroups{uid, session_groups(), database_groups(uid)};
    }
    return explain_refusal({node.st_uid, node.st_gid, node.st_mode}, *user_, [this](gid_t gid) {
        auto [it, added] = group_names_.try_emplace(gid);
        if (added) it->second = group_name_of(gid);
        return it->second;
    });
}

}  // namespace velkon

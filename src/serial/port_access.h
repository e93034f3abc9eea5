// Whether the user may open a serial device, judged from the device node's owner, group and mode
// and the user's groups, never by opening it (an open raises DTR/RTS and can reset or disturb the
// device). The usual refusal is a device of the group "dialout" and a user outside it, or one
// added to it by `usermod` who has not logged in again since.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "serial/port_discovery.h"

namespace velkon {

struct NodeOwnership {
    uid_t uid = 0;
    gid_t gid = 0;
    mode_t mode = 0;
};

struct UserGroups {
    uid_t uid = 0;
    std::vector<gid_t> session;   // the groups of this login: what the kernel checks
    std::vector<gid_t> database;  // the groups the group database gives the user now
};

using GroupNamer = std::function<std::string(gid_t)>;

// Why a node that refused the user refuses: which group would let them in, and whether they are
// in it already but not in this login.
PortAccess explain_refusal(const NodeOwnership& node, const UserGroups& user,
                           const GroupNamer& group_name);

// The access of the user running the program: access() decides (it sees ACLs too), the node's
// ownership explains a refusal. The scan asks ten times a second, so the user's groups and the
// group names are looked up once (the group database may sit on a directory server).
class SystemPortAccess {
  public:
    // Unknown when the node cannot be looked at (not there yet: the device manager creates it a
    // moment after the kernel lists the port).
    PortAccess check(const std::string& path);

  private:
    std::optional<UserGroups> user_;
    std::map<gid_t, std::string> group_names_;
};

}  // namespace velkon

// Port discovery on a made-up /sys/class/tty tree.
#include "serial/port_discovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "support/test_support.h"

namespace velkon {
namespace {

using test::ScopedEnv;
using test::TempDir;

// One /sys/class/tty entry: with a driver link or not, with a "type" attribute or not.
void add_tty(const TempDir& sysfs, const std::string& name, bool driver,
             std::optional<std::string> type = std::nullopt) {
    sysfs.make_dir(name);
    if (driver) sysfs.make_dir(name + "/device/driver");
    if (type) sysfs.write_file(name + "/type", *type);
}

std::vector<std::string> names_of(const std::vector<PortEntry>& ports) {
    std::vector<std::string> names;
    for (const auto& port : ports) names.push_back(port.name);
    return names;
}

TEST(DiscoverPorts, ListsDriverBackedPortsUsbFirstInNaturalOrder) {
    TempDir sysfs;
    add_tty(sysfs, "ttyS0", true, "4\n");
    add_tty(sysfs, "ttyS1", true, "0\n");  // phantom UART
    add_tty(sysfs, "ttyS2", true);         // no type attribute: not a UART we can tell
    add_tty(sysfs, "ttyS10", true, "4\n");
    add_tty(sysfs, "ttyS3", false, "4\n");  // no driver
    add_tty(sysfs, "ttyUSB10", true);
    add_tty(sysfs, "ttyUSB2", true);
    add_tty(sysfs, "ttyACM0", true);
    add_tty(sysfs, "ttyAMA0", true);
    add_tty(sysfs, "tty1", false);  // virtual console
    add_tty(sysfs, "console", false);
    sysfs.make_dir("ttyUSB5/device");  // a device without a driver

    const auto ports = discover_ports(sysfs.path(), {"/dev/pts/7", "/tmp/sim-line"});
    EXPECT_EQ(names_of(ports),
              (std::vector<std::string>{"ttyACM0", "ttyUSB2", "ttyUSB10", "ttyAMA0", "ttyS0",
                                        "ttyS10", "/dev/pts/7", "/tmp/sim-line"}));
    ASSERT_EQ(ports.size(), 8u);
    EXPECT_EQ(ports[0].path, "/dev/ttyACM0");
    EXPECT_EQ(ports[4].path, "/dev/ttyS0");
    EXPECT_EQ(ports[6].path, "/dev/pts/7");
    EXPECT_EQ(ports[7].path, "/tmp/sim-line");
}

TEST(DiscoverPorts, KeepsAtMostThirtyKernelPortsThenTheExtras) {
    TempDir sysfs;
    for (int i = 0; i < 35; ++i) add_tty(sysfs, "ttyS" + std::to_string(i), true, "4");
    add_tty(sysfs, "ttyUSB1", true);
    add_tty(sysfs, "ttyUSB0", true);

    const auto names = names_of(discover_ports(sysfs.path(), {"/dev/pts/1", "/dev/pts/2"}));
    ASSERT_EQ(names.size(), 32u);
    EXPECT_EQ(names[0], "ttyUSB0");
    EXPECT_EQ(names[1], "ttyUSB1");
    EXPECT_EQ(names[2], "ttyS0");
    EXPECT_EQ(names[29], "ttyS27");
    EXPECT_EQ(names[30], "/dev/pts/1");
    EXPECT_EQ(names[31], "/dev/pts/2");
}

TEST(DiscoverPorts, ListsTheConsolePortsLastAfterTheExtras) {
    TempDir sysfs;
    add_tty(sysfs, "ttyS0", true, "4");
    add_tty(sysfs, "ttyS1", true, "4");
    add_tty(sysfs, "ttyAMA0", true);
    add_tty(sysfs, "ttyUSB0", true);
    add_tty(sysfs, "tty0", false);
    sysfs.write_file("console/active", "tty0 ttyS0\tttyAMA0\n");

    // An extra path the kernel lists already, console or not, is not listed twice.
    const auto ports = discover_ports(sysfs.path(), {"/dev/pts/2", "/dev/ttyS0", "/dev/ttyS1"});
    EXPECT_EQ(names_of(ports),
              (std::vector<std::string>{"ttyUSB0", "ttyS1", "/dev/pts/2", "ttyAMA0", "ttyS0"}));
    std::vector<bool> consoles;
    for (const auto& port : ports) consoles.push_back(port.console);
    EXPECT_EQ(consoles, (std::vector<bool>{false, false, false, true, true}));
    EXPECT_EQ(ports.back().path, "/dev/ttyS0");
}

TEST(DiscoverPorts, AConsoleThatIsTheOnlyPortIsStillListed) {
    TempDir sysfs;
    add_tty(sysfs, "ttyS0", true, "4");
    sysfs.write_file("console/active", "ttyS0\n");
    const auto ports = discover_ports(sysfs.path(), {});
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_TRUE(ports[0].console);
}

TEST(DiscoverPorts, MissingTreeLeavesOnlyTheExtras) {
    TempDir dir;
    const auto names = names_of(discover_ports(dir.path() / "absent", {"/dev/pts/4"}));
    EXPECT_EQ(names, std::vector<std::string>{"/dev/pts/4"});
}

TEST(DiscoverPorts, AnExtraPortListedTwiceAppearsOnce) {
    TempDir dir;
    const auto names =
        names_of(discover_ports(dir.path() / "absent", {"/dev/pts/4", "/dev/pts/5", "/dev/pts/4"}));
    EXPECT_EQ(names, (std::vector<std::string>{"/dev/pts/4", "/dev/pts/5"}));
}

struct SplitCase {
    const char* text;
    std::vector<std::string> items;
};

class SplitExtraPorts : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitExtraPorts, SkipsEmptyItems) {
    EXPECT_EQ(split_extra_ports(GetParam().text), GetParam().items);
}

INSTANTIATE_TEST_SUITE_P(Texts, SplitExtraPorts,
                         ::testing::Values(SplitCase{"", {}}, SplitCase{":", {}},
                                           SplitCase{"/dev/pts/3", {"/dev/pts/3"}},
                                           SplitCase{"/dev/pts/3:/tmp/sim",
                                                     {"/dev/pts/3", "/tmp/sim"}},
                                           SplitCase{"::/a::/b:", {"/a", "/b"}}));

TEST(SystemPortLister, ReadsTheExtraPortsOnEveryList) {
    TempDir sysfs;
    add_tty(sysfs, "ttyUSB0", true);
    const auto lister = make_system_port_lister(sysfs.path());
    {
        ScopedEnv extra("VELKON_EXTRA_PORTS", "/tmp/velkon-a:/tmp/velkon-b");
        const auto ports = lister->list();
        ASSERT_GE(ports.size(), 2u);
        EXPECT_EQ(ports[ports.size() - 2].path, "/tmp/velkon-a");
        EXPECT_EQ(ports.back().name, "/tmp/velkon-b");
    }
    {
        ScopedEnv extra("VELKON_EXTRA_PORTS", "/tmp/velkon-c");
        const auto ports = lister->list();
        ASSERT_FALSE(ports.empty());
        EXPECT_EQ(ports.back().path, "/tmp/velkon-c");
        for (const auto& port : ports) EXPECT_NE(port.path, "/tmp/velkon-a");
    }
}

TEST(SystemPortLister, APluggedAdapterShowsAtTheNextScan) {
    TempDir sysfs;
    add_tty(sysfs, "ttyS0", true, "4");
    sysfs.write_file("console/active", "ttyS0\n");
    ScopedEnv extra("VELKON_EXTRA_PORTS", std::nullopt);
    const auto lister = make_system_port_lister(sysfs.path());
    EXPECT_EQ(names_of(lister->list()), std::vector<std::string>{"ttyS0"});

    add_tty(sysfs, "ttyACM0", true);
    EXPECT_EQ(names_of(lister->list()), (std::vector<std::string>{"ttyACM0", "ttyS0"}));
}

// A made-up /dev with stand-in device files and a /dev/serial of links to them, as udev makes
// them: relative, one adapter with two by-path names (usb and usbv2), one link to a device that
// is gone, one to a device that is not a port.
struct SerialTree {
    TempDir dir;
    std::filesystem::path dev = dir.make_dir("dev");
    std::filesystem::path serial = dir.make_dir("serial");
    std::vector<PortEntry> ports;

    SerialTree() {
        dir.make_dir("serial/by-id");
        dir.make_dir("serial/by-path");
        for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyACM0", "null"}) {
            dir.write_file(dev / name, "");
        }
        link("by-id/usb-FTDI_FT232R_A50285BI-if00-port0", "../../dev/ttyUSB0");
        link("by-id/usb-Prolific_PL2303-if00-port0", dev / "ttyUSB1");  // an absolute link
        link("by-id/usb-Gone_Adapter-if00-port0", "../../dev/ttyUSB9");
        link("by-id/usb-Not_A_Port-if00", "../../dev/null");
        link("by-path/pci-0000:00:14.0-usbv2-0:2:1.0-port0", "../../dev/ttyUSB0");
        link("by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", "../../dev/ttyUSB0");
        link("by-path/pci-0000:00:14.0-usb-0:3:1.0-port0", "../../dev/ttyUSB1");
        std::filesystem::create_symlink(dev / "ttyUSB1", dir.path() / "sim-line");
        ports = {{"ttyUSB0", (dev / "ttyUSB0").string()},
                 {"ttyUSB1", (dev / "ttyUSB1").string()},
                 {"ttyACM0", (dev / "ttyACM0").string()},
                 // An extra path that is itself a link to ttyUSB1: the same device, the same names.
                 {"sim-line", (dir.path() / "sim-line").string()}};
    }
    void link(const std::string& name, const std::filesystem::path& target) const {
        std::filesystem::create_symlink(target, serial / name);
    }
    std::vector<std::string> full(const std::vector<std::string>& names) const {
        std::vector<std::string> out;
        for (const auto& name : names) out.push_back((serial / name).string());
        return out;
    }
};

TEST(FindStableNames, GivesEachPortTheLinksToItsDevice) {
    SerialTree tree;
    find_stable_names(tree.ports, tree.serial);
    const struct {
        std::vector<std::string> by_id, by_path;
    } expected[] = {
        {{"by-id/usb-FTDI_FT232R_A50285BI-if00-port0"},
         {"by-path/pci-0000:00:14.0-usb-0:2:1.0-port0",
          "by-path/pci-0000:00:14.0-usbv2-0:2:1.0-port0"}},
        {{"by-id/usb-Prolific_PL2303-if00-port0"}, {"by-path/pci-0000:00:14.0-usb-0:3:1.0-port0"}},
        {{}, {}},
        {{"by-id/usb-Prolific_PL2303-if00-port0"}, {"by-path/pci-0000:00:14.0-usb-0:3:1.0-port0"}},
    };
    ASSERT_EQ(tree.ports.size(), std::size(expected));
    for (std::size_t i = 0; i < tree.ports.size(); ++i) {
        SCOPED_TRACE(tree.ports[i].name);
        EXPECT_EQ(tree.ports[i].by_id, tree.full(expected[i].by_id));
        EXPECT_EQ(tree.ports[i].by_path, tree.full(expected[i].by_path));
    }

    // Asked again (the adapter moved to another socket), the names are replaced, not added to.
    std::filesystem::remove(tree.serial / "by-path/pci-0000:00:14.0-usb-0:3:1.0-port0");
    find_stable_names(tree.ports, tree.serial);
    EXPECT_EQ(tree.ports[1].by_id, tree.full({"by-id/usb-Prolific_PL2303-if00-port0"}));
    EXPECT_TRUE(tree.ports[1].by_path.empty());
}

TEST(FindStableNames, NoSerialFolderLeavesNoNames) {
    SerialTree tree;
    find_stable_names(tree.ports, tree.dir.path() / "absent");
    for (const auto& port : tree.ports) {
        EXPECT_TRUE(port.by_id.empty() && port.by_path.empty()) << port.name;
    }
}

TEST(DevicePathFor, PathsStandKernelNamesGoUnderDev) {
    EXPECT_EQ(device_path_for("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(device_path_for("/dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(device_path_for("/tmp/sim-line"), "/tmp/sim-line");
    EXPECT_EQ(device_path_for(""), "");
}

}  // namespace
}  // namespace velkon

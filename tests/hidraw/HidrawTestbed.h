#pragma once

#include <umockdev.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "UniqueFd.h"

namespace tamblor::test {

// Report descriptors of the devices the tests plug in.
std::vector<std::uint8_t> DockDescriptor();  // vendor page 0xFF00, usage 2, ID 2, 64-byte reports
std::vector<std::uint8_t> KeyboardThenDockDescriptor();  // a keyboard collection, then the dock's
std::vector<std::uint8_t> UnnumberedVendorDescriptor();  // 0xFF00/2 without report IDs, 8 bytes

// A USB HID device as sysfs shows it.
struct UsbHidDevice {
    std::uint16_t vendorId = 0x10C4;
    std::uint16_t productId = 0xF505;
    std::optional<std::uint16_t> bcdDevice = 0x0100;  // empty: the attribute is missing
    std::vector<std::uint8_t> reportDescriptor = DockDescriptor();
    // The node's mode; 0 makes opening it fail with EACCES for a process without
    // CAP_DAC_OVERRIDE. Such a node is a plain file, not a line.
    bool denied = false;
    // The port chain after the bus number (sysfs `devpath`); empty: the plug's own number, so
    // every device sits on a port of its own. A dock that restarts keeps its port.
    std::string devpath{};
};

// One plugged device: its sysfs paths and the far end of the line behind its hidraw node.
struct PluggedNode {
    int number = -1;      // N, free again once unplugged
    std::string devnode;  // /dev/hidrawN
    std::string usbSyspath;
    std::string hidrawSyspath;
    std::string place;  // "BUSNUM-DEVPATH", as the tool names the port
    CUniqueFd master;   // the device's end: what the tool writes arrives here, and back
    CUniqueFd slave;    // held open, so the line stays up while the tool reopens the node
};

// Descriptors this process holds on the node's line, besides the testbed's own: access mode
// (O_RDONLY, O_WRONLY, O_RDWR) and close-on-exec, sorted.
std::vector<std::pair<int, bool>> DescriptorsOn(const PluggedNode& node);

// A umockdev testbed (the process must run under umockdev-wrapper) whose hidraw nodes are
// PTYs in raw mode. Plug and Unplug announce the node by a udev uevent as the kernel would.
//
// umockdev's preload library keeps a slot for every failed open of a /dev node and has about
// fifty, so one process can repeat the tests that open denied nodes only a few times.
class CHidrawTestbed {
  public:
    CHidrawTestbed();
    ~CHidrawTestbed();
    CHidrawTestbed(const CHidrawTestbed&) = delete;
    CHidrawTestbed& operator=(const CHidrawTestbed&) = delete;

    // Each plug gets the lowest free node number, as the kernel hands out hidraw minors: a dock
    // that restarts comes back on the node it left. HID instance numbers only grow.
    std::unique_ptr<PluggedNode> Plug(const UsbHidDevice& device);
    // As the kernel unplugs: the line hangs up, "remove" is announced, the sysfs tree goes.
    void Unplug(PluggedNode& node);

    // True when the process runs under umockdev-wrapper.
    static bool IsActive();

    // The bus number of every device plugged here: one of the process's own, since a tool
    // whose claims are not redirected (the command line's) keeps them in the machine's folder,
    // which test processes running side by side share.
    const std::string& BusNumber() const { return m_busnum; }

  private:
    UMockdevTestbed* m_testbed;
    std::string m_root;
    std::string m_busnum;
    std::set<int> m_numbersInUse;
    unsigned m_instances = 0;
};

// A folder for the claims of the tools under test (sticky, writable by everyone, like
// /run/lock), removed with what it holds.
class CClaimFolder {
  public:
    CClaimFolder();
    ~CClaimFolder();
    CClaimFolder(const CClaimFolder&) = delete;
    CClaimFolder& operator=(const CClaimFolder&) = delete;
    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
};

}  // namespace tamblor::test

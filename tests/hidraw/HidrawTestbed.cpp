#include "HidrawTestbed.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace tamblor::test {
namespace {

constexpr std::uint8_t kKeyboard[] = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7,
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x06, 0x75, 0x08,
    0x15, 0x00, 0x26, 0xFF, 0x00, 0x19, 0x00, 0x2A, 0xFF, 0x00, 0x81, 0x00, 0xC0};

constexpr std::uint8_t kDock[] = {0x06, 0x00, 0xFF, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x02,
                                  0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x3F,
                                  0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};

constexpr std::uint8_t kUnnumbered[] = {0x06, 0x00, 0xFF, 0x09, 0x02, 0xA1, 0x01, 0x75, 0x08, 0x95,
                                        0x08, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0x91, 0x02, 0xC0};

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string Take(gchar* text) {
    std::string copy = text == nullptr ? "" : text;
    g_free(text);
    return copy;
}

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("testbed: ") + what);
}

// A PTY in raw mode, so every byte of a report crosses unchanged; returns the master and
// fills the slave (held open) and its name.
CUniqueFd OpenRawLine(CUniqueFd& slave, std::string& slaveName) {
    CUniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    Check(master.IsValid() && ::grantpt(master.Get()) == 0 && ::unlockpt(master.Get()) == 0,
          "posix_openpt");
    char name[128];
    Check(::ptsname_r(master.Get(), name, sizeof name) == 0, "ptsname_r");
    slaveName = name;
    slave.Reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    Check(slave.IsValid(), "open slave");
    termios mode{};
    Check(::tcgetattr(slave.Get(), &mode) == 0, "tcgetattr");
    ::cfmakeraw(&mode);
    Check(::tcsetattr(slave.Get(), TCSANOW, &mode) == 0, "tcsetattr");
    return master;
}

}  // namespace

std::vector<std::pair<int, bool>> DescriptorsOn(const PluggedNode& node) {
    char line[128] = {};
    if (::ptsname_r(node.master.Get(), line, sizeof line) != 0) return {};
    std::vector<std::pair<int, bool>> modes;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) != line) continue;
        const int fd = std::stoi(entry.path().filename().string());
        if (fd == node.slave.Get()) continue;
        const int flags = ::fcntl(fd, F_GETFL);
        const int fdFlags = ::fcntl(fd, F_GETFD);
        if (flags < 0 || fdFlags < 0) continue;
        modes.emplace_back(flags & O_ACCMODE, (fdFlags & FD_CLOEXEC) != 0);
    }
    std::sort(modes.begin(), modes.end());
    return modes;
}

std::vector<std::uint8_t> DockDescriptor() { return {std::begin(kDock), std::end(kDock)}; }

std::vector<std::uint8_t> KeyboardThenDockDescriptor() {
    // Sized up front: GCC 12 misreads a growing insert here as an overflow (-Warray-bounds).
    std::vector<std::uint8_t> bytes(std::size(kKeyboard) + std::size(kDock));
    std::copy(std::begin(kDock), std::end(kDock),
              std::copy(std::begin(kKeyboard), std::end(kKeyboard), bytes.begin()));
    return bytes;
}

std::vector<std::uint8_t> UnnumberedVendorDescriptor() {
    return {std::begin(kUnnumbered), std::end(kUnnumbered)};
}

CHidrawTestbed::CHidrawTestbed()
    : m_testbed(umockdev_testbed_new()),
      m_root(Take(umockdev_testbed_get_root_dir(m_testbed))),
      m_busnum(std::to_string(1000 + ::getpid())) {}

CHidrawTestbed::~CHidrawTestbed() {
    g_object_unref(m_testbed);
    // The claims that tools of this process left in the machine's folder: their names carry
    // this process's bus number, so they are ours alone.
    const std::string prefix = "tamblor-dock-" + m_busnum + "-";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/run/lock", error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && entry.is_regular_file(error)) {
            std::filesystem::remove(entry.path(), error);
        }
    }
}

CClaimFolder::CClaimFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tamblor-claims-XXXXXX").string();
    Check(::mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    m_path = pattern;
    Check(::chmod(m_path.c_str(), 01777) == 0, "chmod claim folder");
}

CClaimFolder::~CClaimFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

bool CHidrawTestbed::IsActive() {
    // umockdev_in_mock_environment() also needs a testbed to exist; this asks only whether
    // the wrapper put the preload library in place.
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "umockdev-preload") != nullptr;
}

std::unique_ptr<PluggedNode> CHidrawTestbed::Plug(const UsbHidDevice& device) {
    int number = 0;
    while (m_numbersInUse.count(number) != 0) ++number;
    const unsigned instance = ++m_instances;
    // umockdev keeps a removed device's bus link, so each plug takes a port of its own.
    const std::string port = "1-" + std::to_string(instance);
    const std::string vid = Hex(device.vendorId, 4);
    const std::string pid = Hex(device.productId, 4);
    const std::string bcd = device.bcdDevice ? Hex(*device.bcdDevice, 4) : "";
    const std::string devpath = device.devpath.empty() ? std::to_string(instance) : device.devpath;
    auto node = std::make_unique<PluggedNode>();
    node->place = m_busnum + "-" + devpath;

    node->usbSyspath =
        device.bcdDevice
            ? Take(umockdev_testbed_add_device(
                  m_testbed, "usb", port.c_str(), nullptr, "idVendor", vid.c_str(), "idProduct",
                  pid.c_str(), "bcdDevice", bcd.c_str(), "busnum", m_busnum.c_str(), "devpath",
                  devpath.c_str(), nullptr, "DEVTYPE", "usb_device", nullptr))
            : Take(umockdev_testbed_add_device(m_testbed, "usb", port.c_str(), nullptr, "idVendor",
                                               vid.c_str(), "idProduct", pid.c_str(), "busnum",
                                               m_busnum.c_str(), "devpath", devpath.c_str(),
                                               nullptr, "DEVTYPE", "usb_device", nullptr));
    const std::string usbInterface = Take(umockdev_testbed_add_device(
        m_testbed, "usb", (port + ":1.0").c_str(), node->usbSyspath.c_str(), nullptr, "DEVTYPE",
        "usb_interface", nullptr));
    const std::string hidName = "0003:" + vid + ":" + pid + "." + Hex(instance, 4);
    const std::string hidId = "0003:0000" + vid + ":0000" + pid;
    const std::string hid =
        Take(umockdev_testbed_add_device(m_testbed, "hid", hidName.c_str(), usbInterface.c_str(),
                                         nullptr, "HID_ID", hidId.c_str(), nullptr));
    std::vector<std::uint8_t> descriptor = device.reportDescriptor;
    umockdev_testbed_set_attribute_binary(m_testbed, hid.c_str(), "report_descriptor",
                                          descriptor.data(), static_cast<gint>(descriptor.size()));

    const std::string name = "hidraw" + std::to_string(number);
    node->devnode = "/dev/" + name;
    node->hidrawSyspath = hid + "/hidraw/" + name;
    // The node starts as a plain file; a line takes its place before anyone can have heard
    // of it, since the uevent waits in the monitor's socket until the test pumps it.
    const std::string record = "P: " + node->hidrawSyspath.substr(4) + "\nN: " + name +
                               "=00\nE: SUBSYSTEM=hidraw\nE: DEVNAME=" + node->devnode +
                               "\nA: dev=241:" + std::to_string(number) + "\n";
    GError* error = nullptr;
    const bool added = umockdev_testbed_add_from_string(m_testbed, record.c_str(), &error);
    if (error != nullptr) g_error_free(error);
    Check(added, "add hidraw node");
    m_numbersInUse.insert(number);
    node->number = number;

    const std::string file = m_root + node->devnode;
    if (device.denied) {
        Check(::chmod(file.c_str(), 0) == 0, "chmod");
        return node;
    }
    std::string slaveName;
    node->master = OpenRawLine(node->slave, slaveName);
    Check(::unlink(file.c_str()) == 0 && ::symlink(slaveName.c_str(), file.c_str()) == 0,
          "replace node");
    return node;
}

void CHidrawTestbed::Unplug(PluggedNode& node) {
    node.master.Reset();
    node.slave.Reset();
    umockdev_testbed_uevent(m_testbed, node.hidrawSyspath.c_str(), "remove");
    umockdev_testbed_remove_device(m_testbed, node.hidrawSyspath.c_str());
    umockdev_testbed_remove_device(m_testbed, node.usbSyspath.c_str());
    m_numbersInUse.erase(node.number);
}

}  // namespace tamblor::test

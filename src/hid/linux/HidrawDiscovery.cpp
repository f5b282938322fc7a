#include "HidrawDiscovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "UdevPtr.h"
#include "UniqueFd.h"
#include "package/PackageFormat.h"

namespace tamblor {
namespace {

// The kernel caps descriptors far below this; it only bounds a misbehaving attribute.
constexpr std::size_t kMaxDescriptorSize = 65536;

bool ParseHexField(const char* text, std::size_t length, std::uint32_t& value) {
    if (length == 0 || length > 8) return false;
    std::uint32_t result = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const int digit = HexDigitValue(static_cast<std::uint8_t>(text[i]));
        if (digit < 0) return false;
        result = result * 16 + static_cast<std::uint32_t>(digit);
    }
    value = result;
    return true;
}

std::optional<std::vector<std::uint8_t>> ReadDescriptor(const std::string& hidSyspath) {
    const std::string path = hidSyspath + "/report_descriptor";
    CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsValid()) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > kMaxDescriptorSize) return std::nullopt;
    }
    return bytes;
}

// bcdDevice of the USB device the node belongs to; other buses have none and give 0.
std::uint16_t ReadVersionNumber(udev_device& node) {
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(&node, "usb", "usb_device");
    if (usb == nullptr) return 0;
    const char* bcd = udev_device_get_sysattr_value(usb, "bcdDevice");
    std::uint32_t value = 0;
    if (bcd == nullptr || !ParseHexField(bcd, std::strcspn(bcd, "\n"), value)) return 0;
    return static_cast<std::uint16_t>(value);
}

// Digits, or with `dotted` also single dots between digits; a trailing newline is allowed.
bool IsNumberChain(const char* text, bool dotted, std::string& out) {
    if (text == nullptr) return false;
    std::string value(text, std::strcspn(text, "\n"));
    if (value.empty() || value.size() > 32) return false;
    char previous = '.';
    for (const char c : value) {
        const bool digit = c >= '0' && c <= '9';
        if (!digit && !(dotted && c == '.' && previous != '.')) return false;
        previous = c;
    }
    if (previous == '.') return false;
    out = std::move(value);
    return true;
}

HidrawNode DescribeNode(udev_device& device, const char* devnode) {
    HidrawNode node;
    node.devnode = devnode;
    node.place = ReadPlace(device);
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype(&device, "hid", nullptr);
    if (hid == nullptr) return node;
    node.attributes = ParseHidId(udev_device_get_property_value(hid, "HID_ID"));
    if (node.attributes) node.attributes->versionNumber = ReadVersionNumber(device);
    if (const char* syspath = udev_device_get_syspath(hid)) {
        if (auto bytes = ReadDescriptor(syspath)) node.descriptor = ParseReportDescriptor(*bytes);
    }
    return node;
}

}  // namespace

std::string PlaceOf(const char* busnum, const char* devpath) {
    std::string bus, path;
    if (!IsNumberChain(busnum, false, bus) || !IsNumberChain(devpath, true, path)) return {};
    return bus + "-" + path;
}

std::optional<HidAttributes> ParseHidId(const char* hidId) {
    if (hidId == nullptr) return std::nullopt;
    const char* first = std::strchr(hidId, ':');
    if (first == nullptr) return std::nullopt;
    const char* second = std::strchr(first + 1, ':');
    if (second == nullptr) return std::nullopt;
    std::uint32_t bus = 0, vendor = 0, product = 0;
    if (!ParseHexField(hidId, static_cast<std::size_t>(first - hidId), bus) ||
        !ParseHexField(first + 1, static_cast<std::size_t>(second - first - 1), vendor) ||
        !ParseHexField(second + 1, std::strlen(second + 1), product)) {
        return std::nullopt;
    }
    HidAttributes attributes;
    attributes.vendorId = static_cast<std::uint16_t>(vendor);
    attributes.productId = static_cast<std::uint16_t>(product);
    return attributes;
}

std::vector<HidrawNode> EnumerateHidrawNodes(udev& context) {
    std::vector<HidrawNode> nodes;
    UdevEnumeratePtr enumerate(udev_enumerate_new(&context));
    if (!enumerate) return nodes;
    udev_enumerate_add_match_subsystem(enumerate.get(), "hidraw");
    if (udev_enumerate_scan_devices(enumerate.get()) < 0) return nodes;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        UdevDevicePtr device(
            udev_device_new_from_syspath(&context, udev_list_entry_get_name(entry)));
        if (!device) continue;
        const char* devnode = udev_device_get_devnode(device.get());
        if (devnode == nullptr) continue;
        nodes.push_back(DescribeNode(*device, devnode));
    }
    return nodes;
}

std::vector<HidInterfaceInfo> ToInterfaces(const std::vector<HidrawNode>& nodes) {
    std::vector<HidInterfaceInfo> interfaces;
    for (const HidrawNode& node : nodes) {
        if (!node.descriptor || node.descriptor->collections.empty()) {
            interfaces.push_back({node.devnode, node.attributes, std::nullopt, {}, node.place});
            continue;
        }
        for (const TopLevelCollection& collection : node.descriptor->collections) {
            HidCaps caps;
            caps.usagePage = collection.usagePage;
            caps.usage = collection.usage;
            caps.inputReportByteLength = collection.inputReportByteLength;
            caps.outputReportByteLength = collection.outputReportByteLength;
            // A node hands out the reports of all its collections; without report IDs it
            // has one input report, which nothing could tell apart anyway.
            auto ids = node.descriptor->usesReportIds ? collection.inputReportIds
                                                      : std::vector<std::uint8_t>{};
            interfaces.push_back({node.devnode, node.attributes, caps, std::move(ids), node.place});
        }
    }
    return interfaces;
}

std::string ReadPlace(udev_device& node) {
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(&node, "usb", "usb_device");
    if (usb == nullptr) return {};
    return PlaceOf(udev_device_get_sysattr_value(usb, "busnum"),
                   udev_device_get_sysattr_value(usb, "devpath"));
}

}  // namespace tamblor

#include "ConfigfsGadget.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "GadgetDescriptor.h"
#include "GadgetTree.h"

namespace tamblor {
namespace {

namespace fs = std::filesystem;

constexpr long kConfigfsMagic = 0x62656570;

std::string Errno(int error) { return std::strerror(error); }

bool WriteAttribute(const fs::path& path, const void* data, std::size_t size, int& error) {
    CUniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd.IsValid()) {
        error = errno;
        return false;
    }
    // configfs takes an attribute in one write; a part would be a different value.
    const ssize_t written = ::write(fd.Get(), data, size);
    if (written < 0) {
        error = errno;
        return false;
    }
    if (static_cast<std::size_t>(written) != size) {
        error = EIO;
        return false;
    }
    return true;
}

bool WriteText(const fs::path& path, const std::string& text, int& error) {
    return WriteAttribute(path, text.data(), text.size(), error);
}

std::string HexAttribute(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", static_cast<unsigned>(value));
    return text;
}

std::string ReadFirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The /dev node of a character device given as "MAJOR:MINOR", as the kernel names it.
std::string DevNodeOf(const std::string& majorMinor) {
    std::ifstream uevent(fs::path("/sys/dev/char") / majorMinor / "uevent");
    std::string line;
    while (std::getline(uevent, line)) {
        if (line.rfind("DEVNAME=", 0) == 0) return "/dev/" + line.substr(8);
    }
    return {};
}

bool IsConfigfsMounted(const fs::path& configfs) {
    struct statfs info {};
    return ::statfs(configfs.c_str(), &info) == 0 &&
           static_cast<long>(info.f_type) == kConfigfsMagic;
}

}  // namespace

std::string FindUdc() {
    std::error_code ignored;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(ConfigfsPaths().udcClass, ignored)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names.empty() ? std::string() : names.front();
}

std::unique_ptr<CConfigfsGadget> CConfigfsGadget::Create(const GadgetIdentity& identity,
                                                         const std::string& udc,
                                                         std::string& error) {
    if (::geteuid() != 0) {
        error = "needs root to set up a USB gadget through configfs (run it with sudo)";
        return nullptr;
    }
    ConfigfsPaths paths;
    paths.udc = udc;
    const std::string configfs = paths.configfs.string();
    std::error_code ignored;
    if (!fs::is_directory(paths.configfs, ignored)) {
        error = "configfs is not loaded (sudo modprobe libcomposite, which brings it)";
        return nullptr;
    }
    if (!IsConfigfsMounted(paths.configfs)) {
        error = "configfs is not mounted on " + configfs + " (sudo mount -t configfs none " +
                configfs + ")";
        return nullptr;
    }
    if (!fs::is_directory(paths.gadgets, ignored)) {
        error = "the USB gadget framework is not loaded (sudo modprobe libcomposite)";
        return nullptr;
    }
    std::unique_ptr<CConfigfsGadget> gadget(new CConfigfsGadget());
    gadget->m_udc = udc.empty() ? FindUdc() : udc;
    if (gadget->m_udc.empty()) {
        error = "no USB device controller in " + paths.udcClass.string() +
                " (sudo modprobe dummy_hcd for a virtual one)";
        return nullptr;
    }
    if (!IsUdcEntry(paths.udcClass, gadget->m_udc)) {
        error =
            "no USB device controller named " + gadget->m_udc + " in " + paths.udcClass.string();
        return nullptr;
    }
    if (error = UdcSpeedProblem(paths.udcClass, gadget->m_udc); !error.empty()) return nullptr;
    if (!gadget->Build(identity, paths, error)) return nullptr;
    return gadget;
}

bool CConfigfsGadget::MakeDirectory(const fs::path& path, std::string& error) {
    if (::mkdir(path.c_str(), 0755) != 0) {
        error = "cannot create " + path.string() + ": " + Errno(errno);
        return false;
    }
    m_made.push_back(path);
    return true;
}

bool CConfigfsGadget::Build(const GadgetIdentity& identity, const ConfigfsPaths& paths,
                            std::string& error) {
    const GadgetLayout layout(paths);
    m_root = layout.root;
    CConfigfsCalls calls;
    if (const GadgetCheck found = CheckGadget(calls, paths); found.found != GadgetFound::None) {
        error = ExistingGadgetText(found, paths);
        return false;
    }
    int code = 0;
    auto write = [&](const fs::path& path, const std::string& text) {
        if (WriteText(path, text, code)) return true;
        error = "cannot write " + path.string() + ": " + Errno(code);
        return false;
    };
    if (!MakeDirectory(m_root, error)) return false;
    // Held for as long as the gadget exists: --remove leaves alone a gadget whose maker runs.
    m_lock.Reset(::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    // Unheld, a running gadget would pass for a leftover that --remove may take.
    if (!m_lock.IsValid()) {
        error = "cannot open " + m_root.string() + ": " + Errno(errno);
        return false;
    }
    if (!HoldGadgetDirectory(m_lock.Get())) {
        error = "cannot hold " + m_root.string() + ": another process keeps it locked";
        return false;
    }
    if (!write(m_root / "idVendor", HexAttribute(identity.vendorId)) ||
        !write(m_root / "idProduct", HexAttribute(identity.productId)) ||
        !write(m_root / "bcdDevice", HexAttribute(identity.bcdDevice)) ||
        !write(m_root / "bcdUSB", "0x0200")) {
        return false;
    }
    const fs::path& strings = layout.strings;
    if (!MakeDirectory(strings, error) || !write(strings / "manufacturer", kGadgetManufacturer) ||
        !write(strings / "product", kGadgetProduct) ||
        !write(strings / "serialnumber", kGadgetSerial)) {
        return false;
    }
    const fs::path& config = layout.config;
    if (!MakeDirectory(config, error) || !MakeDirectory(layout.configStrings, error) ||
        !write(layout.configStrings / "configuration", "HID") ||
        !write(config / "MaxPower", "100")) {
        return false;
    }
    m_function = layout.function;
    if (::mkdir(m_function.c_str(), 0755) != 0) {
        const int mkdirError = errno;
        error =
            mkdirError == ENOENT
                ? std::string("the USB HID gadget function is not loaded (sudo modprobe usb_f_hid)")
                : "cannot create " + m_function.string() + ": " + Errno(mkdirError);
        return false;
    }
    m_made.push_back(m_function);
    if (!write(m_function / "protocol", "0") || !write(m_function / "subclass", "0") ||
        !write(m_function / "report_length", std::to_string(kGadgetEndpointPacketSize))) {
        return false;
    }
    if (!WriteAttribute(m_function / "report_desc", identity.reportDescriptor.data(),
                        identity.reportDescriptor.size(), code)) {
        error = "cannot write the report descriptor: " + Errno(code);
        return false;
    }
    const fs::path& link = layout.link;
    if (::symlink(m_function.c_str(), link.c_str()) != 0) {
        error = "cannot add the HID function to the configuration: " + Errno(errno);
        return false;
    }
    m_link = link;
    return true;
}

bool CConfigfsGadget::Connect(std::string& error) {
    if (m_bound) return true;
    int code = 0;
    if (!WriteText(m_root / "UDC", m_udc, code)) {
        // The kernel says EBUSY also when the HID function failed to bind to the controller.
        error = code == EBUSY ? "USB device controller " + m_udc +
                                    " is in use by another gadget, or the kernel would not bind "
                                    "the HID function to it (see dmesg)"
                              : "cannot bind the gadget to " + m_udc + ": " + Errno(code);
        return false;
    }
    m_bound = true;
    if (OpenNode(error)) return true;
    Disconnect();
    return false;
}

bool CConfigfsGadget::OpenNode(std::string& error) {
    const std::string majorMinor = ReadFirstLine(m_function / "dev");
    m_nodePath = DevNodeOf(majorMinor);
    if (m_nodePath.empty()) {
        error = "the HID function has no device node (" + majorMinor + ")";
        return false;
    }
    // The node appears when the function binds; devtmpfs makes it at once, a static /dev
    // needs udev, so give it a moment.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (;;) {
        m_node.Reset(::open(m_nodePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
        if (m_node.IsValid()) return true;
        const int openError = errno;
        if (openError != ENOENT || std::chrono::steady_clock::now() > deadline) {
            error = "cannot open " + m_nodePath + ": " + Errno(openError);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void CConfigfsGadget::Disconnect() {
    m_node.Reset();
    if (!m_bound) return;
    int ignored = 0;
    WriteText(m_root / "UDC", "\n", ignored);
    m_bound = false;
}

CConfigfsGadget::~CConfigfsGadget() {
    Disconnect();
    if (m_link) ::unlink(m_link->c_str());
    for (auto it = m_made.rbegin(); it != m_made.rend(); ++it) {
        // Let go of the lock only now, and never keep the directory open while it goes.
        if (*it == m_root) m_lock.Reset();
        ::rmdir(it->c_str());
    }
}

std::string CConfigfsGadget::Describe() const {
    return m_udc + (m_nodePath.empty() ? std::string() : ", reports through " + m_nodePath);
}

}  // namespace tamblor

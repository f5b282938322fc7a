#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "GadgetLink.h"
#include "GadgetTree.h"
#include "hid/linux/UniqueFd.h"

namespace tamblor {

// What the gadget shows the host in its USB device descriptor.
struct GadgetIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0;
    std::vector<std::uint8_t> reportDescriptor;
};

// A USB HID gadget made through configfs (libcomposite with one usb_f_hid function) and bound
// to a USB device controller; its reports pass through /dev/hidgN. The object removes every
// directory it made, also when its set-up failed half-way.
class CConfigfsGadget final : public IGadgetLink {
  public:
    ~CConfigfsGadget() override;
    CConfigfsGadget(const CConfigfsGadget&) = delete;
    CConfigfsGadget& operator=(const CConfigfsGadget&) = delete;

    // Builds the gadget for `udc` (empty: the first controller in /sys/class/udc) without
    // binding it. Empty with a one-line reason when something is missing.
    static std::unique_ptr<CConfigfsGadget> Create(const GadgetIdentity& identity,
                                                   const std::string& udc, std::string& error);

    bool Connect(std::string& error) override;
    void Disconnect() override;
    int ReportDescriptor() const override { return m_node.Get(); }
    std::string Describe() const override;

  private:
    CConfigfsGadget() = default;
    bool Build(const GadgetIdentity& identity, const ConfigfsPaths& paths, std::string& error);
    bool MakeDirectory(const std::filesystem::path& path, std::string& error);
    bool OpenNode(std::string& error);

    std::filesystem::path m_root;
    std::string m_udc;
    // Made by us, in the order made; removed in reverse.
    std::vector<std::filesystem::path> m_made;
    std::optional<std::filesystem::path> m_link;
    std::filesystem::path m_function;
    std::string m_nodePath;
    bool m_bound = false;
    CUniqueFd m_node;
    CUniqueFd m_lock;  // the gadget's directory, locked while the gadget is ours
};

// The first USB device controller the kernel offers, or empty.
std::string FindUdc();

}  // namespace tamblor

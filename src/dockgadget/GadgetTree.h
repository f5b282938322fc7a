#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tamblor {

// The strings tamblor-dock gives its gadget; together with the gadget's name and shape they
// tell a gadget it made from anyone else's.
inline constexpr const char* kGadgetName = "tamblor-dock";
inline constexpr const char* kGadgetManufacturer = "Tamblor";
inline constexpr const char* kGadgetProduct = "Emulated dock";
inline constexpr const char* kGadgetSerial = "TAMBLOR-DOCK-0001";
inline constexpr const char* kGadgetFunction = "hid.usb0";
inline constexpr const char* kGadgetConfig = "c.1";
inline constexpr const char* kGadgetLanguage = "0x409";

// Where the kernel's gadget framework lives, and which of tamblor-dock's gadgets is meant; a
// test points these at a fake tree.
struct ConfigfsPaths {
    std::filesystem::path configfs = "/sys/kernel/config";
    std::filesystem::path gadgets = "/sys/kernel/config/usb_gadget";
    std::filesystem::path udcClass = "/sys/class/udc";
    // The controller named with --udc; empty for the first one.
    std::string udc{};

    // A gadget of its own for each controller named, so that one tamblor-dock runs on each
    // controller of a machine at once; the default keeps the plain name.
    std::string GadgetName() const;
    // The command that removes this gadget when a killed tamblor-dock left it.
    std::string RemoveCommand() const;
};

// What tamblor-dock makes under its gadget's directory, in the order it makes them; removed in
// the reverse order, the link first.
struct GadgetLayout {
    explicit GadgetLayout(const ConfigfsPaths& paths);
    std::filesystem::path root;
    std::filesystem::path strings;
    std::filesystem::path config;
    std::filesystem::path configStrings;
    std::filesystem::path function;
    std::filesystem::path link;  // the function in the configuration
    std::vector<std::filesystem::path> Directories() const;
};

// The few calls made on configfs to examine and remove a gadget. Each returns 0 or an errno
// value. Virtual so that a test stands in a tree that keeps configfs's rules.
class CConfigfsCalls {
  public:
    virtual ~CConfigfsCalls() = default;
    // The first line of an attribute; empty when it cannot be read.
    virtual std::optional<std::string> ReadAttribute(const std::filesystem::path& path);
    virtual int WriteAttribute(const std::filesystem::path& path, const std::string& text);
    virtual int RemoveDirectory(const std::filesystem::path& path);
    virtual int RemoveLink(const std::filesystem::path& path);
    // The subdirectories and the symbolic links in `path`, by name.
    virtual std::vector<std::string> Directories(const std::filesystem::path& path);
    virtual std::vector<std::string> Links(const std::filesystem::path& path);
    // Whether a running tamblor-dock holds the gadget (its lock on the gadget's directory).
    virtual bool IsHeld(const std::filesystem::path& root);
};

// Takes a running tamblor-dock's hold on its gadget's directory (`directory`, open), which
// --remove respects; waits a moment for a --remove that is looking at it, never longer. False
// when the hold could not be taken.
bool HoldGadgetDirectory(int directory);

enum class GadgetFound {
    None,     // no gadget of the name
    Ours,     // made by a tamblor-dock that is gone
    InUse,    // made by a tamblor-dock that still runs
    Foreign,  // of the name, but not made by tamblor-dock (the reason says why)
};

struct GadgetCheck {
    GadgetFound found = GadgetFound::None;
    std::string reason;
};

// What stands at the gadget's name.
GadgetCheck CheckGadget(CConfigfsCalls& calls, const ConfigfsPaths& paths);

// The one line that says why a new gadget cannot be made over `check`, and what to do.
std::string ExistingGadgetText(const GadgetCheck& check, const ConfigfsPaths& paths);

// Removes the gadget a killed tamblor-dock left behind: unbinds it from its controller, then
// removes the link and the directories it made, the reverse of their making. Nothing is
// touched unless the gadget is ours and no tamblor-dock runs with it. The line to print in
// `text`; false when the gadget was not removed (or was not ours).
bool RemoveLeftoverGadget(CConfigfsCalls& calls, const ConfigfsPaths& paths, std::string& text);

// Whether `name` is a USB device controller in `udcClass`: one of its entries, by name.
bool IsUdcEntry(const std::filesystem::path& udcClass, const std::string& name);

// Why controller `name` in `udcClass` cannot carry the HID function, or empty. Its endpoints'
// packets are larger than full speed allows for interrupt transfers: a full-speed-only
// controller refuses to bind the function, and the kernel says why only in its log.
std::string UdcSpeedProblem(const std::filesystem::path& udcClass, const std::string& name);

}  // namespace tamblor

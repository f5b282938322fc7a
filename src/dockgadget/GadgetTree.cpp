#include "GadgetTree.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "hid/linux/UniqueFd.h"

namespace tamblor {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> EntriesOf(const fs::path& path, fs::file_type type) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        if (it->symlink_status(ignored).type() == type) {
            names.push_back(it->path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The first entry of `names` that is not `allowed`, as "where/name"; empty when none.
std::string Stranger(const std::vector<std::string>& names, const std::string& allowed,
                     const std::string& where) {
    for (const auto& name : names) {
        if (name != allowed) return where + "/" + name;
    }
    return {};
}

std::string ForeignPart(CConfigfsCalls& calls, const GadgetLayout& layout) {
    const fs::path& root = layout.root;
    const std::pair<fs::path, std::string> expected[] = {
        {root / "configs", kGadgetConfig},
        {root / "functions", kGadgetFunction},
        {root / "strings", kGadgetLanguage},
        {layout.config, "strings"},
        {layout.config / "strings", kGadgetLanguage},
    };
    for (const auto& [folder, allowed] : expected) {
        const auto where = fs::relative(folder, root).string();
        if (auto part = Stranger(calls.Directories(folder), allowed, where); !part.empty()) {
            return part;
        }
    }
    return Stranger(calls.Links(layout.config), kGadgetFunction,
                    fs::relative(layout.config, root).string());
}

}  // namespace

std::string ConfigfsPaths::GadgetName() const {
    return udc.empty() ? std::string(kGadgetName) : std::string(kGadgetName) + "-" + udc;
}

std::string ConfigfsPaths::RemoveCommand() const {
    return udc.empty() ? std::string("tamblor-dock --remove")
                       : "tamblor-dock --remove --udc " + udc;
}

GadgetLayout::GadgetLayout(const ConfigfsPaths& paths)
    : root(paths.gadgets / paths.GadgetName()),
      strings(root / "strings" / kGadgetLanguage),
      config(root / "configs" / kGadgetConfig),
      configStrings(config / "strings" / kGadgetLanguage),
      function(root / "functions" / kGadgetFunction),
      link(config / kGadgetFunction) {}

std::vector<fs::path> GadgetLayout::Directories() const {
    return {root, strings, config, configStrings, function};
}

std::optional<std::string> CConfigfsCalls::ReadAttribute(const fs::path& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::string line;
    std::getline(in, line);
    return line;
}

int CConfigfsCalls::WriteAttribute(const fs::path& path, const std::string& text) {
    CUniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.IsValid()) return errno;
    // configfs takes an attribute in one write; a part would be a different value.
    const ssize_t written = ::write(fd.Get(), text.data(), text.size());
    if (written < 0) return errno;
    return static_cast<std::size_t>(written) == text.size() ? 0 : EIO;
}

int CConfigfsCalls::RemoveDirectory(const fs::path& path) {
    return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

int CConfigfsCalls::RemoveLink(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return errno;
    if (!S_ISLNK(info.st_mode)) return EINVAL;
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

std::vector<std::string> CConfigfsCalls::Directories(const fs::path& path) {
    return EntriesOf(path, fs::file_type::directory);
}

std::vector<std::string> CConfigfsCalls::Links(const fs::path& path) {
    return EntriesOf(path, fs::file_type::symlink);
}

bool HoldGadgetDirectory(int directory) {
    // --remove's probe holds the lock for an instant only; anyone who can open the directory
    // could keep it for good, so the wait is bounded.
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (::flock(directory, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool CConfigfsCalls::IsHeld(const fs::path& root) {
    CUniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    return fd.IsValid() && ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

GadgetCheck CheckGadget(CConfigfsCalls& calls, const ConfigfsPaths& paths) {
    const auto gadgets = calls.Directories(paths.gadgets);
    if (std::find(gadgets.begin(), gadgets.end(), paths.GadgetName()) == gadgets.end()) return {};
    const GadgetLayout layout(paths);
    if (calls.IsHeld(layout.root)) return {GadgetFound::InUse, {}};
    const std::pair<const char*, const char*> strings[] = {
        {"manufacturer", kGadgetManufacturer},
        {"product", kGadgetProduct},
        {"serialnumber", kGadgetSerial},
    };
    for (const auto& [attribute, value] : strings) {
        if (calls.ReadAttribute(layout.strings / attribute) != std::string(value)) {
            return {GadgetFound::Foreign,
                    std::string("its ") + attribute + " is not \"" + value + "\""};
        }
    }
    if (auto part = ForeignPart(calls, layout); !part.empty()) {
        return {GadgetFound::Foreign, "it has " + part + ", which tamblor-dock does not make"};
    }
    return {GadgetFound::Ours, {}};
}

std::string ExistingGadgetText(const GadgetCheck& check, const ConfigfsPaths& paths) {
    const std::string where =
        "a gadget named " + paths.GadgetName() + " in " + paths.gadgets.string();
    switch (check.found) {
        case GadgetFound::Ours:
            return where + " was left by a tamblor-dock that was killed; remove it with: " +
                   paths.RemoveCommand();
        case GadgetFound::InUse:
            return where + " belongs to another tamblor-dock, which still runs";
        case GadgetFound::Foreign:
            return where + " was not made by tamblor-dock (" + check.reason + "); it is left alone";
        case GadgetFound::None:
            break;
    }
    return {};
}

bool RemoveLeftoverGadget(CConfigfsCalls& calls, const ConfigfsPaths& paths, std::string& text) {
    const GadgetCheck check = CheckGadget(calls, paths);
    if (check.found == GadgetFound::None) {
        text = "no gadget named " + paths.GadgetName() + " in " + paths.gadgets.string() +
               ": nothing to remove";
        return true;
    }
    if (check.found != GadgetFound::Ours) {
        text = ExistingGadgetText(check, paths);
        return false;
    }
    const GadgetLayout layout(paths);
    const auto fail = [&](const std::string& what, int error) {
        text = "cannot " + what + ": " + std::strerror(error);
        return false;
    };
    // Off the bus first: a bound gadget's parts are in use.
    const auto udc = calls.ReadAttribute(layout.root / "UDC");
    if (udc && !udc->empty()) {
        if (const int error = calls.WriteAttribute(layout.root / "UDC", "\n"); error != 0) {
            return fail("unbind the gadget from " + *udc, error);
        }
    }
    const auto links = calls.Links(layout.config);
    if (std::find(links.begin(), links.end(), kGadgetFunction) != links.end()) {
        if (const int error = calls.RemoveLink(layout.link); error != 0) {
            return fail("remove " + layout.link.string(), error);
        }
    }
    const auto made = layout.Directories();
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        // A run killed half-way through its set-up made only the first of them.
        if (const int error = calls.RemoveDirectory(*it); error != 0 && error != ENOENT) {
            return fail("remove " + it->string(), error);
        }
    }
    text = "removed the gadget " + paths.GadgetName() + " that a killed tamblor-dock left in " +
           paths.gadgets.string();
    return true;
}

bool IsUdcEntry(const fs::path& udcClass, const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        return false;
    }
    std::error_code error;
    for (fs::directory_iterator it(udcClass, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().filename() == name) return true;
    }
    return false;
}

std::string UdcSpeedProblem(const fs::path& udcClass, const std::string& name) {
    const std::string speed =
        CConfigfsCalls{}.ReadAttribute(udcClass / name / "maximum_speed").value_or("");
    // An older kernel without the attribute gets the benefit of the doubt.
    if (speed != "full-speed" && speed != "low-speed") return {};
    return "USB device controller " + name + " is " + speed +
           " only; the dock's interrupt endpoints need a high-speed controller";
}

}  // namespace tamblor

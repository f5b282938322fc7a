// tamblor-cli --version: the tool's own version and the firmware it carries.

#include <ostream>

#include "Commands.h"
#include "PackageText.h"
#include "TextFormat.h"
#include "package/PackageLoader.h"

#ifndef TAMBLOR_VERSION
#error "the build defines TAMBLOR_VERSION, the project's version"
#endif

namespace tamblor {

int RunVersionCommand(const std::filesystem::path& self, std::ostream& out) {
    out << "tamblor-cli " << TAMBLOR_VERSION << "\n";
    // The question was the tool's version, which is always known: a missing or broken package
    // is stated, not turned into a failure ('info' is the command that fails on it).
    const LoadResult loaded = LoadPackage(self);
    if (loaded.code != 0) {
        out << "firmware: none (" << DescribeLoadFailure(self, loaded) << ")\n";
        return 0;
    }
    const PackageInfo& info = loaded.info;
    out << "firmware " << PrintableText(RecordVersion(info)) << " " << PrintableText(info.date)
        << " (vendor ID " << Hex4(info.g_packageVid) << ", product ID " << Hex4(info.g_packagePid)
        << ", start selector " << PrintableText(std::string(1, info.m_startSelector)) << ")\n";
    return 0;
}

}  // namespace tamblor

#include "VersionPolicy.h"

#include <cstdio>

namespace tamblor {
namespace {

std::string VersionLine(const char* label, const std::uint8_t* v) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%c%x%x%x", label, static_cast<char>(v[0]),
                  static_cast<unsigned>(v[1]), static_cast<unsigned>(v[2]),
                  static_cast<unsigned>(v[3]));
    return text;
}

int VersionNumber(const std::uint8_t* v) { return v[1] * 100 + v[2] * 10 + v[3]; }

}  // namespace

VersionVerdict EvaluateVersion(const std::uint8_t* fileVersion, const std::uint8_t* deviceVersion) {
    VersionVerdict verdict;
    verdict.lines.push_back(VersionLine("File Version: ", fileVersion));
    verdict.lines.push_back(VersionLine("Device Version: ", deviceVersion));
    const char fileLetter = static_cast<char>(fileVersion[0]);
    if (fileLetter == 'E') {
        verdict.lines.emplace_back("Engineer file version!");
        verdict.result = 1;
    } else if (fileLetter == 'L') {
        verdict.lines.emplace_back("Downgrade file version!");
        verdict.result = 1;
    } else if (fileLetter != 'V') {
        verdict.lines.emplace_back("ISP file version error!");
    } else if (static_cast<char>(deviceVersion[0]) == 'E') {
        verdict.lines.emplace_back("Engineer device version!");
        verdict.result = 1;
    } else if (VersionNumber(fileVersion) > VersionNumber(deviceVersion)) {
        verdict.lines.emplace_back("Press to upgrade new version!");
        verdict.resetProgress = true;
        verdict.result = 1;
    } else {
        verdict.lines.emplace_back("ISP file version must higher then device version!");
        verdict.lines.emplace_back("Don't need to upgrade!");
    }
    return verdict;
}

}  // namespace tamblor

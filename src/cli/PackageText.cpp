#include "PackageText.h"

namespace tamblor {
namespace {

std::string Meaning(const LoadResult& result) {
    switch (result.code) {
        case 59:
            return "cannot open it: " + result.openFailure;
        case 60:
            return "cannot read a trailer record at its end (too short, over 4 GiB, or unreadable)";
        case 61:
            return "it does not end in a trailer record: no firmware package";
        case 62:
            return "cannot read its last 512 KiB";
        case 63:
            return "its last 512 KiB hold other than six trailer records, or a segment is "
                   "unreadable";
        case 64:
            return "the vendor ID of its last record is not four hexadecimal digits";
        case 65:
            return "the product ID of its last record is not four hexadecimal digits";
        case kErrChip3TooLong:
            return "segment 0 is longer than the ISP commands can carry";
        default:
            return "not a firmware package";
    }
}

}  // namespace

std::string DescribeLoadFailure(const std::filesystem::path& path, const LoadResult& result) {
    return path.string() + ": ISP error " + std::to_string(result.code) + "! (" + Meaning(result) +
           ")";
}

std::string RecordVersion(const PackageInfo& info) {
    std::string version(1, static_cast<char>(info.m_fileVersion[0]));
    for (std::size_t i = 1; i < 4; ++i) version += static_cast<char>(info.m_fileVersion[i] + 0x30);
    return version;
}

}  // namespace tamblor

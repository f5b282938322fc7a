#include "dock/DockExpectation.h"

#include "package/PackageLoader.h"

namespace tamblor {

DueChips ChipsDue(bool startsInIspMode, char startSelector) {
    DueChips due;
    if (startsInIspMode) return due;
    due.chip2 = startSelector == '2';
    due.chip1 = startSelector == '3';
    return due;
}

std::shared_ptr<const DockExpectation> LoadDockExpectation(const std::filesystem::path& package) {
    auto loaded = LoadPackage(package);
    if (loaded.code != 0 || !loaded.file) return nullptr;
    const auto& info = loaded.info;
    const auto segment = [&](std::size_t k, std::vector<std::uint8_t>& bytes) {
        bytes.resize(info.m_segmentLength[k]);
        return loaded.file->ReadAt(info.m_segmentOffset[k], bytes) == bytes.size();
    };
    auto expectation = std::make_shared<DockExpectation>();
    if (!segment(kSegChip3, expectation->chip3) ||
        !segment(kSegChip2File1, expectation->chip2[0]) ||
        !segment(kSegChip2File2, expectation->chip2[1]) ||
        !segment(kSegChip1, expectation->chip1)) {
        return nullptr;
    }
    expectation->version = info.m_fileVersion;
    expectation->startSelector = info.m_startSelector;
    return expectation;
}

}  // namespace tamblor

// A package of the synthetic images, placed as in the shipped executable, loads to the shipped
// segment table.

#include <gtest/gtest.h>

#include "TestPackages.h"
#include "package/PackageLoader.h"
#include "package/PackageWriter.h"

namespace tamblor::test {
namespace {

constexpr std::uint32_t kShippedFileSize = 4'608'490;
constexpr std::uint32_t kShippedPackageOffset = 4'121'088;
constexpr std::uint32_t kShippedWindowStart = 4'084'202;

class ShippedLayout : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new CTempDir;
        const Bytes carrier(kShippedPackageOffset, 0xCC);
        const PackageBuild build =
            BuildPackage(RecordFields{}, Views(SyntheticSegments()), carrier);
        ASSERT_EQ(build.error, "");
        WriteFile(s_dir->File("tamblor.exe"), Concat(carrier, build.bytes));
        s_result = new LoadResult(LoadPackage(s_dir->File("tamblor.exe")));
    }
    static void TearDownTestSuite() {
        delete s_result;
        delete s_dir;
    }

    static const PackageInfo& Info() { return s_result->info; }

    static CTempDir* s_dir;
    static LoadResult* s_result;
};

CTempDir* ShippedLayout::s_dir = nullptr;
LoadResult* ShippedLayout::s_result = nullptr;

TEST_F(ShippedLayout, Loads) {
    ASSERT_EQ(s_result->code, 0);
    EXPECT_EQ(Info().m_packageSize, kShippedFileSize);
}

TEST_F(ShippedLayout, RecordsSitWhereTheShippedOnesDo) {
    const std::array<std::uint32_t, kRecordCount> inWindow = {36'886,  62'776,  67'996,
                                                              330'174, 330'720, 524'254};
    for (std::size_t k = 0; k < kRecordCount; ++k) {
        EXPECT_EQ(Info().recordOffsets[k], kShippedWindowStart + inWindow[k]) << "record " << k;
    }
}

TEST_F(ShippedLayout, SegmentTable) {
    const std::array<std::uint32_t, kSegmentCount> inPackage = {34, 25'924, 31'144, 293'322,
                                                                293'868};
    const std::array<std::uint32_t, kSegmentCount> lengths = {25'856, 5'186, 262'144, 512, 193'500};
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        EXPECT_EQ(Info().m_segmentOffset[k], kShippedPackageOffset + inPackage[k]) << k;
        EXPECT_EQ(Info().m_segmentLength[k], lengths[k]) << k;
    }
}

TEST_F(ShippedLayout, Fields) {
    EXPECT_EQ(Info().m_segmentSum0, 0xA40F);
    EXPECT_EQ(Info().m_segmentSum4, 0x7BBE);
    EXPECT_EQ(Info().g_packageVid, 0x10C4);
    EXPECT_EQ(Info().g_packagePid, 0xF505);
    EXPECT_EQ(Info().m_fileVersion, (std::array<std::uint8_t, 4>{'V', 1, 0, 3}));
    EXPECT_EQ(Info().m_startSelector, '1');
    EXPECT_EQ(Info().date, "2017/08/11");
    EXPECT_EQ(Info().versionText, "Code Ver:V103  2017/08/11");
}

}  // namespace
}  // namespace tamblor::test

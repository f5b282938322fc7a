// GDI+ is started once per process and stopped only by the instance that started it, when the
// count of uses returns to 0.
#include <gtest/gtest.h>

#include <cwchar>

#include "win/app/GDIpInitializer.h"

namespace tamblor::test {
namespace {

using win::CGDIpInitializer;

// The marker mapping exists exactly while an instance of this process runs GDI+.
bool MarkerPresent() {
    wchar_t name[64];
    std::swprintf(name, 64, L"GDIPlusInitID=%x", static_cast<unsigned>(::GetCurrentProcessId()));
    const HANDLE mapping = ::OpenFileMappingW(FILE_MAP_READ, FALSE, name);
    if (mapping == nullptr) return false;
    ::CloseHandle(mapping);
    return true;
}

TEST(GdiplusInitializer, ASecondInstanceOnlyCountsAndTheStarterStopsAtZero) {
    CGDIpInitializer first(false);
    CGDIpInitializer second(false);
    EXPECT_FALSE(MarkerPresent());

    first.StartGdiplus();
    second.StartGdiplus();
    EXPECT_TRUE(first.Started());
    EXPECT_FALSE(second.Started()) << "it found the marker of the first";
    EXPECT_EQ(CGDIpInitializer::UseCount(), 2);
    EXPECT_TRUE(MarkerPresent());

    second.StopGdiplus();  // only the count changes
    EXPECT_EQ(CGDIpInitializer::UseCount(), 1);
    EXPECT_TRUE(first.Started());
    first.StopGdiplus();
    EXPECT_EQ(CGDIpInitializer::UseCount(), 0);
    EXPECT_FALSE(first.Started());
    EXPECT_FALSE(MarkerPresent());
}

TEST(GdiplusInitializer, StoppingTheStarterFirstLeavesGdiplusUp) {
    CGDIpInitializer first(false);
    {
        CGDIpInitializer second(true);  // starts in its constructor, stops in its destructor
        EXPECT_TRUE(second.Started());
        first.StartGdiplus();
        EXPECT_FALSE(first.Started());
        first.StopGdiplus();
        EXPECT_TRUE(MarkerPresent());
    }
    EXPECT_EQ(CGDIpInitializer::UseCount(), 0);
    EXPECT_FALSE(MarkerPresent());

    // Starter stopped while another use is still counted: GDI+ stays up, and the later stop of
    // the other instance does not end it either.
    CGDIpInitializer starter(false);
    CGDIpInitializer user(false);
    starter.StartGdiplus();
    user.StartGdiplus();
    starter.StopGdiplus();
    user.StopGdiplus();
    EXPECT_EQ(CGDIpInitializer::UseCount(), 0);
    EXPECT_TRUE(starter.Started());
    EXPECT_TRUE(MarkerPresent());
    // Balance it for the rest of the process: the starter's next stop at 0 ends GDI+.
    starter.StartGdiplus();
    starter.StopGdiplus();
    EXPECT_FALSE(MarkerPresent());
}

}  // namespace
}  // namespace tamblor::test

#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "TestDoubles.h"
#include "TestPackage.h"
#include "app/TamblorEngine.h"

namespace tamblor::test {

// An engine on a fake bus with one usable dock and a loaded package; tests play the dock by
// feeding replies to OnDeviceReport and reading what the engine wrote.
class EngineFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir =
            std::filesystem::temp_directory_path() /
            ("tamblor-engine-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_dir);
        bus.interfaces = {FakeBus::Dock("dock0")};
    }
    void TearDown() override {
        engine.reset();
        std::filesystem::remove_all(m_dir);
    }

    // Starts the engine the way the window does and clears what start-up wrote.
    void Start(const PackageSpec& spec = ShippedLikeSpec()) {
        packagePath = WritePackage(m_dir / "carrier.bin", spec);
        engine = std::make_unique<CTamblorEngine>(bus, ui);
        engine->OnInitDialog(packagePath);
    }

    // Brings the engine to a scanned device in the given mode, with the upgrade offered.
    void Connect(bool isp) {
        engine->OnDeviceReport(ModeReply(isp));
        if (!isp) engine->OnDeviceReport(VersionReply('V', 1, 0, 2));
        ui.Reset();
        bus.ClearWritten();
    }

    Report LastWritten() {
        auto written = bus.Written();
        EXPECT_FALSE(written.empty());
        return written.empty() ? Report{} : written.back();
    }

    // Answers chunks until the engine sends something that is not a chunk.
    int AcknowledgeChunks() {
        int chunks = 0;
        while (!bus.Written().empty() && !IsCommandReport(LastWritten())) {
            ++chunks;
            engine->OnDeviceReport(Report{});
        }
        return chunks;
    }

    FakeBus bus;
    RecordingUi ui;
    std::unique_ptr<CTamblorEngine> engine;
    std::filesystem::path packagePath;

  private:
    std::filesystem::path m_dir;
};

inline IspCommand CommandOf(const Report& r) { return static_cast<IspCommand>(r[4]); }

}  // namespace tamblor::test

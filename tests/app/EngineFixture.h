#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "TestDoubles.h"
#include "TestPackage.h"
#include "app/TamblorEngine.h"

namespace tamblor::test {

// An engine on a fake bus with one usable dock and a loaded package; tests play the dock by
// feeding replies to OnDeviceReport and reading what the engine wrote.
class EngineFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        // One flat folder per run of a test: a parameterised test's name holds a '/', and
        // other runs of the suite (another build, another checkout) may be going on alongside.
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(test->test_suite_name()) + "." + test->name();
        std::replace(name.begin(), name.end(), '/', '_');
        m_dir = std::filesystem::temp_directory_path() /
                ("tamblor-engine-" + name + "-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(m_dir);
        bus.interfaces = {FakeBus::Dock("dock0")};
    }
    void TearDown() override {
        engine.reset();
        std::filesystem::remove_all(m_dir);
    }

    // Starts the engine the way the window does.
    void Start(const PackageSpec& spec = ShippedLikeSpec()) {
        packagePath = WritePackage(m_dir / "carrier.bin", spec);
        engine = std::make_unique<CTamblorEngine>(bus, ui, readRetry, silence);
        engine->OnInitDialog(packagePath);
    }

    // For what the reader thread does: true once `done` holds, false after a generous bound
    // that only a broken engine reaches.
    static bool WaitUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    bool HasLine(const std::string& line) const {
        const auto lines = ui.Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    // Brings the engine to a scanned device in the given mode, with the upgrade offered.
    void Connect(bool isp) {
        engine->OnDeviceReport(ModeReply(isp));
        if (!isp) engine->OnDeviceReport(VersionReply('V', 1, 0, 2));
        ui.Reset();
        bus.ClearWritten();
    }

    // The dock's restart after IspEnter, in the usual order: the connected interface leaves,
    // the dock comes back under a new path, and the scan asks its mode.
    void Restart() {
        const auto path = engine->Link().g_devicePath;
        engine->OnDeviceChange({DeviceChangeKind::Removal, path});
        // Back on the port it left.
        auto back = FakeBus::Dock(path + "'");
        back.place = bus.interfaces.empty() ? std::string() : bus.interfaces.front().place;
        bus.interfaces = {back};
        engine->OnDeviceChange({DeviceChangeKind::Arrival, path + "'"});
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
    ReadRetryPolicy readRetry;
    SilencePolicy silence;
    std::unique_ptr<CTamblorEngine> engine;
    std::filesystem::path packagePath;

  private:
    std::filesystem::path m_dir;
};

inline IspCommand CommandOf(const Report& r) { return static_cast<IspCommand>(r[4]); }

}  // namespace tamblor::test

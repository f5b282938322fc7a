#include "HidrawRig.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <stdexcept>

#include "package/PackageWriter.h"
#include "package/SyntheticImages.h"

namespace tamblor::test {

void CRecordingUi::PostLogRecord(LogRecord record) {
    std::lock_guard lock(m_lock);
    if (!record.hasValue) m_lines.push_back(std::move(record.text));
}

void CRecordingUi::ClearLog() {
    std::lock_guard lock(m_lock);
    m_lines.clear();
}

void CRecordingUi::EnableUpgradeButton(bool enable) {
    std::lock_guard lock(m_lock);
    m_upgradeEnabled = enable;
}

std::vector<std::string> CRecordingUi::Lines() const {
    std::lock_guard lock(m_lock);
    return m_lines;
}

bool CRecordingUi::HasLine(const std::string& text) const {
    std::lock_guard lock(m_lock);
    return std::find(m_lines.begin(), m_lines.end(), text) != m_lines.end();
}

bool CRecordingUi::UpgradeEnabled() const {
    std::lock_guard lock(m_lock);
    return m_upgradeEnabled;
}

TestPackage::TestPackage(char selector, const std::string& pid, std::uint8_t flip) {
    static std::atomic<int> counter{0};
    directory = std::filesystem::temp_directory_path() /
                ("tamblor-hidraw-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(directory);
    path = directory / "carrier.bin";

    const auto full = MakeSyntheticImage(kSegChip3);
    chip3Image.assign(full.begin(), full.begin() + 1000);
    for (auto& byte : chip3Image) byte ^= flip;
    RecordFields fields;
    fields.selector = std::string(1, selector);
    fields.pid = pid;
    SegmentViews segments{};
    segments[kSegChip3] = chip3Image;
    const std::string carrier = "carrier of a test package\n";
    const std::span<const std::uint8_t> carrierBytes(
        reinterpret_cast<const std::uint8_t*>(carrier.data()), carrier.size());
    const PackageBuild build = BuildPackage(fields, segments, carrierBytes);
    if (!build.error.empty()) throw std::runtime_error(build.error);
    std::ofstream out(path, std::ios::binary);
    out.write(carrier.data(), static_cast<std::streamsize>(carrier.size()));
    out.write(reinterpret_cast<const char*>(build.bytes.data()),
              static_cast<std::streamsize>(build.bytes.size()));
}

TestPackage::~TestPackage() {
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

CHidrawRig::CHidrawRig(const DockConfig& dockConfig)
    : bus(claims.Path()), engine(bus, ui), dock(dockConfig) {
    bus.SetDeviceChangeSink([this](const DeviceChange& change) {
        if (m_started) m_changeResults.push_back(engine.OnDeviceChange(change));
    });
}

void CHidrawRig::Start(const std::filesystem::path& package) {
    pollfd watched{bus.DeviceChangeDescriptor(), POLLIN, 0};
    while (::poll(&watched, 1, 0) > 0) bus.PumpDeviceChanges();
    m_started = true;
    engine.OnInitDialog(package);
}

CHidrawRig::~CHidrawRig() {
    engine.OnDestroy();
    m_dockPeer.reset();
}

void CHidrawRig::PlugDock(const UsbHidDevice& device) {
    m_dockDevice = device;
    if (m_dockDevice.devpath.empty()) m_dockDevice.devpath = "1.4";
    m_dockNode = testbed.Plug(m_dockDevice);
    m_dockPeer =
        std::make_unique<CPtyDock>(dock, m_dockNode->master.Get(), m_dockNode->slave.Get());
}

void CHidrawRig::UnplugDock() {
    m_dockPeer.reset();
    if (m_dockNode) testbed.Unplug(*m_dockNode);
}

PluggedNode& CHidrawRig::PlugOther(const UsbHidDevice& device) {
    m_others.push_back(testbed.Plug(device));
    return *m_others.back();
}

void CHidrawRig::Unplug(PluggedNode& node) { testbed.Unplug(node); }

bool CHidrawRig::PumpOnce(std::chrono::milliseconds wait) {
    const bool changed = PumpChanges(wait);
    return PumpDockEffects() || changed;
}

bool CHidrawRig::PumpChanges(std::chrono::milliseconds wait) {
    pollfd watched{bus.DeviceChangeDescriptor(), POLLIN, 0};
    if (::poll(&watched, 1, static_cast<int>(wait.count())) <= 0) return false;
    bus.PumpDeviceChanges();
    return true;
}

bool CHidrawRig::PumpDockEffects() {
    bool happened = false;
    std::deque<DockEffect> effects;
    {
        std::lock_guard lock(dock.lock);
        effects.swap(dock.effects);
    }
    for (const DockEffect& effect : effects) {
        happened = true;
        UnplugDock();
        // A restart brings the same device back on a new node, in the mode the logic is in.
        if (std::holds_alternative<DockActions::Restart>(effect)) PlugDock(m_dockDevice);
    }
    return happened;
}

bool CHidrawRig::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        PumpOnce(std::chrono::milliseconds(5));
    }
    return true;
}

void CHidrawRig::Settle() {
    int quiet = 0;
    while (quiet < 10) quiet = PumpOnce(std::chrono::milliseconds(10)) ? 0 : quiet + 1;
}

}  // namespace tamblor::test

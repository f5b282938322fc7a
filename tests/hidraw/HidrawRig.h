#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "HidrawBus.h"
#include "HidrawTestbed.h"
#include "PtyDock.h"
#include "app/TamblorEngine.h"
#include "app/UiPort.h"

namespace tamblor::test {

// Collects what the engine tells the window.
class CRecordingUi final : public IUiPort {
  public:
    void PostLogRecord(LogRecord record) override;
    void ClearLog() override;
    void SetProgressPosition(int) override {}
    void SetFillColor(std::uint32_t, bool) override {}
    void EnableUpgradeButton(bool enable) override;
    void SetVersionText(std::string) override {}

    // Lines without a progress value, in order; ClearLog empties them.
    std::vector<std::string> Lines() const;
    bool HasLine(const std::string& text) const;
    bool UpgradeEnabled() const;

  private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
    bool m_upgradeEnabled = false;
};

// A package file of `selector` with a small Chip 3 image (17 chunks), in a fresh temporary
// directory that the object removes.
// `flip` is XORed into every byte of the image, so two packages can carry different bytes.
struct TestPackage {
    explicit TestPackage(char selector = '1', const std::string& pid = "f505",
                         std::uint8_t flip = 0);
    ~TestPackage();
    std::filesystem::path directory;
    std::filesystem::path path;
    std::vector<std::uint8_t> chip3Image;
};

// The tool's engine over the real hidraw bus in a umockdev testbed, with the dock played on
// the far end of its node. The test's thread pumps device changes into the engine, as the
// command line's loop does, and carries out the dock's restarts and unplugs.
class CHidrawRig {
  public:
    explicit CHidrawRig(const DockConfig& dock = {});
    ~CHidrawRig();

    // The dock, answering through its logic; identity and descriptor from `device`. It keeps
    // its port (devpath "1.4" unless `device` names one) across restarts.
    void PlugDock(const UsbHidDevice& device = {});
    void UnplugDock();
    // Any other device; it never answers.
    PluggedNode& PlugOther(const UsbHidDevice& device);
    void Unplug(PluggedNode& node);

    // The tool starts with whatever is plugged in now: changes announced so far are dropped,
    // as they happened before the tool ran; then the engine's start-up runs.
    void Start(const std::filesystem::path& package);

    // Pumps device changes and dock effects until `done` holds; false after `timeout`.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Pumps until nothing has happened for a short while.
    void Settle();
    // The two halves of a pump: the tool's device changes (waiting up to `wait` for one), and
    // the dock's restarts and unplugs. True when something happened.
    bool PumpChanges(std::chrono::milliseconds wait);
    bool PumpDockEffects();

    const std::string& DockNode() const { return m_dockNode->devnode; }
    const std::string& DockPlace() const { return m_dockNode->place; }
    std::vector<std::pair<int, bool>> DockDescriptors() const { return DescriptorsOn(*m_dockNode); }
    // Results of OnDeviceChange for every change delivered, in order.
    std::vector<int> ChangeResults() const { return m_changeResults; }

    CHidrawTestbed testbed;
    CClaimFolder claims;
    CHidrawBus bus;
    CRecordingUi ui;
    CTamblorEngine engine;
    DockSide dock;

  private:
    bool PumpOnce(std::chrono::milliseconds wait);

    UsbHidDevice m_dockDevice;
    std::unique_ptr<PluggedNode> m_dockNode;
    std::unique_ptr<CPtyDock> m_dockPeer;
    std::vector<std::unique_ptr<PluggedNode>> m_others;
    std::vector<int> m_changeResults;
    bool m_started = false;
};

}  // namespace tamblor::test

#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

#include "app/LogModel.h"
#include "app/UiPort.h"
#include "hid/HidPort.h"

namespace tamblor {

class CTamblorEngine;

// The command line's stand-in for the window: UI effects and device changes are queued by any
// thread and carried out, in order, by the thread that runs the session's loop.
class CCliSession : public IUiPort {
  public:
    CCliSession(std::ostream& out, bool drawProgressBar);

    void PostLogRecord(LogRecord record) override;
    void ClearLog() override;
    void SetProgressPosition(int position) override;
    void SetFillColor(std::uint32_t argb, bool repaint) override;
    void EnableUpgradeButton(bool enable) override;
    void SetVersionText(std::string text) override;

    // Device changes reach the engine on the loop's thread, as they reach the window's.
    void Attach(CTamblorEngine& engine) { m_engine = &engine; }
    void PostDeviceChange(const DeviceChange& change);
    // Any work for the loop's thread, queued from any thread (a run on several docks queues
    // each dock's effects here).
    void PostWork(std::function<void()> work) { Post(std::move(work)); }
    // Nothing queued for the loop (any thread).
    bool QueueEmpty() const;

    // Carries out queued work until `settled()` holds with nothing queued, or `timeout` passes
    // without any queued work. `descriptor` (or -1) is a device-change descriptor of the bus to
    // watch, with `pump` called when it is readable. Returns false on the timeout or a stop.
    bool Run(const std::function<bool()>& settled, std::chrono::milliseconds timeout,
             int descriptor = -1, const std::function<void()>& pump = {});

    // A descriptor the loop watches besides the device changes' one (the stop signals' pipe).
    // When it is readable `onReadable` runs on the loop's thread; when that returns true the
    // loop ends at once, and every later Run() returns false straight away.
    void WatchStop(int descriptor, std::function<bool()> onReadable);
    bool Stopped() const { return m_stopped; }

    // A line of the tool's own on `stream` (not the log), with the progress bar out of its way.
    void ShowNote(std::ostream& stream, const std::string& text);

    bool UpgradeEnabled() const { return m_upgradeEnabled; }
    const std::vector<std::string>& Lines() const { return m_lines; }
    int Position() const { return m_position; }
    std::uint32_t FillColor() const { return m_fill; }

  private:
    void Post(std::function<void()> work);
    void ShowLine(const std::string& text);
    void DrawBar();
    void ClearBar();

    std::ostream& m_out;
    const bool m_drawBar;
    CTamblorEngine* m_engine = nullptr;
    int m_stopDescriptor = -1;
    std::function<bool()> m_onStop;
    bool m_stopped = false;

    mutable std::mutex m_queueLock;
    std::condition_variable m_queued;
    std::deque<std::function<void()>> m_queue;

    // Only the loop's thread touches these.
    CLogModel m_log;
    std::vector<std::string> m_lines;
    bool m_barShown = false;
    bool m_upgradeEnabled = false;
    int m_position = 0;
    std::uint32_t m_fill = kFillGold;
};

}  // namespace tamblor

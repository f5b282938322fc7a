#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "app/LogModel.h"
#include "app/UiPort.h"

namespace tamblor {

class CCliSession;
class IFleetOutput;

// One dock's stand-in for the window in a run on several docks: its engine's effects are
// queued on the shared loop and shown there, under the dock's place.
class CDockUi final : public IUiPort {
  public:
    CDockUi(CCliSession& loop, IFleetOutput& output, std::string place);

    void PostLogRecord(LogRecord record) override;
    void ClearLog() override;
    void SetProgressPosition(int position) override;
    void SetFillColor(std::uint32_t argb, bool repaint) override;
    void EnableUpgradeButton(bool enable) override;
    void SetVersionText(std::string text) override;

    // The loop's thread only.
    bool UpgradeEnabled() const { return m_enabled; }
    const std::vector<std::string>& Lines() const { return m_lines; }
    // When the dock's engine last told anything.
    std::chrono::steady_clock::time_point LastActivity() const { return m_lastActivity; }
    // While it is set, nothing more reaches the output (the dock's verdict has been given).
    void Silence() { m_silent = true; }

  private:
    void Touch() { m_lastActivity = std::chrono::steady_clock::now(); }
    void ShowPosition(int position);

    CCliSession& m_loop;
    IFleetOutput& m_output;
    const std::string m_place;
    CLogModel m_log;
    std::vector<std::string> m_lines;
    bool m_enabled = false;
    bool m_silent = false;
    int m_position = -1;
    std::chrono::steady_clock::time_point m_lastActivity = std::chrono::steady_clock::now();
};

}  // namespace tamblor

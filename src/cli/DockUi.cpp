#include "DockUi.h"

#include <algorithm>

#include "CliSession.h"
#include "FleetOutput.h"

namespace tamblor {

CDockUi::CDockUi(CCliSession& loop, IFleetOutput& output, std::string place)
    : m_loop(loop), m_output(output), m_place(std::move(place)) {}

void CDockUi::PostLogRecord(LogRecord record) {
    m_loop.PostWork([this, record = std::move(record)] {
        Touch();
        const auto effect = m_log.OnLogRecord(record);
        if (effect.moveBar) {
            ShowPosition(effect.barValue);
        } else if (effect.textChanged) {
            m_lines.push_back(record.text);
            if (!m_silent) m_output.Log(m_place, record.text);
        }
    });
}

void CDockUi::ClearLog() {
    m_loop.PostWork([this] { m_log.ClearLog(); });
}

void CDockUi::SetProgressPosition(int position) {
    m_loop.PostWork([this, position] {
        Touch();
        ShowPosition(position);
    });
}

void CDockUi::ShowPosition(int position) {
    position = std::clamp(position, 0, 100);
    if (position == m_position) return;
    m_position = position;
    if (!m_silent) m_output.Progress(m_place, position);
}

void CDockUi::SetFillColor(std::uint32_t, bool) {}

void CDockUi::EnableUpgradeButton(bool enable) {
    m_loop.PostWork([this, enable] {
        Touch();
        m_enabled = enable;
    });
}

void CDockUi::SetVersionText(std::string) {}

}  // namespace tamblor

#include "LogModel.h"

namespace tamblor {

CLogModel::Effect CLogModel::OnLogRecord(const LogRecord& record) {
    Effect effect;
    if (!m_logText.empty()) {
        if (record.hasValue) {
            // Once the log holds two lines, progress only moves the bar.
            if (m_logBreakCount != 0) {
                effect.moveBar = true;
                effect.barValue = record.value;
                return effect;
            }
            m_logText += "\r\n";
            ++m_logBreakCount;
        } else if (m_logBreakCount < kMaxBreaks) {
            m_logText += "\r\n";
            ++m_logBreakCount;
        } else {
            // Drop the oldest line: cut through the first line feed at or after the seventh
            // character, so a very short first line goes together with the one after it.
            m_logText += "\r\n";
            const auto cut = m_logText.find('\n', 6);
            if (cut != std::string::npos) m_logText.erase(0, cut + 1);
        }
    }
    m_logText += record.text;
    effect.textChanged = true;
    return effect;
}

void CLogModel::ClearLog() {
    m_logText.clear();
    m_logBreakCount = 0;
}

}  // namespace tamblor

#pragma once

#include <cstdint>
#include <string>

#include "UiPort.h"

namespace tamblor {

// The operator's log as the window keeps it: the whole text, capped at 500 line separators,
// and the rule that turns a progress record into a bar movement or a line.
class CLogModel {
  public:
    static constexpr std::uint16_t kMaxBreaks = 500;

    struct Effect {
        bool textChanged = false;  // the text grew (or was trimmed): show it, caret at the end
        bool moveBar = false;      // the record only moves the progress bar
        std::uint16_t barValue = 0;
    };

    Effect OnLogRecord(const LogRecord& record);
    void ClearLog();

    const std::string& Text() const { return m_logText; }
    std::uint16_t BreakCount() const { return m_logBreakCount; }

  private:
    std::string m_logText;
    std::uint16_t m_logBreakCount = 0;
};

}  // namespace tamblor

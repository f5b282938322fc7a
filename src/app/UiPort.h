#pragma once

#include <cstdint>
#include <string>

namespace tamblor {

// One line for the operator's log, optionally carrying a progress value.
struct LogRecord {
    std::string text;
    std::uint16_t value = 0;
    bool hasValue = false;
};

inline constexpr std::uint32_t kFillGold = 0xFFFFD700;
inline constexpr std::uint32_t kFillGreen = 0xFF008000;

// What the engine tells the window. Every call may come from any thread and must return
// without waiting for the user-interface thread: implementations post, in call order.
class IUiPort {
  public:
    virtual ~IUiPort() = default;
    virtual void PostLogRecord(LogRecord record) = 0;
    virtual void ClearLog() = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void SetFillColor(std::uint32_t argb, bool repaint) = 0;
    virtual void EnableUpgradeButton(bool enable) = 0;
    virtual void SetVersionText(std::string text) = 0;
};

}  // namespace tamblor

#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "UiPort.h"

namespace tamblor {

// A UI port that keeps everything: the step runner reads the log from it, and so do tests.
class RecordingUi : public IUiPort {
  public:
    void PostLogRecord(LogRecord record) override {
        std::lock_guard lock(m_lock);
        records.push_back(std::move(record));
    }
    void ClearLog() override {
        std::lock_guard lock(m_lock);
        records.push_back({"<clear>", 0, false});
    }
    void SetProgressPosition(int position) override {
        std::lock_guard lock(m_lock);
        positions.push_back(position);
    }
    void SetFillColor(std::uint32_t argb, bool) override {
        std::lock_guard lock(m_lock);
        fills.push_back(argb);
    }
    void EnableUpgradeButton(bool enable) override {
        std::lock_guard lock(m_lock);
        upgradeEnabled = enable;
    }
    void SetVersionText(std::string text) override {
        std::lock_guard lock(m_lock);
        versionText = std::move(text);
    }

    // The plain lines (no progress value), in order.
    std::vector<std::string> Lines() const {
        std::lock_guard lock(m_lock);
        std::vector<std::string> lines;
        for (const auto& r : records)
            if (!r.hasValue) lines.push_back(r.text);
        return lines;
    }
    void Reset() {
        std::lock_guard lock(m_lock);
        records.clear();
        positions.clear();
        fills.clear();
    }

    mutable std::mutex m_lock;
    std::vector<LogRecord> records;
    std::vector<int> positions;
    std::vector<std::uint32_t> fills;
    bool upgradeEnabled = false;
    std::string versionText;
};

}  // namespace tamblor

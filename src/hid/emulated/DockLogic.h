#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "DockConfig.h"
#include "DockReport.h"
#include "isp/IspReport.h"

namespace tamblor {

// The reports a dock sends in answer to one host report, in order. Fixed capacity, so
// answering a chunk allocates nothing.
class DockReplies {
  public:
    static constexpr std::size_t kCapacity = 2;

    void push_back(const Report& report) { m_reports[m_count++] = report; }
    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    const Report& operator[](std::size_t i) const { return m_reports[i]; }
    const Report* begin() const { return m_reports.data(); }
    const Report* end() const { return m_reports.data() + m_count; }

  private:
    std::array<Report, kCapacity> m_reports{};
    std::size_t m_count = 0;
};

struct DockActions {
    // The dock leaves the bus and comes back, in its boot loader or in its application.
    struct Restart {
        bool toIspMode = false;
    };
    // The dock leaves the bus for good.
    struct Unplug {};

    DockReplies replies;
    std::variant<std::monostate, Restart, Unplug> effect;
};

// The dock's side of the ISP protocol, with no threads and no clock: one host report in, the
// answers and what happens to the dock out. It keeps every image it is sent and notes, as
// readable lines, everything the host does that a real dock could not rely on.
class CDockLogic {
  public:
    explicit CDockLogic(DockConfig config = {});

    DockActions OnHostReport(std::span<const std::uint8_t> report);

    // Power cycle (a cable pulled and put back): the stored images stay, any erase or stream
    // in progress is forgotten.
    void Reboot();

    bool IsIspMode() const { return m_ispMode; }
    const DockConfig& Config() const { return m_config; }
    const std::array<std::uint8_t, 4>& Version() const { return m_version; }

    std::span<const std::uint8_t> Chip1Image() const { return m_chip1.bytes; }
    std::span<const std::uint8_t> Chip2File(std::size_t index) const {
        return m_chip2.at(index).bytes;
    }
    std::span<const std::uint8_t> Chip3Image() const { return m_chip3.bytes; }
    const std::vector<std::string>& Violations() const { return m_violations; }
    DockReport Report() const;

  private:
    // One image as the dock stores it, with the sequence tracking of the stream filling it.
    struct StoredImage {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::uint16_t sum = 0;
        std::uint32_t chunks = 0;
        std::uint16_t lastSequence = 0;

        void Clear();
        void Append(std::span<const std::uint8_t> data);
    };

    enum class Chip1Phase { Idle, Prepared, Erasing, Writing };

    void OnChunk(std::span<const std::uint8_t> report, DockActions& actions);
    void OnCommand(std::span<const std::uint8_t> report, DockActions& actions);
    StoredImage* StreamForChunk(std::uint16_t sequence);
    StoredImage* NextChip2File();
    void CheckChip3Blocks();
    void Violate(std::string text);

    DockConfig m_config;
    bool m_ispMode;
    std::array<std::uint8_t, 4> m_version;
    std::uint64_t m_totalChunks = 0;

    StoredImage m_chip3{"Chip 3", {}};
    bool m_chip3Erased = false;
    bool m_chip3BlocksPending = false;
    std::uint8_t m_chip3Blocks = 0;

    StoredImage m_chip1{"Chip 1", {}};
    Chip1Phase m_chip1Phase = Chip1Phase::Idle;
    unsigned m_chip1BusyLeft = 0;

    std::array<StoredImage, 2> m_chip2{{{"Chip 2 file 1", {}}, {"Chip 2 file 2", {}}}};
    int m_chip2File = 0;  // file being written, 0 before the first

    std::vector<std::string> m_violations;
};

}  // namespace tamblor

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "dock/DockConfig.h"
#include "dock/DockReport.h"
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
// readable lines, everything the host does that a real dock could not rely on. Given what it
// should receive (DockConfig::expected), it also judges every stored byte against the package.
class CDockLogic {
  public:
    explicit CDockLogic(DockConfig config = {});

    DockActions OnHostReport(std::span<const std::uint8_t> report);

    // A transport that sees when the host takes each reply off the bus calls this once, before
    // the first report, and then OnReplyRead for every reply the host reads and OnRepliesLost
    // when the replies not yet read vanish (the dock left the bus). From then on a host report
    // written while the answer to the previous one is still unread is a violation.
    void TrackReplyReads() { m_trackReplyReads = true; }
    void OnReplyRead();
    void OnRepliesLost();

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
    // The first kMaxViolationsNoted violations; the report counts the others.
    const std::vector<std::string>& Violations() const { return m_violations; }
    static constexpr std::size_t kMaxViolationsNoted = 100;
    DockReport Report() const;

  private:
    // A chunk shorter than the cutting rule allows; a fault unless it was its stream's last.
    struct ShortChunk {
        std::uint16_t sequence;
        std::uint8_t length;
        std::uint32_t allowed;
    };

    // One image as the dock stores it, with the sequence tracking of the stream filling it.
    struct StoredImage {
        explicit StoredImage(const char* imageName, bool isPaged = false)
            : name(imageName), paged(isPaged) {}

        const char* name;
        bool paged;
        std::vector<std::uint8_t> bytes;
        std::uint16_t sum = 0;
        std::uint32_t chunks = 0;
        std::uint16_t lastSequence = 0;
        bool written = false;   // erased or written since the dock was made
        bool verified = false;  // its sum was asked for since it last changed
        std::optional<ShortChunk> shortChunk;

        void Clear();
        void Erase();
        void Append(std::span<const std::uint8_t> data);
    };

    enum class Chip1Phase { Idle, Prepared, Erasing, Writing };

    void OnChunk(std::span<const std::uint8_t> report, DockActions& actions);
    void OnCommand(std::span<const std::uint8_t> report, DockActions& actions);
    void CheckUnnamedBytes(std::span<const std::uint8_t> report, std::string_view name,
                           std::size_t payloadEnd);
    void StoreChunk(StoredImage& image, std::span<const std::uint8_t> report,
                    std::uint16_t sequence, std::uint8_t length);
    void CheckChunkTail(std::span<const std::uint8_t> report, const char* stream,
                        std::uint16_t sequence, std::uint8_t length);
    void CheckExitVersion(std::span<const std::uint8_t> report);
    void CheckChunkLength(StoredImage& image, std::uint16_t sequence, std::uint8_t length);
    void CheckAnswerRead(std::span<const std::uint8_t> report);
    StoredImage* StreamForChunk(std::uint16_t sequence, std::uint8_t length);
    StoredImage* Chip2FileForChunk(std::uint16_t sequence, std::uint8_t length);
    StoredImage* NextChip2File();
    const std::vector<std::uint8_t>* Expected(const StoredImage& image) const;
    void CheckChip3Blocks();
    void Violate(std::string text);

    DockConfig m_config;
    DueChips m_due;
    bool m_ispMode;
    std::array<std::uint8_t, 4> m_version;
    std::uint64_t m_totalChunks = 0;

    StoredImage m_chip3{"Chip 3"};
    bool m_chip3Erased = false;
    bool m_chip3BlocksPending = false;
    std::uint8_t m_chip3Blocks = 0;

    StoredImage m_chip1{"Chip 1", true};
    Chip1Phase m_chip1Phase = Chip1Phase::Idle;
    bool m_chip1SumTaken = false;  // the last Chip 1 command was Chip1Checksum
    unsigned m_chip1BusyLeft = 0;

    std::array<StoredImage, 2> m_chip2{StoredImage{"Chip 2 file 1"}, StoredImage{"Chip 2 file 2"}};
    int m_chip2File = 0;  // file being written, 0 before the first

    // Replies are read in the order they were queued, so the answer to the last answered
    // report is read once the reads reach its place in the queue.
    bool m_trackReplyReads = false;
    std::uint64_t m_repliesQueued = 0;
    std::uint64_t m_repliesRead = 0;
    std::uint64_t m_answerPlace = 0;  // 1-based place of the latest answer; 0: none yet
    tamblor::Report m_answered{};     // the report it answers

    std::vector<std::string> m_violations;
    std::uint64_t m_violationsNotNoted = 0;
};

}  // namespace tamblor

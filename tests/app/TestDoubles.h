#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/RecordingUi.h"
#include "app/UiPort.h"
#include "hid/HidPort.h"
#include "isp/IspReport.h"

namespace tamblor::test {

// What a read of the fake bus gives: a report, nothing (0 bytes) or a failure.
struct ReadResult {
    enum class Kind { Report, Empty, Failure };
    Kind kind = Kind::Failure;
    Report report{};
    static ReadResult Of(const Report& r) { return {Kind::Report, r}; }
};

// A HID bus whose interfaces a test lays out; writes are recorded. Reads take what the test
// queued and otherwise block until cancelled, so most tests feed replies straight into
// OnDeviceReport.
class FakeBus : public IHidBus {
  public:
    class Hold final : public IDockClaim {
      public:
        explicit Hold(std::shared_ptr<std::atomic<int>> count) : m_count(std::move(count)) {
            ++*m_count;
        }
        ~Hold() override { --*m_count; }

      private:
        std::shared_ptr<std::atomic<int>> m_count;
    };
    // Atomic: the silence watch may let a place go on its own thread.
    std::shared_ptr<std::atomic<int>> holds = std::make_shared<std::atomic<int>>(0);

    struct Shared {
        std::mutex lock;
        std::condition_variable changed;
        std::vector<Report> written;
        std::uint32_t writeError = 0;
        int readsOpened = 0;
        int cancelled = 0;
        int reads = 0;
        std::deque<ReadResult> queued;
        // Given to every read once the queue is empty, instead of blocking.
        std::optional<ReadResult> always;
    };

    std::vector<HidInterfaceInfo> EnumerateInterfaces() override { return interfaces; }
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string&) override {
        if (failRead) return nullptr;
        std::lock_guard lock(shared.lock);
        ++shared.readsOpened;
        return std::make_unique<BlockingRead>(shared);
    }
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string&) override {
        if (failWrite) return nullptr;
        return std::make_unique<RecordingWrite>(shared);
    }
    void SetDeviceChangeSink(DeviceChangeSink) override {}
    std::string OpenFailureHint() const override { return hint; }
    ClaimResult ClaimPlace(const HidInterfaceInfo& info) override {
        claimsAsked.push_back(info.place);
        ClaimResult result{claimOutcome, nullptr, claimDetail};
        if (claimOutcome == ClaimOutcome::Granted) result.hold = std::make_unique<Hold>(holds);
        return result;
    }
    // Holds of granted places the engine still keeps.
    int HoldsKept() const { return holds->load(); }

    std::vector<Report> Written() {
        std::lock_guard lock(shared.lock);
        return shared.written;
    }
    void ClearWritten() {
        std::lock_guard lock(shared.lock);
        shared.written.clear();
    }
    void QueueRead(ReadResult result) {
        std::lock_guard lock(shared.lock);
        shared.queued.push_back(result);
        shared.changed.notify_all();
    }
    // Every read that finds the queue empty gets `result` at once; nullopt: it blocks again.
    void AnswerEveryRead(std::optional<ReadResult> result) {
        std::lock_guard lock(shared.lock);
        shared.always = result;
        shared.changed.notify_all();
    }
    int Reads() {
        std::lock_guard lock(shared.lock);
        return shared.reads;
    }

    static HidInterfaceInfo Dock(std::string path, std::uint16_t pid = 0xF505,
                                 std::uint16_t version = 0x0100, std::uint16_t usagePage = 0xFF00,
                                 std::uint16_t usage = 2, std::uint16_t vid = 0x10C4,
                                 std::uint16_t reportLength = 64) {
        return {std::move(path), HidAttributes{vid, pid, version},
                HidCaps{usagePage, usage, reportLength, reportLength}};
    }

    std::vector<HidInterfaceInfo> interfaces;
    // What ClaimPlace answers, and the places it was asked for.
    ClaimOutcome claimOutcome = ClaimOutcome::Granted;
    std::string claimDetail;
    std::vector<std::string> claimsAsked;
    bool failRead = false;
    bool failWrite = false;
    std::string hint;
    Shared shared;

  private:
    class BlockingRead : public IHidReadChannel {
      public:
        explicit BlockingRead(Shared& s) : m_shared(s) {}
        int ReadReport(std::span<std::uint8_t> buffer) override {
            std::unique_lock lock(m_shared.lock);
            ++m_shared.reads;
            m_shared.changed.notify_all();
            m_shared.changed.wait(
                lock, [&] { return m_cancelled || !m_shared.queued.empty() || m_shared.always; });
            if (m_cancelled) return -1;
            ReadResult result;
            if (!m_shared.queued.empty()) {
                result = m_shared.queued.front();
                m_shared.queued.pop_front();
            } else {
                result = *m_shared.always;
            }
            if (result.kind == ReadResult::Kind::Failure) return -1;
            if (result.kind == ReadResult::Kind::Empty) return 0;
            const auto length = std::min(buffer.size(), result.report.size());
            std::copy_n(result.report.begin(), length, buffer.begin());
            return static_cast<int>(length);
        }
        void Cancel() override {
            std::lock_guard lock(m_shared.lock);
            m_cancelled = true;
            ++m_shared.cancelled;
            m_shared.changed.notify_all();
        }

      private:
        Shared& m_shared;
        bool m_cancelled = false;  // guarded by m_shared.lock
    };

    class RecordingWrite : public IHidWriteChannel {
      public:
        explicit RecordingWrite(Shared& s) : m_shared(s) {}
        std::uint32_t WriteReport(std::span<const std::uint8_t> report) override {
            std::lock_guard lock(m_shared.lock);
            if (m_shared.writeError != 0) return m_shared.writeError;
            Report copy{};
            std::copy(report.begin(), report.end(), copy.begin());
            m_shared.written.push_back(copy);
            return 0;
        }

      private:
        Shared& m_shared;
    };
};

// Replies as the dock sends them.
inline Report ModeReply(bool isp) {
    Report r{};
    r[1] = r[4] = kReplyMode;
    r[2] = kMarker0;
    r[3] = kMarker1;
    r[5] = isp ? 1 : 0;
    return r;
}

inline Report VersionReply(std::uint8_t letter, std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    Report r{};
    r[1] = r[4] = kReplyVersion;
    r[2] = kMarker0;
    r[3] = kMarker1;
    r[5] = letter;
    r[6] = a;
    r[7] = b;
    r[8] = c;
    return r;
}

inline Report StatusReply(std::uint8_t status) {
    Report r{};
    r[5] = status;
    return r;
}

inline Report ChecksumReply(std::uint16_t sum) {
    Report r{};
    r[5] = static_cast<std::uint8_t>(sum >> 8);
    r[6] = static_cast<std::uint8_t>(sum);
    return r;
}

}  // namespace tamblor::test

#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>

namespace tamblor {

// Standard output or error as a stream whose writes never wait for the reader: the bytes are
// queued and a thread of its own writes them to the descriptor. A reader that stops reading (a
// FIFO opened and left, a pager, Ctrl-S on a terminal) must not freeze the loop that drives the
// docks and takes the stop signals. A reader that goes away (EPIPE) ends the writing, not the
// tool. Beyond `limit` queued bytes whole lines are dropped, and counted, until the reader
// catches up.
class CQueuedOutput {
  public:
    static constexpr std::size_t kDefaultLimit = std::size_t{32} << 20;

    explicit CQueuedOutput(int descriptor, std::size_t limit = kDefaultLimit);
    // Never waits for the reader: a writer still blocked is left to end with the process.
    ~CQueuedOutput();
    CQueuedOutput(const CQueuedOutput&) = delete;
    CQueuedOutput& operator=(const CQueuedOutput&) = delete;

    std::ostream& Stream() { return m_stream; }

    // Waits until every queued byte is written, the writing failed, or `bound` passed (none:
    // no bound). True when every byte given to the stream reached the descriptor.
    bool Drain(std::optional<std::chrono::milliseconds> bound);

    // Nothing is left to write: every byte given was written or dropped, or the writing failed.
    bool Idle() const;

    // Bytes given to the stream and not written: dropped beyond the limit, left when the
    // writing failed, or still waiting for the reader.
    std::size_t Unwritten() const;
    // The writing failed (the reader went away, or the descriptor refused): its errno, or 0.
    int Failure() const;

    struct State;

  private:
    class Buffer;
    std::shared_ptr<State> m_state;
    std::unique_ptr<Buffer> m_buffer;
    std::ostream m_stream;
};

}  // namespace tamblor

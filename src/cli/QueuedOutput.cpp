#include "QueuedOutput.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <streambuf>
#include <string>
#include <string_view>
#include <thread>

namespace tamblor {

struct CQueuedOutput::State {
    const int descriptor;
    const std::size_t limit;
    mutable std::mutex lock;
    std::condition_variable changed;
    std::string queue;
    // The front of the queue the thread may take: up to the end of the last whole line, or to
    // where the stream was flushed (a progress bar redrawn in place ends no line).
    std::size_t ready = 0;
    std::size_t writing = 0;  // bytes of the chunk the thread took from the queue
    bool lineOpen = false;    // the last byte kept ended no line
    bool dropping = false;    // the rest of the current line is being dropped
    bool closing = false;
    int failure = 0;
    std::size_t lost = 0;

    State(int fd, std::size_t max) : descriptor(fd), limit(max) {}

    bool Idle() const { return (queue.empty() && writing == 0) || failure != 0; }

    void Append(std::string_view bytes) {
        std::lock_guard guard(lock);
        if (failure != 0) {
            lost += bytes.size();
            return;
        }
        while (!bytes.empty()) {
            const auto newline = bytes.find('\n');
            const std::size_t line = newline == std::string_view::npos ? bytes.size() : newline + 1;
            // A line is kept or dropped whole: a reader of JSON Lines never meets half of one.
            if (dropping || (!lineOpen && queue.size() + writing + line > limit)) {
                lost += line;
                dropping = newline == std::string_view::npos;
            } else {
                queue.append(bytes.substr(0, line));
                lineOpen = newline == std::string_view::npos;
                if (!lineOpen) ready = queue.size();
            }
            bytes.remove_prefix(line);
        }
        changed.notify_all();
    }

    // Writes `chunk` in pieces of whole lines, each of at most PIPE_BUF bytes where its lines
    // allow: a pipe takes such a write whole or not at all, so a reader left behind when the
    // tool ends never finds half a line. The errno that ended it, or 0; `unwritten` is what was
    // left.
    int WriteLines(std::string_view chunk, std::size_t& unwritten) const {
        while (!chunk.empty()) {
            std::size_t piece = chunk.size();
            if (piece > PIPE_BUF) {
                auto end = chunk.rfind('\n', PIPE_BUF - 1);
                // A line longer than that goes whole, at least.
                if (end == std::string_view::npos) end = chunk.find('\n');
                if (end != std::string_view::npos) piece = end + 1;
            }
            std::size_t left = 0;
            if (const int error = WriteAll(chunk.substr(0, piece), left); error != 0) {
                unwritten = left + chunk.size() - piece;
                return error;
            }
            chunk.remove_prefix(piece);
        }
        return 0;
    }

    // Writes `chunk` whole; the errno that ended it, or 0. `unwritten` is what was left.
    int WriteAll(std::string_view chunk, std::size_t& unwritten) const {
        while (!chunk.empty()) {
            const ssize_t n = ::write(descriptor, chunk.data(), chunk.size());
            if (n >= 0) {
                chunk.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                // Someone else made the descriptor non-blocking: wait for room, as a blocking
                // write would.
                pollfd room{descriptor, POLLOUT, 0};
                ::poll(&room, 1, -1);
                continue;
            }
            unwritten = chunk.size();
            return errno;
        }
        return 0;
    }

    void Run() {
        std::unique_lock guard(lock);
        for (;;) {
            // The line still being given is held back until it ends, or the stream is flushed,
            // or the writing is ending.
            changed.wait(guard, [this] { return ready > 0 || closing; });
            if (queue.empty()) return;
            std::string chunk;
            if (ready > 0 && ready < queue.size()) {
                chunk.assign(queue, 0, ready);
                queue.erase(0, ready);
            } else {
                chunk.swap(queue);
            }
            ready = 0;
            writing = chunk.size();
            guard.unlock();
            std::size_t unwritten = 0;
            const int error = WriteLines(chunk, unwritten);
            guard.lock();
            writing = 0;
            if (error != 0) {
                failure = error;
                lost += unwritten + queue.size();
                queue.clear();
                changed.notify_all();
                return;
            }
            changed.notify_all();
        }
    }
};

class CQueuedOutput::Buffer : public std::streambuf {
  public:
    explicit Buffer(State& state) : m_state(state) {}

  protected:
    int_type overflow(int_type c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        m_state.Append(std::string_view(&byte, 1));
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        m_state.Append(std::string_view(s, static_cast<std::size_t>(n)));
        return n;
    }
    // A flush hands over what was written so far, nothing more; the stream stays good after a
    // failed write, so that what follows is still counted as not written.
    int sync() override {
        std::lock_guard guard(m_state.lock);
        m_state.ready = m_state.queue.size();
        m_state.changed.notify_all();
        return 0;
    }

  private:
    State& m_state;
};

CQueuedOutput::CQueuedOutput(int descriptor, std::size_t limit)
    : m_state(std::make_shared<State>(descriptor, limit)),
      m_buffer(std::make_unique<Buffer>(*m_state)),
      m_stream(m_buffer.get()) {
    // The writer takes no signal: the stop signals belong to the loop's thread, and a SIGPIPE
    // raised by its own write stays pending on it while the write fails with EPIPE.
    sigset_t all, previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    std::thread writer([state = m_state] { state->Run(); });
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    // It owns its share of the state: a writer blocked on a reader that never reads must not
    // hold up the tool's end.
    writer.detach();
}

CQueuedOutput::~CQueuedOutput() {
    std::lock_guard guard(m_state->lock);
    m_state->closing = true;
    m_state->changed.notify_all();
}

bool CQueuedOutput::Drain(std::optional<std::chrono::milliseconds> bound) {
    std::unique_lock guard(m_state->lock);
    // Whatever was given is owed to the reader now, a line left open too.
    m_state->ready = m_state->queue.size();
    m_state->changed.notify_all();
    const auto idle = [this] { return m_state->Idle(); };
    if (bound) {
        m_state->changed.wait_for(guard, *bound, idle);
    } else {
        m_state->changed.wait(guard, idle);
    }
    return m_state->queue.empty() && m_state->writing == 0 && m_state->failure == 0 &&
           m_state->lost == 0;
}

bool CQueuedOutput::Idle() const {
    std::lock_guard guard(m_state->lock);
    return m_state->Idle();
}

std::size_t CQueuedOutput::Unwritten() const {
    std::lock_guard guard(m_state->lock);
    return m_state->lost + m_state->queue.size() + m_state->writing;
}

int CQueuedOutput::Failure() const {
    std::lock_guard guard(m_state->lock);
    return m_state->failure;
}

}  // namespace tamblor

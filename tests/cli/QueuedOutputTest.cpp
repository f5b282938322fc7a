// The queued output meets a reader that does not read, and one that went away.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "cli/QueuedOutput.h"
#include "hid/linux/UniqueFd.h"

namespace tamblor::test {
namespace {

using namespace std::chrono_literals;

struct Pipe {
    CUniqueFd read, write;
    Pipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            read.Reset(ends[0]);
            write.Reset(ends[1]);
        }
    }
};

// Fills the pipe so that the next write would wait; returns how much went in.
std::size_t Fill(int descriptor) {
    const int flags = ::fcntl(descriptor, F_GETFL);
    ::fcntl(descriptor, F_SETFL, flags | O_NONBLOCK);
    const std::string block(4096, 'f');
    std::size_t total = 0;
    for (;;) {
        const ssize_t n = ::write(descriptor, block.data(), block.size());
        if (n <= 0) break;
        total += static_cast<std::size_t>(n);
    }
    ::fcntl(descriptor, F_SETFL, flags);
    return total;
}

std::string ReadAll(int descriptor) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(descriptor, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// Nobody reads: the stream takes everything at once, and beyond the limit drops whole lines
// only, so what finally reaches the reader is every line it was given up to a line's end.
TEST(QueuedOutput, NeverWaitsForTheReaderAndDropsWholeLinesBeyondItsLimit) {
    Pipe pipe;
    ASSERT_TRUE(pipe.write.IsValid());
    const std::size_t filled = Fill(pipe.write.Get());
    std::string given;
    std::size_t unwritten = 0;
    {
        CQueuedOutput output(pipe.write.Get(), 100);
        for (int i = 0; i < 40; ++i) {
            // Lines arrive in pieces, as an ostream hands them over.
            const std::string line = "{\"line\":" + std::to_string(i) + "}\n";
            output.Stream() << line.substr(0, 5) << line.substr(5);
            given += line;
        }
        EXPECT_FALSE(output.Drain(50ms)) << "the reader has not read a byte";
        // Let the reader read now: what was kept arrives.
        std::string drained;
        std::thread reader([&] {
            char buffer[4096];
            std::size_t skipped = 0;
            while (skipped < filled) {
                const ssize_t n =
                    ::read(pipe.read.Get(), buffer, std::min(sizeof buffer, filled - skipped));
                if (n <= 0) return;
                skipped += static_cast<std::size_t>(n);
            }
        });
        reader.join();
        EXPECT_FALSE(output.Drain(std::nullopt)) << "lines were dropped";
        unwritten = output.Unwritten();
        EXPECT_EQ(output.Failure(), 0);
    }
    pipe.write.Reset();
    const std::string arrived = ReadAll(pipe.read.Get());
    EXPECT_LE(arrived.size(), 100u + 13u);  // the limit, and the line that crossed it whole
    EXPECT_GT(arrived.size(), 0u);
    EXPECT_EQ(arrived.size() + unwritten, given.size());
    EXPECT_EQ(given.compare(0, arrived.size(), arrived), 0) << arrived;
    EXPECT_EQ(arrived.back(), '\n');
}

// Nobody reads while the pipe fills: whatever the length of the lines and however they were
// handed over, the pipe holds whole lines only. A reader left with what is in the pipe when the
// tool ends (a stop, a bound on the wait) never meets half a JSON line.
TEST(QueuedOutput, APipeThatStopsTakingHoldsWholeLinesOnly) {
    Pipe pipe;
    ASSERT_TRUE(pipe.write.IsValid());
    ASSERT_GT(::fcntl(pipe.write.Get(), F_SETPIPE_SZ, 4096), 0);
    std::string given;
    std::string held;
    std::thread reader;
    {
        CQueuedOutput output(pipe.write.Get());
        for (int i = 0; i < 200; ++i) {
            const std::string line = "{\"line\":" + std::to_string(i) + ",\"text\":\"" +
                                     std::string(static_cast<std::size_t>(60 + i * 37 % 90), 'x') +
                                     "\"}\n";
            // In pieces, then flushed, as an event is written.
            output.Stream() << line.substr(0, 7) << line.substr(7) << std::flush;
            given += line;
        }
        // The pipe is full once what it holds stops growing.
        int heldBefore = -1;
        for (int looks = 0;; ++looks) {
            ASSERT_LT(looks, 300) << "the pipe never filled";
            std::this_thread::sleep_for(200ms);
            int queued = 0;
            ASSERT_EQ(::ioctl(pipe.read.Get(), FIONREAD, &queued), 0);
            if (queued > 0 && queued == heldBefore) break;
            heldBefore = queued;
        }
        char buffer[8192];
        const ssize_t n = ::read(pipe.read.Get(), buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        held.assign(buffer, static_cast<std::size_t>(n));
        // The rest is read to the end, so the writer never outlives the pipe.
        reader = std::thread([&] { ReadAll(pipe.read.Get()); });
        EXPECT_TRUE(output.Drain(std::nullopt));
    }
    pipe.write.Reset();
    reader.join();
    EXPECT_LT(held.size(), given.size()) << "the lines must overfill the pipe";
    EXPECT_EQ(given.compare(0, held.size(), held), 0);
    EXPECT_EQ(held.back(), '\n') << held.substr(held.rfind('\n') + 1);
}

// The reader went away: the writer neither dies by SIGPIPE nor keeps the stream waiting, and
// says why it stopped writing.
TEST(QueuedOutput, AReaderThatWentAwayEndsTheWritingNotTheProcess) {
    struct sigaction byDefault {
    }, previous{};
    byDefault.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &byDefault, &previous);
    Pipe pipe;
    ASSERT_TRUE(pipe.write.IsValid());
    pipe.read.Reset();
    {
        CQueuedOutput output(pipe.write.Get());
        output.Stream() << "a line nobody reads\n";
        EXPECT_FALSE(output.Drain(10s));
        EXPECT_EQ(output.Failure(), EPIPE);
        output.Stream() << "and another\n" << std::flush << "and a third\n";
        EXPECT_EQ(output.Unwritten(),
                  std::string("a line nobody reads\nand another\nand a third\n").size());
    }
    ::sigaction(SIGPIPE, &previous, nullptr);
}

}  // namespace
}  // namespace tamblor::test

// The upgrade sequence alone: a reply in, what to write and what to tell out. No bus, no
// engine, no thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "app/UiPort.h"
#include "app/UpgradeSequence.h"
#include "isp/IspCommands.h"
#include "package/PackageFormat.h"

namespace tamblor::sequence {

// Readable failure messages: the texts, and a command's first bytes.
void PrintTo(const Line& line, std::ostream* os) { *os << "Line \"" << line.text << '"'; }
void PrintTo(const Failure& failure, std::ostream* os) {
    *os << "Failure \"" << failure.text << '"' << (failure.deviceLost ? " (device lost)" : "");
}
void PrintTo(const Progress& progress, std::ostream* os) {
    *os << "Progress \"" << progress.text << "\" " << progress.value;
}
void PrintTo(const Command& command, std::ostream* os) {
    *os << "Command" << std::hex;
    for (std::size_t i = 1; i < 13; ++i) *os << ' ' << int{command.report[i]};
    *os << std::dec << (command.answered ? " answered" : " unanswered");
}
void PrintTo(const Chunk& chunk, std::ostream* os) {
    *os << "Chunk " << chunk.number << " at " << chunk.offset << ", " << chunk.length;
}

}  // namespace tamblor::sequence

namespace tamblor {
namespace {

using namespace sequence;
using S = SequenceState;

constexpr std::uint16_t kChip3Sum = 0x1234;
constexpr std::uint16_t kChip1Sum = 0xABCD;
constexpr std::uint32_t kChip3Length = 100;  // two plain chunks: 59 and 41
constexpr std::uint32_t kChip3Offset = 1000;
constexpr std::uint32_t kChip1Length = 300;  // paged: 256 in five chunks, then 44
constexpr std::uint32_t kChip1Offset = 5000;

PackageInfo Package(char selector) {
    PackageInfo package;
    package.m_segmentLength[kSegChip3] = kChip3Length;
    package.m_segmentOffset[kSegChip3] = kChip3Offset;
    package.m_segmentLength[kSegChip1] = kChip1Length;
    package.m_segmentOffset[kSegChip1] = kChip1Offset;
    package.m_segmentLength[kSegChip2File1] = 10;
    package.m_segmentOffset[kSegChip2File1] = 100;
    package.m_segmentLength[kSegChip2File2] = 70;
    package.m_segmentOffset[kSegChip2File2] = 200;
    package.m_segmentSum0 = kChip3Sum;
    package.m_segmentSum4 = kChip1Sum;
    package.m_fileVersion = {'V', 1, 0, 3};
    package.m_startSelector = selector;
    return package;
}

IspReply Status(std::uint8_t status) {
    IspReply reply;
    reply.wellFormed = true;
    reply.status = status;
    return reply;
}

IspReply Checksum(std::uint16_t checksum) {
    IspReply reply;
    reply.wellFormed = true;
    reply.status = static_cast<std::uint8_t>(checksum >> 8);
    reply.checksum = checksum;
    return reply;
}

Command Answered(IspCommand command) { return {MakeCommandReport(command), true}; }
Command Unanswered(IspCommand command) { return {MakeCommandReport(command), false}; }
Command IspExit() { return {MakeIspExit(kChip3Sum, kChip3Length, {'V', 1, 0, 3}), false}; }

// A sequence started on `selector`, fed passing replies until it reaches `state`.
CUpgradeSequence At(char selector, bool ispMode, S state) {
    CUpgradeSequence sequence;
    sequence.SetPackage(Package(selector));
    sequence.Start(ispMode);
    for (int step = 0; step < 100 && sequence.State() != state; ++step) {
        sequence.RunUpgradeStep(Status(0), ispMode);
    }
    EXPECT_EQ(sequence.State(), state) << "never reached";
    return sequence;
}

struct StepCase {
    const char* name;
    char selector;
    bool ispMode;
    S from;
    IspReply reply;
    SequenceActions expected;
    S to;
};

TEST(UpgradeSequence, EachStateAnswersItsReply) {
    const std::string chip1Mismatch = "Chip 1 checksum cul:  abce ,   abcd";
    const StepCase cases[] = {
        {"start on selector 1: restart into the boot loader",
         '1',
         false,
         S::SwitchToIsp,
         Status(0),
         {Fill{kFillGold}, Unanswered(IspCommand::IspEnter)},
         S::AwaitIspDevice},
        {"waiting while the dock is still in its application",
         '1',
         false,
         S::AwaitIspDevice,
         Status(0),
         {},
         S::AwaitIspDevice},
        {"back in the boot loader: erase Chip 3",
         '1',
         true,
         S::AwaitIspDevice,
         Status(0),
         {Command{MakeIspErase(kChip3Length), true}},
         S::Chip3Erasing},
        {"Chip 3 erase failed",
         '1',
         true,
         S::Chip3Erasing,
         Status(1),
         {Failure{"ISP Chip 3 ERASE ERROR!"}},
         S::Ended},
        {"Chip 3 erased: its stream starts with the first chunk",
         '1',
         true,
         S::Chip3Erasing,
         Status(0),
         {Line{StreamTitle(StreamKind::Chip3, kChip3Length)}, Line{""}, Position{0},
          Progress{StreamProgressText(StreamKind::Chip3, 0, 0), 0}, Chunk{1, kChip3Offset, 59}},
         S::Chip3Sending},
        {"Chip 3 checksum passes: leave the boot loader",
         '1',
         true,
         S::Chip3Verifying,
         Checksum(kChip3Sum),
         {Line{"Chip 3 Checksum pass, ISP Success!"}, Milestone::Chip3Passed, IspExit()},
         S::Ended},
        {"Chip 3 checksum differs: the dock stays in its boot loader",
         '1',
         true,
         S::Chip3Verifying,
         Checksum(kChip3Sum + 1),
         {Failure{"ISP Chip 3 false!"}},
         S::Ended},
        {"start on selector 3: prepare Chip 1",
         '3',
         false,
         S::Chip1Prepare,
         Status(0),
         {Fill{kFillGold}, Line{"WORK_PREPARE.."}, Milestone::Chip1Began,
          Answered(IspCommand::Chip1Prepare)},
         S::Chip1Preparing},
        {"Chip 1 preparation failed: end it, no answer owed",
         '3',
         false,
         S::Chip1Preparing,
         Status(1),
         {Failure{"ISP Chip 1 FLASH ERROR!"}, Unanswered(IspCommand::Chip1End)},
         S::Ended},
        {"Chip 1 prepared: erase it",
         '3',
         false,
         S::Chip1Preparing,
         Status(0),
         {Answered(IspCommand::Chip1Erase)},
         S::Chip1Erasing},
        {"Chip 1 erase failed",
         '3',
         false,
         S::Chip1Erasing,
         Status(2),
         {Failure{"ISP Chip 1 ERASE ERROR!"}, Unanswered(IspCommand::Chip1End)},
         S::Ended},
        {"Chip 1 erasing: ask how far",
         '3',
         false,
         S::Chip1Erasing,
         Status(0),
         {Line{"Chip 1 Erasing..."}, Answered(IspCommand::Chip1EraseStatus)},
         S::Chip1EraseWaiting},
        {"Chip 1 still erasing: ask again",
         '3',
         false,
         S::Chip1EraseWaiting,
         Status(1),
         {Answered(IspCommand::Chip1EraseStatus)},
         S::Chip1EraseWaiting},
        {"Chip 1 erased: its paged stream starts",
         '3',
         false,
         S::Chip1EraseWaiting,
         Status(0),
         {Line{StreamTitle(StreamKind::Chip1, kChip1Length)}, Line{""}, Position{0},
          Progress{StreamProgressText(StreamKind::Chip1, 0, 0), 0}, Chunk{1, kChip1Offset, 59}},
         S::Chip1Sending},
        {"Chip 1 checksum passes: end it, then Chip 3",
         '3',
         false,
         S::Chip1Verifying,
         Checksum(kChip1Sum),
         {Line{"Chip 1 Checksum pass, ISP Success!"}, Milestone::Chip1Passed,
          Answered(IspCommand::Chip1End)},
         S::SwitchToIsp},
        {"Chip 1 checksum differs: both failure lines, and Chip 3 still follows",
         '3',
         false,
         S::Chip1Verifying,
         Checksum(kChip1Sum + 1),
         {Failure{chip1Mismatch}, Failure{"ISP false!"}, Answered(IspCommand::Chip1End)},
         S::SwitchToIsp},
        {"idle takes no reply", '2', false, S::Idle, Status(1), {}, S::Idle},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CUpgradeSequence sequence;
        sequence.SetPackage(Package(c.selector));
        if (c.from != S::Idle) sequence = At(c.selector, c.ispMode, c.from);
        EXPECT_EQ(sequence.RunUpgradeStep(c.reply, c.ispMode), c.expected);
        EXPECT_EQ(sequence.State(), c.to);
    }
}

// Every chunk a stream asks for, in order, with the lines around them.
struct Stream {
    std::vector<Chunk> chunks;
    std::vector<std::string> lines;
    std::vector<int> progress;
};

Stream Collect(CUpgradeSequence& sequence, bool ispMode, S until) {
    Stream stream;
    for (int step = 0; step < 100 && sequence.State() != until; ++step) {
        for (const auto& action : sequence.RunUpgradeStep(Status(0), ispMode)) {
            if (const auto* chunk = std::get_if<Chunk>(&action)) stream.chunks.push_back(*chunk);
            if (const auto* line = std::get_if<Line>(&action)) stream.lines.push_back(line->text);
            if (const auto* p = std::get_if<Progress>(&action)) stream.progress.push_back(p->value);
        }
    }
    return stream;
}

TEST(UpgradeSequence, StreamsNumberTheirChunksAndWalkTheirSegment) {
    // Chip 3: plain chunks of up to 59 bytes; Chip 1: never across a 256-byte page.
    auto chip3 = At('1', true, S::Chip3Erasing);
    const Stream three = Collect(chip3, true, S::Chip3Verifying);
    EXPECT_EQ(three.chunks,
              (std::vector<Chunk>{{1, kChip3Offset, 59}, {2, kChip3Offset + 59, 41}}));
    EXPECT_EQ(three.progress, (std::vector<int>{0, 59, 100}));
    EXPECT_EQ(three.lines.back(), "ISP Chip 3 Finish!");

    auto chip1 = At('3', false, S::Chip1EraseWaiting);
    const Stream one = Collect(chip1, false, S::Chip1Verifying);
    std::vector<Chunk> expected;
    std::uint32_t offset = kChip1Offset;
    std::uint16_t number = 0;
    for (std::uint32_t length : {59u, 59u, 59u, 59u, 20u, 44u}) {
        expected.push_back({++number, offset, length});
        offset += length;
    }
    EXPECT_EQ(one.chunks, expected);
    EXPECT_EQ(one.lines.back(), "Verify..");
}

TEST(UpgradeSequence, Chip2RunsBothFilesThenRestartsIntoTheBootLoader) {
    auto sequence = At('2', false, S::Chip2File1Sending);
    SequenceActions all;
    for (int step = 0; step < 10 && sequence.State() != S::AwaitIspDevice; ++step) {
        for (auto& action : sequence.RunUpgradeStep(Status(0), false)) all.push_back(action);
    }
    ASSERT_EQ(sequence.State(), S::AwaitIspDevice);
    std::vector<Chunk> chunks;
    for (const auto& action : all) {
        if (const auto* chunk = std::get_if<Chunk>(&action)) chunks.push_back(*chunk);
    }
    // File 1 was begun by At; what is left of it is its end. File 2 numbers from 1 again.
    EXPECT_EQ(chunks, (std::vector<Chunk>{{1, 200, 59}, {2, 259, 11}}));
    const auto chip2Ended =
        std::find(all.begin(), all.end(), SequenceAction{Milestone::Chip2Ended});
    ASSERT_NE(chip2Ended, all.end());
    EXPECT_EQ(*std::prev(chip2Ended), SequenceAction{Line{"File 2/2 End, ISP Chip 2 FINISH"}});
    EXPECT_EQ(all.back(), SequenceAction{Unanswered(IspCommand::IspEnter)});
}

TEST(UpgradeSequence, AnUnreadableChunkEndsTheRun) {
    auto sequence = At('1', true, S::Chip3Sending);
    EXPECT_EQ(sequence.ChunkUnreadable(), SequenceActions{Failure{"ISP file read error!"}});
    EXPECT_EQ(sequence.State(), S::Ended);
    EXPECT_FALSE(sequence.IsRunning());
    EXPECT_TRUE(sequence.RunUpgradeStep(Status(0), true).empty());
}

TEST(UpgradeSequence, TheLinkEndingFailsOnlyARunThatDidNotWaitForIt) {
    struct Case {
        const char* name;
        char selector;
        bool ispMode;
        S from;
        SequenceActions expected;
        S to;
    };
    const Case cases[] = {
        {"idle", '1', false, S::Idle, {}, S::Idle},
        {"the restart's wait", '1', false, S::AwaitIspDevice, {}, S::AwaitIspDevice},
        {"ended", '1', true, S::Ended, {}, S::Idle},
        {"Chip 3 half written",
         '1',
         true,
         S::Chip3Sending,
         {Failure{"Error!, restart please.", true}},
         S::Idle},
        {"Chip 1 erasing",
         '3',
         false,
         S::Chip1EraseWaiting,
         {Failure{"Error!, restart please.", true}},
         S::Idle},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CUpgradeSequence sequence;
        if (c.from == S::Ended) {
            sequence = At(c.selector, c.ispMode, S::Chip3Erasing);
            sequence.RunUpgradeStep(Status(1), c.ispMode);
        } else if (c.from != S::Idle) {
            sequence = At(c.selector, c.ispMode, c.from);
        }
        ASSERT_EQ(sequence.State(), c.from);
        EXPECT_EQ(sequence.LinkEnded(), c.expected);
        EXPECT_EQ(sequence.State(), c.to);
    }
}

TEST(UpgradeSequence, TheDocksModeMovesOnlyARunningSequence) {
    // Back in the boot loader: whatever ran waits for nothing else. Idle and ended stay.
    auto running = At('2', false, S::Chip2File1Sending);
    running.DockFoundInIsp();
    EXPECT_EQ(running.State(), S::AwaitIspDevice);

    CUpgradeSequence idle;
    idle.DockFoundInIsp();
    EXPECT_EQ(idle.State(), S::Idle);

    auto ended = At('1', true, S::Chip3Erasing);
    ended.RunUpgradeStep(Status(1), true);
    ended.DockFoundInIsp();
    EXPECT_EQ(ended.State(), S::Ended);

    // In its application: idle, from wherever it stood.
    auto waiting = At('1', false, S::AwaitIspDevice);
    waiting.DockFoundInAp();
    EXPECT_EQ(waiting.State(), S::Idle);
}

}  // namespace
}  // namespace tamblor

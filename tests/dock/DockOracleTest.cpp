// The dock as the judge of a run: told what it should receive, it compares every stored byte
// with the package, and it holds the host to the cutting rule, the file seams of Chip 2, the
// unnamed bytes of the commands, IspExit's version and one report awaiting an answer at a time.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <variant>

#include "HostScript.h"
#include "package/PackageFormat.h"

namespace tamblor::test {
namespace {

using Script = std::vector<Report>;

// Small images, each cut into several chunks with a short last one.
const auto kChip3 = Pattern(150, 1);  // 59, 59, 32
const auto kFile1 = Pattern(100, 2);  // 59, 41
const auto kFile2 = Pattern(70, 3);   // 59, 11
const auto kChip1 = Pattern(300, 4);  // 59, 59, 59, 59, 20, 44
constexpr std::array<std::uint8_t, 4> kVersion = {'V', 1, 0, 3};

std::shared_ptr<const DockExpectation> Expect(char selector) {
    auto e = std::make_shared<DockExpectation>();
    e->chip3 = kChip3;
    e->chip2 = {kFile1, kFile2};
    e->chip1 = kChip1;
    e->version = kVersion;
    e->startSelector = selector;
    return e;
}

DockConfig Dock(bool ispMode, std::shared_ptr<const DockExpectation> expected) {
    DockConfig config;
    config.ispMode = ispMode;
    config.expected = std::move(expected);
    return config;
}

Script Chip3Run(const std::vector<std::uint8_t>& image = kChip3) {
    return Concat({{IspEraseFor(image.size())}, Chunks(image)});
}

Script Chip1Run(const std::vector<std::uint8_t>& image = kChip1) {
    return Concat({{Command(IspCommand::Chip1Prepare), Command(IspCommand::Chip1Erase),
                    Command(IspCommand::Chip1EraseStatus)},
                   Chunks(image, true)});
}

Script First(const Script& script, std::size_t count) {
    return Script(script.begin(), script.begin() + static_cast<std::ptrdiff_t>(count));
}

Script Chip2Run() { return Concat({Chunks(kFile1), Chunks(kFile2)}); }

std::vector<std::uint8_t> Swapped(std::vector<std::uint8_t> image, std::size_t at) {
    std::swap(image[at], image[at + 1]);
    return image;
}

std::vector<std::uint8_t> Joined(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Report WithByte(Report report, std::size_t index, std::uint8_t value) {
    report[index] = value;
    return report;
}

Report Chunk(std::uint16_t sequence, std::span<const std::uint8_t> image, std::size_t offset,
             std::size_t length) {
    return MakeChunkReport(sequence, image.subspan(offset, length));
}

// What the report should say of one image.
struct Verdict {
    bool due;
    bool programmed;
    std::optional<std::uint32_t> firstDifference;
};

struct JudgementCase {
    const char* name;
    DockConfig config;
    Script script;
    Verdict chip3, file1, file2, chip1;
    bool passed;
};

TEST(DockJudgement, ComparesEveryStoredByteWithThePackage) {
    auto emptyFile1 = std::make_shared<DockExpectation>(*Expect('2'));
    emptyFile1->chip2[0].clear();
    const JudgementCase cases[] = {
        {"Chip 3 as sent by an honest host",
         Dock(true, Expect('1')),
         Chip3Run(),
         {true, true, {}},
         {false, false, {}},
         {false, false, {}},
         {false, false, {}},
         true},
        // The byte sum stays the same: only the comparison can tell.
        {"Chip 3 with two bytes swapped",
         Dock(true, Expect('1')),
         Chip3Run(Swapped(kChip3, 70)),
         {true, true, 70u},
         {false, false, {}},
         {false, false, {}},
         {false, false, {}},
         false},
        {"Chip 3 without its last chunk",
         Dock(true, Expect('1')),
         First(Chip3Run(), 3),
         {true, true, 118u},
         {false, false, {}},
         {false, false, {}},
         {false, false, {}},
         false},
        {"Chip 3 never programmed",
         Dock(false, Expect('1')),
         {},
         {true, false, 0u},
         {false, false, {}},
         {false, false, {}},
         {false, false, {}},
         false},
        {"selector 3 on a dock already in its boot loader",
         Dock(true, Expect('3')),
         Chip3Run(),
         {true, true, {}},
         {false, false, {}},
         {false, false, {}},
         {false, false, {}},
         true},
        {"Chip 1 programmed under selector 1",
         Dock(false, Expect('1')),
         Chip1Run(),
         {true, false, 0u},
         {false, false, {}},
         {false, false, {}},
         {false, true, 0u},
         false},
        {"Chip 1 under selector 3, Chip 3 still to come",
         Dock(false, Expect('3')),
         Chip1Run(),
         {true, false, 0u},
         {false, false, {}},
         {false, false, {}},
         {true, true, {}},
         false},
        {"Chip 2 under selector 2",
         Dock(false, Expect('2')),
         Chip2Run(),
         {true, false, 0u},
         {true, true, {}},
         {true, true, {}},
         {false, false, {}},
         false},
        {"Chip 2 file 2/2 with a changed byte",
         Dock(false, Expect('2')),
         Concat({Chunks(kFile1), {Chunks(kFile2)[0], WithByte(Chunks(kFile2)[1], 4 + 3, 0xEE)}}),
         {true, false, 0u},
         {true, true, {}},
         {true, true, 62u},
         {false, false, {}},
         false},
        {"an empty Chip 2 file 1/2 needs no chunk",
         Dock(false, emptyFile1),
         Chunks(kFile2),
         {true, false, 0u},
         {true, false, {}},
         {true, true, {}},
         {false, false, {}},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CDockLogic dock(c.config);
        Feed(dock, c.script);
        const auto report = dock.Report();
        ASSERT_TRUE(report.judged);
        const std::pair<const ChipImageResult*, Verdict> images[] = {{&report.chip3, c.chip3},
                                                                     {&report.chip2[0], c.file1},
                                                                     {&report.chip2[1], c.file2},
                                                                     {&report.chip1, c.chip1}};
        for (const auto& [result, verdict] : images) {
            EXPECT_EQ(result->due, verdict.due) << report.ToJson();
            EXPECT_EQ(result->programmed, verdict.programmed) << report.ToJson();
            if (verdict.due) {
                EXPECT_EQ(result->firstDifference, verdict.firstDifference);
            }
        }
        EXPECT_EQ(report.AllChipsEqual(), c.passed) << report.ToJson();
        EXPECT_EQ(report.Passed(), c.passed && report.violations.empty());
    }
}

struct OracleViolationCase {
    const char* name;
    DockConfig config;
    Script script;
    std::vector<std::string> violations;
};

std::vector<OracleViolationCase> OracleViolationCases() {
    const auto file2 = [](std::uint16_t first) {
        return Script{Chunk(first, kFile2, 0, 59), Chunk(first + 1, kFile2, 59, 11)};
    };
    const auto exitWith = [](std::array<std::uint8_t, 4> version) {
        return Concat(
            {Chip3Run(),
             {IspChecksumFor(kChip3.size()), IspExitFor(ByteSum(kChip3), kChip3.size(), version)}});
    };
    const auto chip1Start = First(Chip1Run(), 3);
    const auto chip3Erase = Script{IspEraseFor(kChip3.size())};
    const auto unnamed = [](IspCommand command, std::size_t index) {
        return WithByte(Command(command), index, 0x80);
    };
    return {
        // IspExit hands the dock the package's version, as binary digit values.
        {"IspExit version as sent", Dock(true, Expect('1')), exitWith(kVersion), {}},
        {"IspExit version reversed",
         Dock(true, Expect('1')),
         exitWith({3, 0, 1, 'V'}),
         {"IspExit version bytes 03 00 01 56, the package's version is 56 01 00 03"}},
        {"IspExit version in ASCII",
         Dock(true, Expect('1')),
         exitWith({'V', '1', '0', '3'}),
         {"IspExit version bytes 56 31 30 33, the package's version is 56 01 00 03"}},
        {"IspExit version with another letter",
         Dock(true, Expect('1')),
         exitWith({'L', 1, 0, 3}),
         {"IspExit version bytes 4C 01 00 03, the package's version is 56 01 00 03"}},

        // The seams of Chip 2, known from the files' lengths.
        {"Chip 2 as sent", Dock(false, Expect('2')), Chip2Run(), {}},
        {"Chip 2 file 1/2 ends early",
         Dock(false, Expect('2')),
         Concat({{Chunk(1, kFile1, 0, 59)}, file2(1)}),
         {"Chip 2 file 1 ended after 59 bytes, segment 1 holds 100"}},
        {"Chip 2 file 1/2 runs into file 2/2",
         Dock(false, Expect('2')),
         Chunks(Joined(kFile1, kFile2)),
         {"Chip 2 file 1 chunk 2 runs past the end of the file (offset 59, length 59, segment 1 "
          "holds 100)",
          "Chip 2 file 2 chunk with sequence 3, expected 1"}},
        {"Chip 2 file 2/2 without the sequence reset",
         Dock(false, Expect('2')),
         Concat({Chunks(kFile1), file2(3)}),
         {"Chip 2 file 2 chunk with sequence 3, expected 1"}},
        {"Chip 2 file 2/2 too long",
         Dock(false, Expect('2')),
         Concat({Chunks(kFile1), file2(1), {Chunk(3, kFile2, 0, 5)}}),
         {"Chip 2 file 2 chunk 3 runs past the end of the file (offset 70, length 5, segment 2 "
          "holds 70)"}},
        {"Chip 2 file 2/2 cut short by a new programming",
         Dock(false, Expect('2')),
         Concat({Chunks(kFile1), {Chunk(1, kFile2, 0, 59)}, Chunks(kFile1)}),
         {"Chip 2 file 2 ended after 59 bytes, segment 2 holds 70"}},

        // The cutting rule: min(59, remaining), and for Chip 1 never across a 256-byte page.
        {"short Chip 3 chunk",
         Dock(true, Expect('1')),
         Concat({chip3Erase, {Chunk(1, kChip3, 0, 58), Chunk(2, kChip3, 58, 59)}}),
         {"Chip 3 chunk 1 carries 58 bytes where 59 fit, and is not the last"}},
        {"short chunk where less than 59 remain",
         Dock(true, Expect('1')),
         Concat({chip3Erase,
                 {Chunk(1, kChip3, 0, 59), Chunk(2, kChip3, 59, 59), Chunk(3, kChip3, 118, 31),
                  Chunk(4, kChip3, 149, 1)}}),
         {"Chip 3 chunk 3 carries 31 bytes where 32 fit, and is not the last"}},
        {"short last chunk of a truncated stream",
         Dock(true, Expect('1')),
         Concat({chip3Erase, {Chunk(1, kChip3, 0, 59), Chunk(2, kChip3, 59, 30)}}),
         {}},
        {"short chunk, nothing expected",
         Dock(true, nullptr),
         Concat({chip3Erase, {Chunk(1, kChip3, 0, 30), Chunk(2, kChip3, 30, 59)}}),
         {"Chip 3 chunk 1 carries 30 bytes where 59 fit, and is not the last"}},
        {"Chip 1 chunk short of the page end",
         Dock(false, Expect('3')),
         Concat({chip1Start,
                 {Chunk(1, kChip1, 0, 59), Chunk(2, kChip1, 59, 59), Chunk(3, kChip1, 118, 59),
                  Chunk(4, kChip1, 177, 59), Chunk(5, kChip1, 236, 19), Chunk(6, kChip1, 255, 1)}}),
         {"Chip 1 chunk 5 carries 19 bytes where 20 fit, and is not the last"}},
        {"Chip 1 as sent", Dock(false, Expect('3')), Chip1Run(), {}},

        // The order of the sequence: nothing is committed or left unverified.
        {"IspExit without IspChecksum",
         Dock(true, Expect('1')),
         Concat({Chip3Run(), {IspExitFor(ByteSum(kChip3), kChip3.size(), kVersion)}}),
         {"IspExit before IspChecksum of the Chip 3 image"}},
        {"IspExit after a chunk that followed IspChecksum",
         Dock(true, Expect('1')),
         Concat({First(Chip3Run(), 3),
                 {IspChecksumFor(118), Chip3Run().back()},
                 {IspExitFor(ByteSum(kChip3), kChip3.size(), kVersion)}}),
         {"IspExit before IspChecksum of the Chip 3 image"}},
        {"Chip1End without Chip1Checksum",
         Dock(false, Expect('3')),
         Concat({Chip1Run(), {Command(IspCommand::Chip1End)}}),
         {"Chip1End before Chip1Checksum of the Chip 1 image"}},
        {"Chip1End after a failed preparation needs no checksum",
         Dock(false, Expect('3')),
         {Command(IspCommand::Chip1Prepare), Command(IspCommand::Chip1End)},
         {}},
        {"IspEnter before Chip1End",
         Dock(false, Expect('3')),
         Concat({Chip1Run(), {Chip1ChecksumFor(kChip1.size()), Command(IspCommand::IspEnter)}}),
         {"IspEnter before Chip1End"}},
        {"the whole Chip 1 sequence",
         Dock(false, Expect('3')),
         Concat({Chip1Run(),
                 {Chip1ChecksumFor(kChip1.size()), Command(IspCommand::Chip1End),
                  Command(IspCommand::IspEnter)}}),
         {}},

        // Bytes the command set leaves unnamed are 0, and so are a data chunk's bytes after
        // its data.
        {"GetMode, last byte before the end",
         Dock(false, nullptr),
         {unnamed(IspCommand::GetMode, 62)},
         {"GetMode: byte 62 is 0x80, but the command names no such byte (must be 0)"}},
        {"IspErase, right after its block count",
         Dock(true, nullptr),
         {WithByte(IspEraseFor(0), 6, 0x80)},
         {"IspErase: byte 6 is 0x80, but the command names no such byte (must be 0)"}},
        {"IspExit, right after the version",
         Dock(true, nullptr),
         {IspChecksumFor(0), WithByte(IspExitFor(0, 0), 13, 0x80)},
         {"IspExit: byte 13 is 0x80, but the command names no such byte (must be 0)"}},
        {"Chip1Checksum, right after the length",
         Dock(false, nullptr),
         Concat({chip1Start, {WithByte(Chip1ChecksumFor(0), 9, 0x80)}}),
         {"Chip1Checksum: byte 9 is 0x80, but the command names no such byte (must be 0)"}},
        {"IspEnter, two bytes",
         Dock(false, nullptr),
         {WithByte(unnamed(IspCommand::IspEnter, 5), 30, 1)},
         {"IspEnter: byte 5 is 0x80, but the command names no such byte (must be 0), and 1 more"}},
        {"a command in the wrong mode still",
         Dock(true, nullptr),
         {unnamed(IspCommand::GetVersion, 20)},
         {"GetVersion: byte 20 is 0x80, but the command names no such byte (must be 0)",
          "GetVersion in ISP mode"}},
        {"unused bytes of a data chunk",
         Dock(true, Expect('1')),
         Concat({chip3Erase,
                 {Chunk(1, kChip3, 0, 59), Chunk(2, kChip3, 59, 59),
                  WithByte(WithByte(Chunk(3, kChip3, 118, 32), 40, 0xAA), 62, 0x55)}}),
         {"Chip 3 chunk 3: byte 40 is 0xAA, after its 32 bytes of data (must be 0), and 1 more"}},
        {"a discarded chunk's bytes after its data",
         Dock(true, nullptr),
         {WithByte(Chunk(1, kChip3, 0, 10), 14, 0x01)},
         {"data chunk in ISP mode without a successful IspErase",
          "discarded chunk 1: byte 14 is 0x01, after its 10 bytes of data (must be 0)"}},
    };
}

TEST(DockOracleViolations, EachFaultIsNamedAndAnHonestHostIsNot) {
    for (const auto& c : OracleViolationCases()) {
        SCOPED_TRACE(c.name);
        CDockLogic dock(c.config);
        Feed(dock, c.script);
        EXPECT_EQ(dock.Violations(), c.violations);
    }
}

TEST(DockOracleViolations, AreNotedUpToABoundAndCountedBeyondIt) {
    CDockLogic dock;
    const auto unknown = MakeCommandReport(static_cast<IspCommand>(6));
    for (std::size_t i = 0; i < CDockLogic::kMaxViolationsNoted + 50; ++i)
        dock.OnHostReport(unknown);
    EXPECT_EQ(dock.Violations().size(), CDockLogic::kMaxViolationsNoted);
    const auto report = dock.Report();
    ASSERT_EQ(report.violations.size(), CDockLogic::kMaxViolationsNoted + 1);
    EXPECT_EQ(report.violations.back(), "and 50 more violations");
}

// One step of an exchange as the transport sees it.
struct Step {
    enum class Kind { Write, Read, Lost } kind;
    Report report{};
};

Step W(const Report& report) { return {Step::Kind::Write, report}; }
const Step kRead{Step::Kind::Read};
const Step kLost{Step::Kind::Lost};

enum class Transport { SeesReads, Blind };

struct InFlightCase {
    const char* name;
    bool ispMode;
    std::optional<std::uint64_t> unsolicitedAfterChunks;
    Transport transport;
    std::vector<Step> steps;
    std::vector<std::string> violations;
};

TEST(DockInFlight, OneReportAwaitsAnAnswerAtATime) {
    const auto chunk = [image = Pattern(200)](std::uint16_t sequence) {
        return W(Chunk(sequence, image, (sequence - 1) * 59u, 59));
    };
    const auto getMode = W(Command(IspCommand::GetMode));
    const auto getVersion = W(Command(IspCommand::GetVersion));
    const auto ap = false;
    const auto isp = true;
    const auto reads = Transport::SeesReads;
    const InFlightCase cases[] = {
        {"each answer read first", ap, {}, reads, {getMode, kRead, getVersion, kRead, getMode}, {}},
        {"a second report before the answer was read",
         ap,
         {},
         reads,
         {getMode, getVersion},
         {"GetVersion written while the answer to GetMode was still unread"}},
        {"IspEnter needs no answer",
         ap,
         {},
         reads,
         {getMode, kRead, W(Command(IspCommand::IspEnter)), getMode},
         {}},
        {"IspExit needs no answer",
         isp,
         {},
         reads,
         {W(IspEraseFor(0)), kRead, W(IspChecksumFor(0)), kRead,
          W(IspExitFor(0, 0, {'V', 1, 0, 2})), getMode},
         {}},
        {"answers lost as the dock left", ap, {}, reads, {getMode, kLost, getMode}, {}},
        {"a report the dock leaves unanswered awaits nothing",
         ap,
         {},
         reads,
         {W(MakeCommandReport(static_cast<IspCommand>(6))), getMode},
         {"unknown command 0x06"}},
        // The report sent unasked after chunk 1 is taken for the answer to chunk 2.
        {"an unasked report is no answer",
         isp,
         1u,
         reads,
         {W(IspEraseFor(200)), kRead, chunk(1), kRead, chunk(2), kRead, chunk(3)},
         {"data chunk 3 written while the answer to data chunk 2 was still unread"}},
        {"a transport that cannot see reads", ap, {}, Transport::Blind, {getMode, getVersion}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DockConfig config;
        config.ispMode = c.ispMode;
        config.faults.unsolicitedAfterChunks = c.unsolicitedAfterChunks;
        CDockLogic dock(config);
        if (c.transport == Transport::SeesReads) dock.TrackReplyReads();
        for (const auto& step : c.steps) {
            switch (step.kind) {
                case Step::Kind::Write:
                    dock.OnHostReport(step.report);
                    break;
                case Step::Kind::Read:
                    dock.OnReplyRead();
                    break;
                case Step::Kind::Lost:
                    dock.OnRepliesLost();
                    break;
            }
        }
        EXPECT_EQ(dock.Violations(), c.violations);
    }
}

}  // namespace
}  // namespace tamblor::test

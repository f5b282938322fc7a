// The dock as an exact judge: every way a host can get the bytes or the exchange wrong is
// put between the engine and the dock, and each must keep the run from succeeding with the
// dock's report naming the fault.
#include <gmock/gmock.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "HostMutations.h"
#include "SimulatedPackages.h"
#include "cli/SimulatedUpgrade.h"

namespace tamblor::test {
namespace {

using ::testing::HasSubstr;

// The dock's report for one image of the run.
enum class Chip { None, Chip3, Chip2File1, Chip2File2, Chip1 };

const ChipImageResult& Result(const DockReport& report, Chip chip) {
    switch (chip) {
        case Chip::Chip2File1:
            return report.chip2[0];
        case Chip::Chip2File2:
            return report.chip2[1];
        case Chip::Chip1:
            return report.chip1;
        default:
            return report.chip3;
    }
}

const std::vector<std::uint8_t>& ImageOf(const DockExpectation& e, Stream stream) {
    switch (stream) {
        case Stream::Chip2File1:
            return e.chip2[0];
        case Stream::Chip2File2:
            return e.chip2[1];
        case Stream::Chip1:
            return e.chip1;
        default:
            return e.chip3;
    }
}

struct Context {
    std::shared_ptr<const DockExpectation> expected;
    Trace trace;
    Image Of(Stream stream) const { return Image(expected, &ImageOf(*expected, stream)); }
};

struct MutationRow {
    const char* name;
    SimulatedPackage package;
    std::function<HostMutation(const Context&)> mutation;  // empty: the host as it is
    // What the report must name: a violation containing this text...
    std::string violation;
    // ...and/or an image that differs from the package's.
    Chip unequal = Chip::None;
    // Nothing but the byte comparison can tell: the host's own verdicts all passed and the
    // dock saw no violation.
    bool onlyTheComparisonTells = false;
    bool ispDock = false;
};

constexpr std::uint32_t kN = 6;  // a chunk in the middle of every stream, in answer to a report

std::vector<MutationRow> Rows() {
    using S = Stream;
    const auto flip = [](S s) {
        return [s](const Context& c) { return FlipByte(s, kN, c.trace); };
    };
    const auto swapBytes = [](S s) {
        return [s](const Context& c) { return SwapBytes(s, kN, c.trace); };
    };
    const auto swapChunks = [](S s) {
        return [s](const Context& c) { return SwapChunks(s, kN, c.Of(s), c.trace); };
    };
    const auto drop = [](S s) {
        return [s](const Context& c) { return DropChunk(s, kN, c.trace); };
    };
    const auto shorten = [](S s) {
        return [s](const Context& c) { return ShortenChunk(s, kN, c.trace); };
    };
    const auto twoInFlight = [](S s) {
        return
            [s](const Context& c) { return TwoInFlight(s, kN, c.Of(s), s == S::Chip1, c.trace); };
    };
    const auto tail = [](S s) { return [s](const Context&) { return SetChunkTailByte(s); }; };
    const auto unnamed = [](IspCommand command) {
        return [command](const Context&) { return SetUnnamedByte(command, 40); };
    };
    const auto exitVersion = [](std::array<std::uint8_t, 4> v) {
        return [v](const Context&) { return SetExitVersion(v); };
    };
    const std::string unnamedText = ": byte 40 is 0x01, but the command names no such byte";
    const std::string exitText = "IspExit version bytes ";
    const std::string exitExpected = ", the package's version is 56 01 00 03";

    return {
        // The host as it is, which must succeed.
        {"none, selector 1", kShipped, nullptr, ""},
        {"none, selector 2", kSelector2, nullptr, ""},
        {"none, selector 3", kSelector3, nullptr, ""},
        {"none, selector 2, dock in its boot loader", kSelector2, nullptr, "", Chip::None, false,
         true},

        {"flip, Chip 3", kShipped, flip(S::Chip3), "", Chip::Chip3},
        {"flip, Chip 2 file 1/2", kSelector2, flip(S::Chip2File1), "", Chip::Chip2File1, true},
        {"flip, Chip 2 file 2/2", kSelector2, flip(S::Chip2File2), "", Chip::Chip2File2, true},
        {"flip, Chip 1", kSelector3, flip(S::Chip1), "", Chip::Chip1},

        {"swap bytes, Chip 3", kShipped, swapBytes(S::Chip3), "", Chip::Chip3, true},
        {"swap bytes, Chip 2 file 2/2", kSelector2, swapBytes(S::Chip2File2), "", Chip::Chip2File2,
         true},
        {"swap bytes, Chip 1", kSelector3, swapBytes(S::Chip1), "", Chip::Chip1, true},

        {"swap chunks, Chip 3", kShipped, swapChunks(S::Chip3), "", Chip::Chip3, true},
        {"swap chunks, Chip 2 file 1/2", kSelector2, swapChunks(S::Chip2File1), "",
         Chip::Chip2File1, true},
        {"swap chunks, Chip 1", kSelector3, swapChunks(S::Chip1), "", Chip::Chip1, true},

        {"drop a chunk, Chip 3", kShipped, drop(S::Chip3),
         "Chip 3 chunk with sequence 7, expected 6", Chip::Chip3},
        {"drop a chunk, Chip 2 file 1/2", kSelector2, drop(S::Chip2File1),
         "Chip 2 file 1 ended after 5127 bytes, segment 1 holds 5186", Chip::Chip2File1},
        {"drop a chunk, Chip 2 file 2/2", kSelector2, drop(S::Chip2File2),
         "Chip 2 file 2 chunk with sequence 7, expected 6", Chip::Chip2File2},
        {"drop a chunk, Chip 1", kSelector3, drop(S::Chip1),
         "Chip 1 chunk with sequence 7, expected 6", Chip::Chip1},

        {"skip Chip 2's sequence reset", kSelector2,
         [](const Context&) { return SkipSequenceReset(88); },
         "Chip 2 file 2 chunk with sequence 89, expected 1"},

        {"short chunk, Chip 3", kShipped, shorten(S::Chip3),
         "Chip 3 chunk 6 carries 58 bytes where 59 fit, and is not the last", Chip::Chip3},
        {"short chunk, Chip 2 file 1/2", kSelector2, shorten(S::Chip2File1),
         "Chip 2 file 1 chunk 6 carries 58 bytes where 59 fit, and is not the last",
         Chip::Chip2File1},
        {"short chunk, Chip 1", kSelector3, shorten(S::Chip1),
         "Chip 1 chunk 6 carries 58 bytes where 59 fit, and is not the last", Chip::Chip1},

        {"two in flight, Chip 3", kShipped, twoInFlight(S::Chip3),
         "data chunk 7 written while the answer to data chunk 6 was still unread"},
        {"two in flight, Chip 2 file 2/2", kSelector2, twoInFlight(S::Chip2File2),
         "data chunk 7 written while the answer to data chunk 6 was still unread"},
        {"two in flight, Chip 1", kSelector3, twoInFlight(S::Chip1),
         "data chunk 7 written while the answer to data chunk 6 was still unread"},

        // The images stay whole: only the dock's reading of the chunk's tail can tell.
        {"chunk tail, Chip 3", kShipped, tail(S::Chip3),
         "Chip 3 chunk 439: byte 18 is 0x01, after its 14 bytes of data (must be 0)"},
        {"chunk tail, Chip 2 file 1/2", kSelector2, tail(S::Chip2File1),
         "Chip 2 file 1 chunk 88: byte 57 is 0x01, after its 53 bytes of data"},
        {"chunk tail, Chip 2 file 2/2", kSelector2, tail(S::Chip2File2),
         "Chip 2 file 2 chunk 4444: byte 11 is 0x01, after its 7 bytes of data"},
        {"chunk tail, Chip 1", kSelector3, tail(S::Chip1),
         "Chip 1 chunk 5: byte 24 is 0x01, after its 20 bytes of data"},

        {"unnamed byte, GetMode", kShipped, unnamed(IspCommand::GetMode), "GetMode" + unnamedText},
        {"unnamed byte, GetVersion", kShipped, unnamed(IspCommand::GetVersion),
         "GetVersion" + unnamedText},
        {"unnamed byte, IspEnter", kShipped, unnamed(IspCommand::IspEnter),
         "IspEnter" + unnamedText},
        {"unnamed byte, IspErase", kShipped, unnamed(IspCommand::IspErase),
         "IspErase" + unnamedText},
        {"unnamed byte, IspChecksum", kShipped, unnamed(IspCommand::IspChecksum),
         "IspChecksum" + unnamedText},
        {"unnamed byte, IspExit", kShipped, unnamed(IspCommand::IspExit), "IspExit" + unnamedText},
        {"unnamed byte, Chip1Prepare", kSelector3, unnamed(IspCommand::Chip1Prepare),
         "Chip1Prepare" + unnamedText},
        {"unnamed byte, Chip1Erase", kSelector3, unnamed(IspCommand::Chip1Erase),
         "Chip1Erase" + unnamedText},
        {"unnamed byte, Chip1EraseStatus", kSelector3, unnamed(IspCommand::Chip1EraseStatus),
         "Chip1EraseStatus" + unnamedText},
        {"unnamed byte, Chip1Checksum", kSelector3, unnamed(IspCommand::Chip1Checksum),
         "Chip1Checksum" + unnamedText},
        {"unnamed byte, Chip1End", kSelector3, unnamed(IspCommand::Chip1End),
         "Chip1End" + unnamedText},

        {"IspExit version reversed", kShipped, exitVersion({3, 0, 1, 'V'}),
         exitText + "03 00 01 56" + exitExpected},
        {"IspExit version in ASCII", kShipped, exitVersion({'V', '1', '0', '3'}),
         exitText + "56 31 30 33" + exitExpected},
        {"IspExit version with another letter", kShipped, exitVersion({'E', 1, 0, 3}),
         exitText + "45 01 00 03" + exitExpected},
    };
}

struct Run {
    SimulationResult result;
    std::size_t changed = 0;
    MutationTrace trace;
};

Run Simulate(const SimulatedPackage& package,
             const std::function<HostMutation(const Context&)>& make, bool ispDock = false) {
    Context context{SyntheticExpectation(package.selector), std::make_shared<MutationTrace>()};
    DockConfig config;
    config.ispMode = ispDock;
    config.expected = context.expected;
    CEmulatedDock dock(config);
    CMutatingBus bus(
        dock, make ? make(context) : [](auto&, auto&, auto&) {});
    std::ostringstream log;
    Run run;
    run.result = RunSimulatedUpgrade(bus, dock, package.path, log, false);
    run.changed = bus.Changed();
    run.trace = *context.trace;
    return run;
}

std::string UnequalImages(const DockReport& report) {
    std::string names;
    const auto add = [&](const char* name, const ChipImageResult& chip) {
        if (chip.Equal()) return;
        if (!names.empty()) names += ", ";
        names += name;
        if (chip.firstDifference) names += " @" + std::to_string(*chip.firstDifference);
    };
    add("Chip 3", report.chip3);
    add("Chip 2 file 1/2", report.chip2[0]);
    add("Chip 2 file 2/2", report.chip2[1]);
    add("Chip 1", report.chip1);
    return names.empty() ? "none" : names;
}

TEST(MutationTable, EveryHostMutationIsCaughtAndNamedAndTheHonestHostPasses) {
    int mutations = 0;
    int caught = 0;
    const auto rows = Rows();
    std::printf("%-42s %-13s %10s  %s\n", "mutation", "host verdicts", "violations",
                "images unequal (first difference)");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto run = Simulate(row.package, row.mutation, row.ispDock);
        const auto& report = run.result.report;
        std::printf("%-42s %-13s %10zu  %s\n", row.name,
                    run.result.outcome.Succeeded() ? "passed" : "failed",
                    report.violations.size(), UnequalImages(report).c_str());
        ASSERT_TRUE(run.result.offered);
        if (!row.mutation) {
            EXPECT_EQ(run.changed, 0u);
            EXPECT_TRUE(run.result.succeeded) << report.ToJson();
            continue;
        }
        ++mutations;
        ASSERT_GT(run.changed, 0u) << "the mutation never struck";
        ASSERT_TRUE(run.trace.heldBackMatched);

        EXPECT_FALSE(run.result.succeeded);
        EXPECT_FALSE(report.Passed()) << report.ToJson();
        if (!row.violation.empty()) {
            EXPECT_THAT(report.violations, ::testing::Contains(HasSubstr(row.violation)))
                << report.ToJson();
        }
        if (row.unequal != Chip::None) {
            // The comparison points at the very byte the mutation changed first.
            const auto& chip = Result(report, row.unequal);
            EXPECT_TRUE(chip.due);
            ASSERT_TRUE(run.trace.firstChangedByte.has_value());
            EXPECT_EQ(chip.firstDifference, run.trace.firstChangedByte) << report.ToJson();
        }
        if (row.onlyTheComparisonTells) {
            EXPECT_TRUE(run.result.outcome.Succeeded()) << "a verdict of the host failed";
            EXPECT_THAT(report.violations, ::testing::IsEmpty());
        }
        if (!run.result.succeeded && !report.Passed()) ++caught;
    }
    std::printf("mutations caught by the dock: %d of %d\n", caught, mutations);
}

}  // namespace
}  // namespace tamblor::test

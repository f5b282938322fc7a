// Every start the operator can make against every way the dock can misbehave, run twice: once
// through the engine and the step dock on one thread, bounded in delivered items rather than in
// seconds, and once through the command line's own code, whose exit status must agree with its
// log and with the first run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ArrivalFirstBus.h"
#include "cli/Commands.h"
#include "cli/SimulatedUpgrade.h"
#include "dock/DockExpectation.h"
#include "hid/emulated/StepRun.h"
#include "package/SyntheticImages.h"

namespace tamblor::test {
namespace {

const char* PackageFor(char selector) {
    switch (selector) {
        case '2':
            return TAMBLOR_MATRIX_PACKAGE_2;
        case '3':
            return TAMBLOR_MATRIX_PACKAGE_3;
        default:
            return TAMBLOR_MATRIX_PACKAGE_1;
    }
}

// Chunks of each stream of the packages under test, as the cutting rule makes them.
std::uint64_t PlainChunks(std::uint32_t length) { return (length + 58) / 59; }
std::uint64_t PagedChunks(std::uint32_t length) {
    return length / 256 * 5 + PlainChunks(length % 256);
}
const std::uint64_t kChip2File1Chunks = PlainChunks(kSyntheticLengths[kSegChip2File1]);
const std::uint64_t kChip2File2Chunks = PlainChunks(kSyntheticLengths[kSegChip2File2]);
const std::uint64_t kChip3Chunks = PlainChunks(kSyntheticLengths[kSegChip3]);
const std::uint64_t kChip1Chunks = PagedChunks(kSyntheticLengths[kSegChip1]);

// The value each dock fault is tried with; every fault the dock knows must have one here.
const std::map<std::string, std::string> kFaultArguments = {
    {"isp-erase-fail", "isp-erase-fail"},
    {"chip1-prepare-fail", "chip1-prepare-fail"},
    {"chip1-erase-fail", "chip1-erase-fail"},
    {"chip1-erase-busy", "chip1-erase-busy=3"},
    {"chip3-checksum-wrong", "chip3-checksum-wrong"},
    {"chip1-checksum-wrong", "chip1-checksum-wrong"},
    {"remove-after-chunks", "remove-after-chunks=2"},
    {"unsolicited-after-chunks", "unsolicited-after-chunks=2"},
    {"no-return-after-isp-enter", "no-return-after-isp-enter"},
    {"other-pid", "other-pid"},
    {"other-version-number", "other-version-number"},
};

// The fault names of the dock's help text, in its order.
std::vector<std::string> DockFaultNames() {
    std::vector<std::string> names;
    std::istringstream help(DockFaultHelp());
    std::string line;
    while (std::getline(help, line)) {
        std::istringstream words(line);
        std::string usage;
        if (!(words >> usage)) continue;
        names.push_back(usage.substr(0, usage.find_first_of("=[")));
    }
    return names;
}

// What a row must come to.
struct Expected {
    bool success = false;
    // A line the operator's log must hold (the failure that explains the exit status).
    std::string line;
    // A note the oracle must make, when the dock can tell more than the log.
    std::string violation;
    bool offered = true;
    bool awaitingDock = false;
    // Set where the tool does what it must not (a success the dock refutes, a silent stall),
    // and why it does: the row then holds the tool to exactly that, so that a mend shows here.
    std::string limitation;
    bool stalls = false;  // nothing left to happen, mid-sequence, and no word about it
};

// A report nobody asked for, arriving just ahead of the answer to the `nth` `awaiting`, with
// bytes 5 and 6 as given (where statuses and checksums are read).
struct Stray {
    IspCommand awaiting;
    std::uint8_t byte5;
    std::uint8_t byte6;
    int nth = 1;
};

struct MatrixRow {
    std::string name;
    char selector = '1';
    bool isp = false;
    std::vector<std::string> faults;  // as --fault takes them
    bool arrivalFirst = false;
    int presses = 1;
    Expected expected;
    std::optional<Stray> stray;
};

Expected Success() {
    Expected e;
    e.success = true;
    e.line = "Chip 3 Checksum pass, ISP Success!";
    return e;
}
Expected Failure(std::string line, std::string violation = {}) {
    Expected e;
    e.line = std::move(line);
    e.violation = std::move(violation);
    return e;
}
// The log tells of no failure, but the dock saw the host do what it must not.
Expected FalseSuccess(std::string violation, std::string limitation) {
    Expected e = Success();
    e.success = false;
    e.violation = std::move(violation);
    e.limitation = std::move(limitation);
    return e;
}

// The answers carry nothing that names the report they answer, so a report nobody asked for
// that reaches the host while an answer is due is taken for that answer.
const char* const kNoVerdictForChip2 =
    "Chip 2 has no verdict: the stray shifts every later answer by one and no check reads them";
const char* const kStraySumTakenForTheAnswer =
    "a stray holding the expected sum reads as the checksum reply; nothing tells them apart";

// The plain fault rows: what each fault must do to a run that starts in this mode with this
// selector. Chip 1 is only programmed from AP mode with selector '3'.
Expected ExpectFault(const std::string& fault, char selector, bool isp) {
    const bool chip1 = !isp && selector == '3';
    if (fault == "isp-erase-fail") return Failure("ISP Chip 3 ERASE ERROR!");
    if (fault == "chip3-checksum-wrong") return Failure("ISP Chip 3 false!");
    if (fault == "chip1-prepare-fail")
        return chip1 ? Failure("ISP Chip 1 FLASH ERROR!") : Success();
    if (fault == "chip1-erase-fail") return chip1 ? Failure("ISP Chip 1 ERASE ERROR!") : Success();
    // A failed Chip 1 verdict fails the run, though Chip 3 follows and passes.
    if (fault == "chip1-checksum-wrong") return chip1 ? Failure("ISP false!") : Success();
    if (fault == "remove-after-chunks") return Failure("Error!, restart please.");
    if (fault == "unsolicited-after-chunks") {
        // The stray report follows the second chunk's answer and is taken for the third's, so
        // the engine runs one report ahead of the dock for the rest of the stream. Chip 3
        // then reads the last chunk's answer as its checksum and fails; Chip 1 likewise. Chip
        // 2 has no verdict: the log says success, and only the dock saw chunks written
        // before it had answered the one before.
        if (!isp && selector == '2') return FalseSuccess("was still unread", kNoVerdictForChip2);
        return Failure(chip1 ? "ISP false!" : "ISP Chip 3 false!");
    }
    if (fault == "no-return-after-isp-enter") {
        if (isp) return Success();
        Expected e = Failure("No Device found!");
        e.awaitingDock = true;
        return e;
    }
    if (fault == "other-pid" || fault == "other-version-number") {
        Expected e = Failure("No device found!");
        e.offered = false;
        return e;
    }
    return Success();
}

MatrixRow Row(std::string name, char selector, bool isp, std::vector<std::string> faults,
              Expected expected) {
    MatrixRow row;
    row.name = std::move(name);
    row.selector = selector;
    row.isp = isp;
    row.faults = std::move(faults);
    row.expected = std::move(expected);
    return row;
}

std::vector<MatrixRow> Rows() {
    std::vector<MatrixRow> rows;
    const auto start = [](char selector, bool isp) {
        return std::string("selector ") + selector + (isp ? ", ISP, " : ", AP, ");
    };
    // Selector x start mode x dock fault.
    for (const char selector : {'1', '2', '3'}) {
        for (const bool isp : {false, true}) {
            rows.push_back(Row(start(selector, isp) + "no fault", selector, isp, {}, Success()));
            for (const auto& name : DockFaultNames()) {
                const auto argument = kFaultArguments.find(name);
                if (argument == kFaultArguments.end()) continue;  // reported by the test
                rows.push_back(Row(start(selector, isp) + argument->second, selector, isp,
                                   {argument->second}, ExpectFault(name, selector, isp)));
            }
        }
    }

    // Removal of the dock at the first, a middle and the last chunk of each stream: the chunk
    // goes unanswered and the dock is gone. Chunks are counted over the dock's life.
    struct Stream {
        const char* name;
        char selector;
        std::uint64_t before;  // chunks of the streams that come first
        std::uint64_t chunks;
    };
    const Stream streams[] = {
        {"Chip 2 file 1/2", '2', 0, kChip2File1Chunks},
        {"Chip 2 file 2/2", '2', kChip2File1Chunks, kChip2File2Chunks},
        {"Chip 3", '1', 0, kChip3Chunks},
        {"Chip 1", '3', 0, kChip1Chunks},
    };
    for (const auto& s : streams) {
        const std::pair<const char*, std::uint64_t> places[] = {
            {"first", 1}, {"middle", (s.chunks + 1) / 2}, {"last", s.chunks}};
        for (const auto& [place, n] : places) {
            rows.push_back(Row(std::string("removal at the ") + place + " chunk of " + s.name,
                               s.selector, false,
                               {"remove-after-chunks=" + std::to_string(s.before + n)},
                               Failure("Error!, restart please.")));
        }
    }

    // A stray report after the answer to a middle and to the last chunk of each stream.
    const auto stray = [&](const Stream& s, const char* place, std::uint64_t n, Expected e) {
        rows.push_back(
            Row(std::string("stray report after the ") + place + " chunk of " + s.name, s.selector,
                false, {"unsolicited-after-chunks=" + std::to_string(s.before + n)}, std::move(e)));
    };
    const Expected chip2Stray = FalseSuccess("was still unread", kNoVerdictForChip2);
    stray(streams[0], "middle", kChip2File1Chunks / 2, chip2Stray);
    // Taken for the answer to file 2/2's first chunk: one report ahead for all of file 2/2.
    stray(streams[0], "last", kChip2File1Chunks, chip2Stray);
    stray(streams[1], "middle", kChip2File2Chunks / 2, chip2Stray);
    // Arrives while the engine waits for the dock to restart, and changes nothing.
    stray(streams[1], "last", kChip2File2Chunks, Success());
    stray(streams[2], "middle", kChip3Chunks / 2, Failure("ISP Chip 3 false!"));
    // Arrives while IspChecksum waits for its answer and is taken for it.
    stray(streams[2], "last", kChip3Chunks, Failure("ISP Chip 3 false!"));
    stray(streams[3], "middle", kChip1Chunks / 2, Failure("ISP false!", "was still unread"));
    stray(streams[3], "last", kChip1Chunks, Failure("ISP false!", "was still unread"));

    // What a stray report can do where a status or a checksum is read: one that carries the
    // right sum passes a verification; one that says "done" skips the wait for an erase.
    const auto verdictStray = [&](std::string name, char selector, std::vector<std::string> faults,
                                  Stray stray, Expected e, bool isp = false) {
        auto row = Row(std::move(name), selector, isp, std::move(faults), std::move(e));
        row.stray = stray;
        rows.push_back(std::move(row));
    };
    const auto sum = [](std::size_t segment, int byte) {
        return static_cast<std::uint8_t>(kSyntheticSums[segment] >> (byte == 5 ? 8 : 0));
    };
    const Stray chip3Sum{IspCommand::IspChecksum, sum(kSegChip3, 5), sum(kSegChip3, 6)};
    const Stray chip1Sum{IspCommand::Chip1Checksum, sum(kSegChip1, 5), sum(kSegChip1, 6)};
    verdictStray("stray with Chip 3's sum while IspChecksum awaits its answer", '1', {}, chip3Sum,
                 FalseSuccess("IspExit written while the answer to IspChecksum",
                              kStraySumTakenForTheAnswer));
    verdictStray("the same, the dock's own Chip 3 sum wrong", '1', {"chip3-checksum-wrong"},
                 chip3Sum,
                 FalseSuccess("IspExit written while the answer to IspChecksum",
                              kStraySumTakenForTheAnswer));
    verdictStray("stray with Chip 1's sum while Chip1Checksum awaits, the dock's sum wrong", '3',
                 {"chip1-checksum-wrong"}, chip1Sum,
                 FalseSuccess("Chip1End written while the answer to Chip1Checksum",
                              kStraySumTakenForTheAnswer));
    verdictStray("stray \"erase done\" while Chip1EraseStatus awaits, the dock still erasing", '3',
                 {"chip1-erase-busy=3"}, Stray{IspCommand::Chip1EraseStatus, 0, 0},
                 Failure("ISP false!", "data chunk while Chip 1 is erasing"));
    verdictStray("stray \"erase OK\" while IspErase awaits, the erase failing", '1',
                 {"isp-erase-fail"}, Stray{IspCommand::IspErase, 0, 0},
                 Failure("ISP Chip 3 false!", "without a successful IspErase"));
    verdictStray("stray \"erase failed\" while IspErase awaits, the erase succeeding", '1', {},
                 Stray{IspCommand::IspErase, 1, 0}, Failure("ISP Chip 3 ERASE ERROR!"));

    // Strays where the scan queries the dock: before the offer, and after the restart into the
    // boot loader, where the mode reply drives the sequence on. A query's answer says what it
    // answers, so the stray is dropped and the answer behind it is taken.
    verdictStray("stray while GetMode awaits its answer, AP", '1', {},
                 Stray{IspCommand::GetMode, 0, 0}, Success());
    verdictStray("stray while GetVersion awaits its answer", '1', {},
                 Stray{IspCommand::GetVersion, 0, 0}, Success());
    verdictStray("stray while GetMode awaits its answer, ISP", '1', {},
                 Stray{IspCommand::GetMode, 0, 0}, Success(), true);
    verdictStray("stray while GetMode awaits the restarted dock's answer", '1', {},
                 Stray{IspCommand::GetMode, 0, 0, 2}, Success());

    // Both orders of the notices of each restart, and Start pressed twice in a row.
    for (const char selector : {'1', '2', '3'}) {
        for (const bool isp : {false, true}) {
            for (const bool arrivalFirst : {false, true}) {
                auto row =
                    Row(start(selector, isp) + (arrivalFirst ? "arrival noticed before removal"
                                                             : "removal noticed before arrival"),
                        selector, isp, {}, Success());
                row.arrivalFirst = arrivalFirst;
                rows.push_back(std::move(row));
            }
            auto twice =
                Row(start(selector, isp) + "Start pressed twice", selector, isp, {}, Success());
            twice.presses = 2;
            rows.push_back(std::move(twice));
        }
    }
    return rows;
}

DockConfig ConfigFor(const MatrixRow& row) {
    DockConfig config;
    config.ispMode = row.isp;
    for (const auto& fault : row.faults) {
        std::string error;
        EXPECT_TRUE(ParseDockFault(fault, config.faults, error)) << error;
    }
    config.expected = LoadDockExpectation(PackageFor(row.selector));
    return config;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        // A progress bar drawn on a terminal is cleared before each line.
        if (const auto bar = line.rfind("\033[K"); bar != std::string::npos) line.erase(0, bar + 3);
        lines.push_back(line);
    }
    return lines;
}

// The same row through the command line's own code.
struct CliRun {
    std::optional<int> exitStatus;  // empty: the command line cannot make this row
    std::vector<std::string> lines;
    bool dockComplained = false;  // a violation or an image the dock found wrong, on stderr
    bool offered = true;
};

CliRun RunCli(const MatrixRow& row) {
    CliRun run;
    // The command line presses Start once and has no way to slip in a report of its own.
    if (row.presses != 1 || row.stray) return run;
    const char* package = PackageFor(row.selector);
    std::ostringstream out;
    std::ostringstream err;
    if (row.arrivalFirst) {
        // The command line's simulation with the notices of every restart swapped.
        CEmulatedDock dock(ConfigFor(row));
        CArrivalFirstBus bus(dock);
        const auto result = RunSimulatedUpgrade(bus, dock, package, out, false);
        run.exitStatus = result.succeeded ? 0 : 1;
        run.dockComplained = !result.report.Passed();
        run.offered = result.offered;
    } else {
        std::vector<std::string> args = {"--simulate", "--package", package};
        if (row.isp) args.insert(args.end(), {"--device-mode", "isp"});
        for (const auto& fault : row.faults) args.insert(args.end(), {"--fault", fault});
        run.exitStatus = RunUpgradeCommand(args, package, out, err);
        for (const auto& line : SplitLines(err.str())) {
            run.dockComplained = run.dockComplained || line.starts_with("violation: ") ||
                                 line.starts_with("dock: ") || line.starts_with("{");
            if (line.find("was not offered") != std::string::npos) run.offered = false;
        }
    }
    run.lines = SplitLines(out.str());
    return run;
}

std::string FirstFailure(const std::vector<std::string>& lines) {
    const auto it = std::find_if(lines.begin(), lines.end(), IsFailureLine);
    return it == lines.end() ? "" : *it;
}

std::string Describe(const RunOutcome& o) {
    if (!o.Ended()) return RunEndName(o.end);
    if (!o.offered) return "not offered";
    if (o.end == RunEnd::AwaitingDock) return "awaiting the dock";
    if (o.engineSuccess) return o.oracle.Passed() ? "success" : "log: success";
    return "failed: " + FirstFailure(o.lines);
}

std::string OracleVerdict(const DockReport& report) {
    if (report.Passed()) return "passed";
    std::string text = "not passed";
    const auto findings = report.ChipFindings();
    if (!report.violations.empty()) {
        text += " (" + std::to_string(report.violations.size()) +
                " violations: " + report.violations.front() + ")";
    } else if (!findings.empty()) {
        text += " (" + findings.front() + ")";
    }
    return text;
}

std::string Cut(std::string text, std::size_t width) {
    if (text.size() > width) text = text.substr(0, width - 3) + "...";
    return text;
}

TEST(FaultMatrix, EveryDockFaultIsCovered) {
    for (const auto& name : DockFaultNames()) {
        EXPECT_TRUE(kFaultArguments.count(name)) << "the matrix does not try dock fault " << name;
    }
    EXPECT_EQ(DockFaultNames().size(), kFaultArguments.size());
}

// Everything wrong with one row, in words.
std::vector<std::string> Problems(const MatrixRow& row, const RunOutcome& outcome,
                                  const CliRun& cli) {
    std::vector<std::string> problems;
    const auto check = [&](bool ok, std::string what) {
        if (!ok) problems.push_back(std::move(what));
    };
    const auto& e = row.expected;
    const auto has = [](const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };

    // The run ends: success, a failure line, or a wait for a dock that is gone.
    check(e.stalls ? outcome.end == RunEnd::Stalled : outcome.Ended(),
          std::string(RunEndName(outcome.end)) + " in state " + std::to_string(outcome.state) +
              " after " + std::to_string(outcome.steps) + " items");
    check(outcome.offered == e.offered, "offered: " + std::to_string(outcome.offered));
    check(outcome.Succeeded() == e.success,
          std::string(outcome.Succeeded() ? "succeeded" : "failed") + ", oracle " +
              OracleVerdict(outcome.oracle));
    check((outcome.end == RunEnd::AwaitingDock) == e.awaitingDock,
          std::string("ended ") + RunEndName(outcome.end));
    check(e.line.empty() || has(outcome.lines, e.line), "no line \"" + e.line + "\"");
    check(e.violation.empty() ||
              std::any_of(
                  outcome.oracle.violations.begin(), outcome.oracle.violations.end(),
                  [&](const std::string& v) { return v.find(e.violation) != std::string::npos; }),
          "no violation with \"" + e.violation + "\"");
    // The log claims success only where the run succeeded, or where a known limitation lets a
    // stray report fake one.
    check(outcome.engineSuccess == (e.success || (!e.limitation.empty() && !e.line.empty())),
          outcome.engineSuccess ? "the log claims success" : "the log claims no success");
    // The outcome and the operator's log tell one story: the same verdict, the same first
    // failure line.
    check(FailureOf(outcome.result) == FailureInLog(outcome.lines),
          "outcome says \"" + FailureOf(outcome.result) + "\", the log \"" +
              FailureInLog(outcome.lines) + "\"");
    check(outcome.result.failureLine == FirstFailure(outcome.lines),
          "outcome's failure line \"" + outcome.result.failureLine + "\"");
    // Success only with every chip as it should be and every verdict passed.
    if (outcome.Succeeded()) {
        check(outcome.oracle.AllChipsEqual(), "success with a chip unequal");
        check(FirstFailure(outcome.lines).empty(), "success after a failure line");
    }

    if (cli.exitStatus) {
        // The command line's exit status agrees with what it printed...
        const bool printedSuccess = cli.offered && EndedInSuccess(cli.lines) && !cli.dockComplained;
        check((*cli.exitStatus == 0) == printedSuccess,
              "command line exit " + std::to_string(*cli.exitStatus) + " against its output");
        // ...and with the step run.
        check((*cli.exitStatus == 0) == outcome.Succeeded(),
              "command line exit " + std::to_string(*cli.exitStatus) + " against the step run");
        check(FirstFailure(cli.lines) == FirstFailure(outcome.lines),
              "command line's first failure \"" + FirstFailure(cli.lines) + "\"");
    }
    return problems;
}

TEST(FaultMatrix, EveryRowEndsAndTellsTheTruth) {
    const auto rows = Rows();
    std::printf("%-58s %-8s %-40s %-6s %-34s %s\n", "row", "expected", "outcome (step run)", "cli",
                "last log line", "oracle");
    int asExpected = 0;
    int limitations = 0;
    for (const auto& row : rows) {
        RunOptions options;
        options.arrivalFirst = row.arrivalFirst;
        options.presses = row.presses;
        if (row.stray) {
            options.onWrite = [stray = *row.stray, seen = 0](
                                  CStepDock& dock, std::span<const std::uint8_t> r) mutable {
                if (!IsCommandReport(r) || r[4] != static_cast<std::uint8_t>(stray.awaiting) ||
                    ++seen != stray.nth)
                    return;
                Report report{};
                report[0] = kReportId;
                report[5] = stray.byte5;
                report[6] = stray.byte6;
                dock.InjectReport(report);
            };
        }
        const auto outcome = RunToEnd(ConfigFor(row), PackageFor(row.selector), options);
        const auto cli = RunCli(row);
        const auto problems = Problems(row, outcome, cli);
        std::printf("%-58s %-8s %-40s %-6s %-34s %s%s\n", row.name.c_str(),
                    row.expected.success ? "exit 0" : "exit 1", Cut(Describe(outcome), 40).c_str(),
                    cli.exitStatus ? ("exit " + std::to_string(*cli.exitStatus)).c_str() : "n/a",
                    Cut(outcome.lines.empty() ? "" : outcome.lines.back(), 34).c_str(),
                    OracleVerdict(outcome.oracle).c_str(), problems.empty() ? "" : "  <-- WRONG");
        if (!row.expected.limitation.empty()) {
            std::printf("    known limitation: %s\n", row.expected.limitation.c_str());
            ++limitations;
        }
        for (const auto& problem : problems) ADD_FAILURE() << row.name << ": " << problem;
        if (problems.empty()) ++asExpected;
    }
    std::printf("fault matrix: %zu rows, %d as expected, %d of them known limitations\n",
                rows.size(), asExpected, limitations);
}

}  // namespace
}  // namespace tamblor::test

#include "EngineScenario.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "FuzzCheck.h"
#include "HostChecker.h"
#include "MemoryFile.h"
#include "hid/emulated/StepRun.h"
#include "package/PackageWriter.h"
#include "package/SyntheticImages.h"

namespace tamblor::fuzz {
namespace {

constexpr std::array<std::uint8_t, 4> kPackageVersion = {'V', 1, 0, 3};

// The packages of the scenarios, written once per process, each to a memory file.
class CPackageShelf {
  public:
    const ScenarioPackage& Get(std::size_t shape, char selector) {
        const auto key = std::make_pair(shape, selector);
        if (const auto it = m_made.find(key); it != m_made.end()) return it->second;
        return m_made.emplace(key, Make(shape, selector)).first->second;
    }

  private:
    ScenarioPackage Make(std::size_t shape, char selector) {
        ScenarioPackage package;
        for (std::size_t k = 0; k < kSegmentCount; ++k) {
            auto image = MakeSyntheticImage(k);
            image.resize(kPackageShapes[shape].lengths[k]);
            package.segments[k] = std::move(image);
        }
        SegmentViews views;
        for (std::size_t k = 0; k < kSegmentCount; ++k) views[k] = package.segments[k];
        RecordFields fields;
        fields.selector = std::string(1, selector);
        static const std::string kCarrier = "Carrier of a fuzzed package.\n";
        const std::span carrier(reinterpret_cast<const std::uint8_t*>(kCarrier.data()),
                                kCarrier.size());
        const auto build = BuildPackage(fields, views, carrier);
        if (!build.error.empty()) FuzzFail("the packer refused a scenario package: " + build.error);

        std::vector<std::uint8_t> bytes(kCarrier.begin(), kCarrier.end());
        bytes.insert(bytes.end(), build.bytes.begin(), build.bytes.end());
        const auto& file = *m_files.emplace_back(std::make_unique<CMemoryFile>(
            "shape" + std::to_string(shape) + "-" + selector + ".pkg"));
        file.Write(bytes.data(), bytes.size());
        package.path = file.Path();

        auto expected = std::make_shared<DockExpectation>();
        expected->chip3 = package.segments[kSegChip3];
        expected->chip2 = {package.segments[kSegChip2File1], package.segments[kSegChip2File2]};
        expected->chip1 = package.segments[kSegChip1];
        expected->version = kPackageVersion;
        expected->startSelector = selector;
        package.expected = std::move(expected);
        return package;
    }

    std::vector<std::unique_ptr<CMemoryFile>> m_files;
    std::map<std::pair<std::size_t, char>, ScenarioPackage> m_made;
};

CPackageShelf& Shelf() {
    static CPackageShelf shelf;
    return shelf;
}

// The input, read front to back; past its end every read gives 0.
class CInput {
  public:
    explicit CInput(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    bool Done() const { return m_at >= m_bytes.size(); }
    std::uint8_t Next() { return Done() ? 0 : m_bytes[m_at++]; }
    void Fill(Report& report, std::size_t first, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) report[first + i] = Next();
    }

  private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_at = 0;
};

struct Header {
    DockConfig config;
    std::size_t shape = 0;
    char selector = '1';
    bool arrivalFirst = false;
    bool contractBroken = false;
    ReportLengths lengths{64, 64};
};

Header ReadHeader(CInput& input) {
    Header h;
    const auto b0 = input.Next();
    const auto b1 = input.Next();
    const auto b2 = input.Next();
    h.config.ispMode = (b0 & 1) != 0;
    h.selector = kSelectors[(b0 >> 1) & 3];
    h.shape = (b0 >> 3) & 3;
    h.arrivalFirst = (b0 & 0x20) != 0;
    h.contractBroken = (b0 & 0x40) != 0;
    if (b0 & 0x80) h.config.version = kPackageVersion;
    auto& f = h.config.faults;
    f.ispEraseFail = (b1 & 0x01) != 0;
    f.chip1PrepareFail = (b1 & 0x02) != 0;
    f.chip1EraseFail = (b1 & 0x04) != 0;
    f.chip3ChecksumWrong = (b1 & 0x08) != 0;
    f.chip1ChecksumWrong = (b1 & 0x10) != 0;
    f.noReturnAfterIspEnter = (b1 & 0x20) != 0;
    f.chip1EraseBusy = b2 & 7;
    h.lengths = kReportLengths[(b2 >> 3) & 7];
    h.config.inputReportLength = h.lengths.input;
    h.config.outputReportLength = h.lengths.output;
    return h;
}

// Answers whose content the contract leaves free: a chunk's acknowledgement (never a
// well-formed reply from this dock) and the answer to Chip1End.
bool ContentIsFree(const Report& reply) {
    return !IsWellFormedReply(reply) || reply[1] == static_cast<std::uint8_t>(IspCommand::Chip1End);
}

bool ReadsAsModeOrVersion(const Report& reply) {
    return IsWellFormedReply(reply) && (reply[1] == kReplyMode || reply[1] == kReplyVersion);
}

// TAMBLOR_FUZZ_TRACE set in the environment tells on stderr what a scenario does, item by
// item: for reading a finding.
bool Tracing() {
    static const bool on = std::getenv("TAMBLOR_FUZZ_TRACE") != nullptr;
    return on;
}

void Trace(const std::string& text) {
    if (Tracing()) std::fprintf(stderr, "  %s\n", text.c_str());
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    char byte[4];
    for (const auto b : bytes) {
        std::snprintf(byte, sizeof byte, "%02X ", b);
        text += byte;
    }
    return text;
}

std::string DescribeHostReport(std::span<const std::uint8_t> r) {
    if (r.size() < kReportSize) return "host writes " + std::to_string(r.size()) + " bytes";
    if (IsCommandReport(r))
        return "host writes command " + std::to_string(r[4]) + ": " + Hex(r.first(13));
    return "host writes chunk " + std::to_string(r[2] | r[3] << 8) + " of " + std::to_string(r[1]) +
           " bytes";
}

// Hands the dock's next item to the engine.
bool Deliver(CStepRun& run) {
    if (Tracing() && run.Dock().HasEvents()) {
        const auto& next = run.Dock().Next();
        using Kind = CStepDock::Event::Kind;
        Trace(next.kind == Kind::Reply     ? "dock answers " + Hex(std::span(next.report).first(9))
              : next.kind == Kind::Removal ? "removal of " + next.path
                                           : "arrival of " + next.path);
    }
    return run.Step();
}

bool Contains(const std::vector<std::string>& lines, std::string_view prefix) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.starts_with(prefix); });
}

bool Equal(std::span<const std::uint8_t> stored, const std::vector<std::uint8_t>& expected) {
    return std::equal(stored.begin(), stored.end(), expected.begin(), expected.end());
}

// The dock's notes when the last sequence began and when it ended: what the host did wrong
// while it ran. (What a rescan does while the engine idles is no part of it.)
class CSequenceWatch {
  public:
    explicit CSequenceWatch(CStepRun& run) : m_run(run) {}

    void PressStart() {
        const bool wasRunning = m_run.Engine().IsUpgradeRunning();
        auto before = m_run.Dock().Verdict().violations;
        m_run.PressStart();
        if (wasRunning || !m_run.Engine().IsUpgradeRunning()) return;  // not taken
        m_atStart = std::move(before);
        m_taken = true;
        m_running = true;
    }
    // After each thing that happens: notes the end of the sequence.
    void Update() {
        if (!m_running || m_run.Engine().IsUpgradeRunning()) return;
        m_atEnd = m_run.Dock().Verdict().violations;
        m_running = false;
    }
    bool Taken() const { return m_taken; }
    const std::vector<std::string>& AtStart() const { return m_atStart; }
    std::vector<std::string> AtEnd() const {
        return m_running ? m_run.Dock().Verdict().violations : m_atEnd;
    }

  private:
    CStepRun& m_run;
    bool m_taken = false;
    bool m_running = false;
    std::vector<std::string> m_atStart;
    std::vector<std::string> m_atEnd;
};

// A query asked again (a rescan) is owed once: the answer to the first may have been lost with
// the channel the rescan closed, and the host cannot wait for an answer that may never come. So
// the answer to the repeat may still be on its way when the sequence begins; the engine drops
// it when it comes (its own tests hold it to that). The dock's note of it says nothing about
// the sequence.
bool IsQueryAnswerStillOnItsWay(const std::string& violation) {
    return violation.ends_with("while the answer to GetMode was still unread") ||
           violation.ends_with("while the answer to GetVersion was still unread");
}

// A run that claims success must leave every chip it programmed holding the package's bytes,
// and the dock must have had nothing to say about the host while the sequence ran.
std::string CheckSuccessClaim(bool claimed, const std::vector<std::string>& lines,
                              const CDockLogic& dock, const DockExpectation& expected,
                              const std::vector<std::string>& violationsAtStart,
                              const std::vector<std::string>& violationsNow) {
    if (!claimed) return {};
    // The dock's own verdicts: a sum it answered wrong must fail the run.
    const auto& faults = dock.Config().faults;
    if (faults.chip3ChecksumWrong) return "success claimed over a wrong Chip 3 checksum";
    if (Contains(lines, "WORK_PREPARE..") && faults.chip1ChecksumWrong)
        return "success claimed over a wrong Chip 1 checksum";
    if (!Equal(dock.Chip3Image(), expected.chip3)) return "success claimed, Chip 3 differs";
    if (Contains(lines, "WORK_PREPARE..") && !Equal(dock.Chip1Image(), expected.chip1))
        return "success claimed, Chip 1 differs";
    if (Contains(lines, "Chip 2 File 1/2 :") && (!Equal(dock.Chip2File(0), expected.chip2[0]) ||
                                                 !Equal(dock.Chip2File(1), expected.chip2[1])))
        return "success claimed, Chip 2 differs";
    // A dock whose notes were full before Start (a hundred, after a storm of rescans) only
    // counts what came since: those cannot be told apart, and the images above still judge.
    if (violationsAtStart.size() >= CDockLogic::kMaxViolationsNoted) return {};
    for (std::size_t i = violationsAtStart.size(); i < violationsNow.size(); ++i) {
        if (!IsQueryAnswerStillOnItsWay(violationsNow[i])) {
            return "success claimed, the dock noted: " + violationsNow[i];
        }
    }
    return {};
}

}  // namespace

const ScenarioPackage& PackageOf(std::size_t shape, char selector) {
    return Shelf().Get(shape, selector);
}

ScenarioResult RunScenario(std::span<const std::uint8_t> bytes) {
    ScenarioResult result;
    if (bytes.size() < kHeaderBytes) return result;
    CInput input(bytes);
    Header header = ReadHeader(input);
    const auto& package = Shelf().Get(header.shape, header.selector);
    header.config.expected = package.expected;

    CHostChecker checker(package, header.lengths.output);
    CStepRun run(header.config, package.path);
    auto& dock = run.Dock();
    dock.SetArrivalFirst(header.arrivalFirst);
    dock.SetWriteWatch([&checker](std::span<const std::uint8_t> r) {
        if (Tracing()) Trace(DescribeHostReport(r));
        checker.OnWrite(r);
    });

    // Generous: every item the dock makes answers one report, and each operation can set off
    // at most one sequence; only an engine that never comes to rest reaches it.
    const std::size_t bound = 256 * (bytes.size() + 1);
    CSequenceWatch sequence(run);

    run.Start();
    while (!input.Done() && checker.Finding().empty() && run.Steps() < bound) {
        sequence.Update();
        const std::uint8_t op = input.Next();
        if (op < 0xA0) {
            Deliver(run);
        } else if (op < 0xB0) {
            for (int i = 0; i < 4 * (op & 0xF) + 2 && Deliver(run);) ++i;
        } else if (op < 0xB8) {
            Trace("operator presses Start upgrade");
            sequence.PressStart();
        } else if (op < 0xBC) {
            Trace("cable pulled");
            dock.Unplug();
        } else if (op < 0xC0) {
            Trace("cable put back");
            dock.Plug();
        } else if (op < 0xD0) {
            Trace("another interface arrives");
            run.ForeignArrival();
        } else if (op < 0xE0) {
            Report content{};
            input.Fill(content, 1, 8);
            Report* next = dock.NextReply();
            if (next == nullptr) continue;
            if (!header.contractBroken && (!ContentIsFree(*next) || ReadsAsModeOrVersion(content)))
                continue;
            Trace("the next answer becomes " + Hex(std::span(content).first(9)));
            std::copy_n(content.begin() + 1, 8, next->begin() + 1);
        } else if (op < 0xF0) {
            Report stray{};
            stray[0] = kReportId;
            input.Fill(stray, 1, 8);
            if (!header.contractBroken) continue;
            Trace("a report nobody asked for: " + Hex(std::span(stray).first(9)));
            dock.InjectReport(stray);
        } else if (header.contractBroken) {
            Trace("the next answer is lost");
            dock.DropNextReply();
        }
    }
    Trace("input ends: everything queued is handed on");
    bool settled = checker.Finding().empty();
    while (settled && run.Dock().HasEvents() && checker.Finding().empty()) {
        sequence.Update();
        if (run.Steps() >= bound) {
            settled = false;
        } else {
            Deliver(run);
        }
    }
    sequence.Update();

    result.lines = LinesSinceStart(run.Ui());
    result.steps = run.Steps();
    result.writes = dock.Writes();
    if (!checker.Finding().empty()) {
        result.finding = checker.Finding();
        return result;
    }
    if (!settled) {
        result.finding = "still busy after " + std::to_string(result.steps) + " items";
        return result;
    }
    if (header.contractBroken) return result;

    if (sequence.Taken()) {
        result.finding =
            CheckSuccessClaim(run.Engine().Outcome().Succeeded(), result.lines, dock.Logic(),
                              *package.expected, sequence.AtStart(), sequence.AtEnd());
        if (!result.finding.empty()) return result;
    }
    if (header.lengths.input == 64 && header.lengths.output == 64) {
        const auto outcome = run.Outcome(true, settled);
        if (!outcome.Ended()) {
            result.finding =
                std::string(RunEndName(outcome.end)) + " in state " + std::to_string(outcome.state);
        }
    }
    return result;
}

}  // namespace tamblor::fuzz

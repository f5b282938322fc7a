// What a run on several docks shows on a terminal or in a log file.
#include <algorithm>
#include <ostream>

#include "FleetOutput.h"
#include "TextFormat.h"
#include "UpgradeVerdict.h"

namespace tamblor {

const char* VerdictName(DockVerdict verdict) {
    switch (verdict) {
        case DockVerdict::Passed:
            return "passed";
        case DockVerdict::Failed:
            return "failed";
        case DockVerdict::Current:
            return "current";
        case DockVerdict::Busy:
            return "busy";
        case DockVerdict::Missing:
            return "missing";
        case DockVerdict::Queried:
            return "queried";
    }
    return "failed";
}

const char* EndName(UpgradeOutcome::End end) {
    switch (end) {
        case UpgradeOutcome::End::NotStarted:
            return "notStarted";
        case UpgradeOutcome::End::Running:
            return "running";
        case UpgradeOutcome::End::Succeeded:
            return "succeeded";
        case UpgradeOutcome::End::CheckFailed:
            return "checkFailed";
        case UpgradeOutcome::End::DeviceLost:
            return "deviceLost";
        case UpgradeOutcome::End::Unfinished:
            return "unfinished";
    }
    return "notStarted";
}

std::string VersionName(const DockSighting& sighting) {
    if (!sighting.version) return {};
    const auto& v = *sighting.version;
    std::string text(1, static_cast<char>(v[0]));
    for (std::size_t i = 1; i < v.size(); ++i) {
        text += v[i] < 10 ? static_cast<char>('0' + v[i]) : '?';
    }
    return PrintableText(text);
}

std::string ModeName(const DockSighting& sighting) {
    if (!sighting.ispMode) return {};
    return *sighting.ispMode ? "ISP" : "AP";
}

namespace {

class CTextFleetOutput final : public IFleetOutput {
  public:
    CTextFleetOutput(std::ostream& out, std::ostream& err, bool terminal, std::string command)
        : m_out(out), m_err(err), m_terminal(terminal), m_command(std::move(command)) {}
    ~CTextFleetOutput() override { EraseBlock(); }

    void Found(const std::string& place, const std::string&) override {
        m_bars.push_back({place, "scan", 0});
        Redraw();
    }
    void Stage(const std::string& place, std::string_view stage) override {
        if (auto* bar = Find(place)) bar->stage = stage;
        Redraw();
    }
    void Progress(const std::string& place, int percent) override {
        if (auto* bar = Find(place); bar != nullptr && bar->percent != percent) {
            bar->percent = percent;
            Redraw();
        }
    }
    void Log(const std::string& place, const std::string& text) override {
        Line(m_out, place + ": " + PrintableText(text));
    }
    void Restart(const std::string&) override {}
    void Outcome(const DockResult& result) override {
        std::string line = result.place + ": ";
        switch (result.verdict) {
            case DockVerdict::Current:
                line += "already has this version or a newer one; left alone";
                break;
            case DockVerdict::Queried:
                return;
            default:
                line += VerdictLine(result.failure);
                break;
        }
        std::erase_if(m_bars, [&](const Bar& bar) { return bar.place == result.place; });
        Line(m_err, line);
    }
    void Summary(const FleetSummary& s) override {
        Line(m_err, "tamblor-cli " + m_command + ": " + std::to_string(s.docks) +
                        (s.docks == 1 ? " dock: " : " docks: ") + std::to_string(s.passed) +
                        " passed, " + std::to_string(s.failed) + " failed, " +
                        std::to_string(s.current) + " already current");
    }
    void Note(const std::string& text) override { Line(m_err, text); }

  private:
    struct Bar {
        std::string place;
        std::string stage;
        int percent = 0;
    };

    Bar* Find(const std::string& place) {
        const auto it = std::find_if(m_bars.begin(), m_bars.end(),
                                     [&](const Bar& bar) { return bar.place == place; });
        return it == m_bars.end() ? nullptr : &*it;
    }

    // The progress block sits below the log; a line goes above it.
    void Line(std::ostream& stream, const std::string& text) {
        EraseBlock();
        m_out.flush();
        stream << text << '\n';
        stream.flush();
        Redraw();
    }

    void EraseBlock() {
        if (m_shown == 0) return;
        m_out << "\033[" << m_shown << "A\r\033[J";
        m_shown = 0;
    }

    void Redraw() {
        if (!m_terminal) return;
        EraseBlock();
        constexpr int kWidth = 30;
        for (const auto& bar : m_bars) {
            const int filled = std::clamp(bar.percent, 0, 100) * kWidth / 100;
            m_out << bar.place << "  " << bar.stage
                  << std::string(bar.stage.size() < 8 ? 8 - bar.stage.size() : 1, ' ') << '['
                  << std::string(static_cast<std::size_t>(filled), '#')
                  << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] "
                  << bar.percent << "%\n";
        }
        m_shown = m_bars.size();
        m_out.flush();
    }

    std::ostream& m_out;
    std::ostream& m_err;
    const bool m_terminal;
    const std::string m_command;
    std::vector<Bar> m_bars;
    std::size_t m_shown = 0;  // lines of the progress block on the terminal
};

}  // namespace

std::unique_ptr<IFleetOutput> MakeTextFleetOutput(std::ostream& out, std::ostream& err,
                                                  bool terminal, std::string command) {
    return std::make_unique<CTextFleetOutput>(out, err, terminal, std::move(command));
}

}  // namespace tamblor

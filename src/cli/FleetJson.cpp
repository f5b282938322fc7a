// A run on several docks as JSON Lines, for scripts: one event per line on stdout.
#include <ostream>

#include "FleetOutput.h"
#include "TextFormat.h"

namespace tamblor {
namespace {

std::string Quoted(const std::string& text) { return JsonString(text); }

std::string OrNull(const std::string& text) { return text.empty() ? "null" : JsonString(text); }

class CJsonFleetOutput final : public IFleetOutput {
  public:
    CJsonFleetOutput(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    void Found(const std::string& place, const std::string& path) override {
        Event("found", place, ",\"path\":" + Quoted(path));
    }
    void Stage(const std::string& place, std::string_view stage) override {
        Event("stage", place, ",\"stage\":" + Quoted(std::string(stage)));
    }
    void Progress(const std::string& place, int percent) override {
        Event("progress", place, ",\"percent\":" + std::to_string(percent));
    }
    void Log(const std::string& place, const std::string& text) override {
        Event("log", place, ",\"text\":" + Quoted(text));
    }
    void Restart(const std::string& place) override { Event("restart", place, ""); }
    void Outcome(const DockResult& r) override {
        std::string fields = ",\"result\":" + Quoted(VerdictName(r.verdict));
        fields += ",\"failure\":" + OrNull(r.failure);
        fields += ",\"mode\":" + OrNull(ModeName(r.sighting));
        fields += ",\"version\":" + OrNull(VersionName(r.sighting));
        if (r.verdict == DockVerdict::Queried) {
            fields += std::string(",\"wouldUpgrade\":") + (r.wouldUpgrade ? "true" : "false");
        }
        fields += std::string(",\"started\":") + (r.started ? "true" : "false");
        fields += ",\"outcome\":{\"end\":" + Quoted(EndName(r.outcome.end));
        fields += ",\"failureLine\":" + OrNull(r.outcome.failureLine);
        fields += ",\"unfinishedChip\":" + std::to_string(r.outcome.unfinishedChip) + "}";
        Event("outcome", r.place, fields);
    }
    void Summary(const FleetSummary& s) override {
        m_out << "{\"event\":\"summary\",\"docks\":" << s.docks << ",\"passed\":" << s.passed
              << ",\"failed\":" << s.failed << ",\"current\":" << s.current
              << ",\"exitStatus\":" << s.exitStatus << "}\n";
        m_out.flush();
    }
    void Note(const std::string& text) override { m_err << text << '\n' << std::flush; }

  private:
    void Event(const char* name, const std::string& place, const std::string& fields) {
        m_out << "{\"event\":\"" << name << "\",\"place\":" << Quoted(place) << fields << "}\n";
        m_out.flush();
    }

    std::ostream& m_out;
    std::ostream& m_err;
};

class CQuietFleetOutput final : public IFleetOutput {
  public:
    void Found(const std::string&, const std::string&) override {}
    void Stage(const std::string&, std::string_view) override {}
    void Progress(const std::string&, int) override {}
    void Log(const std::string&, const std::string&) override {}
    void Restart(const std::string&) override {}
    void Outcome(const DockResult&) override {}
    void Summary(const FleetSummary&) override {}
    void Note(const std::string&) override {}
};

}  // namespace

std::unique_ptr<IFleetOutput> MakeQuietFleetOutput() {
    return std::make_unique<CQuietFleetOutput>();
}

std::unique_ptr<IFleetOutput> MakeJsonFleetOutput(std::ostream& out, std::ostream& err) {
    return std::make_unique<CJsonFleetOutput>(out, err);
}

}  // namespace tamblor

#include "dock/DockReport.h"

namespace tamblor {
namespace {

void AppendJsonString(std::string& out, const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    out += "\\u00";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0xF];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

const char* Bool(bool value) { return value ? "true" : "false"; }

std::string ChipJson(const ChipImageResult& chip) {
    return std::string("{\"due\":") + Bool(chip.due) + ",\"programmed\":" + Bool(chip.programmed) +
           ",\"expected\":" + std::to_string(chip.expectedBytes) +
           ",\"stored\":" + std::to_string(chip.storedBytes) + ",\"equal\":" + Bool(chip.Equal()) +
           ",\"firstDifference\":" +
           (chip.firstDifference ? std::to_string(*chip.firstDifference) : "null") + "}";
}

std::optional<std::string> ChipFinding(const char* name, const char* segment,
                                       const ChipImageResult& chip) {
    if (chip.Passed()) return std::nullopt;
    std::string line = name;
    if (!chip.due) return line + ": programmed, although this run should leave it alone";
    line += ": " + std::to_string(chip.storedBytes) + " bytes stored, " +
            std::to_string(chip.expectedBytes) + " expected (" + segment + ")";
    if (chip.firstDifference) {
        line += ", first difference at offset " + std::to_string(*chip.firstDifference);
    }
    if (!chip.programmed) line += ", never programmed";
    return line;
}

}  // namespace

bool DockReport::AllChipsEqual() const {
    return chip1.Passed() && chip2[0].Passed() && chip2[1].Passed() && chip3.Passed();
}

std::vector<std::string> DockReport::ChipFindings() const {
    if (!judged) return {"the dock was not told what to expect: no image was judged"};
    std::vector<std::string> findings;
    for (auto finding : {ChipFinding("Chip 3", "segment 0", chip3),
                         ChipFinding("Chip 2 file 1/2", "segment 1", chip2[0]),
                         ChipFinding("Chip 2 file 2/2", "segment 2", chip2[1]),
                         ChipFinding("Chip 1", "segment 4", chip1)}) {
        if (finding) findings.push_back(std::move(*finding));
    }
    return findings;
}

std::string DockReport::ToJson() const {
    std::string json = std::string("{\"passed\":") + Bool(Passed()) +
                       ",\"judged\":" + Bool(judged) + ",\"chips\":{\"chip1\":" + ChipJson(chip1) +
                       ",\"chip2\":[" + ChipJson(chip2[0]) + "," + ChipJson(chip2[1]) +
                       "],\"chip3\":" + ChipJson(chip3) +
                       "},\"chunks\":{\"chip1\":" + std::to_string(chip1Chunks) + ",\"chip2\":[" +
                       std::to_string(chip2Chunks[0]) + "," + std::to_string(chip2Chunks[1]) +
                       "],\"chip3\":" + std::to_string(chip3Chunks) +
                       "},\"sums\":{\"chip1\":" + std::to_string(chip1Sum) +
                       ",\"chip3\":" + std::to_string(chip3Sum) + "},\"violations\":[";
    for (std::size_t i = 0; i < violations.size(); ++i) {
        if (i > 0) json += ',';
        AppendJsonString(json, violations[i]);
    }
    json += "]}";
    return json;
}

}  // namespace tamblor

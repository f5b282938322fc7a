#include "DockReport.h"

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

}  // namespace

std::string DockReport::ToJson() const {
    std::string json = "{\"chunks\":{\"chip1\":" + std::to_string(chip1Chunks) + ",\"chip2\":[" +
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

#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tamblor {

// "0x10C4".
inline std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

// A JSON string literal. Free text from a package record or a device may hold any byte: bytes
// outside printable ASCII are escaped as Latin-1 code points so the output stays valid UTF-8.
inline std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte > 0x7E) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(byte));
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

// A byte as \xNN.
inline void AppendHexEscape(std::string& text, unsigned char byte) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
    text += escaped;
}

// Text from a package record or a device as it may go to a terminal: bytes outside printable
// ASCII become \xNN and a backslash doubles, so no byte can move the cursor or change colours
// and every escape reads back unambiguously.
inline std::string PrintableText(const std::string& text) {
    std::string printable;
    printable.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            printable += "\\\\";
        } else if (byte < 0x20 || byte > 0x7E) {
            AppendHexEscape(printable, byte);
        } else {
            printable += c;
        }
    }
    return printable;
}

// An error line that quotes the user's own words (a path, an argument): control bytes become
// \xNN, so that a newline in a file name cannot split the one line into two and no byte can
// drive the terminal. Other bytes, UTF-8 among them, stay as they are so names read as typed.
inline std::string OneLineText(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            AppendHexEscape(line, byte);
        } else {
            line += c;
        }
    }
    return line;
}

}  // namespace tamblor

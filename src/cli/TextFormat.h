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

// The length of the well-formed UTF-8 sequence at text[at], or 0 when none starts there
// (overlong forms, surrogates and code points past U+10FFFF are not well-formed).
inline std::size_t Utf8SequenceAt(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(at + i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return 0;
    }
    return length;
}

// A JSON string literal. Well-formed UTF-8 (a place or a package's text a user typed) reads
// back as it was; any other byte outside printable ASCII is escaped as a Latin-1 code point, so
// the output stays valid UTF-8 whatever a package record or a device holds.
inline std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (const auto length = byte >= 0x80 ? Utf8SequenceAt(text, i) : 0; length != 0) {
            json.append(text, i, length);
            i += length - 1;
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

#include "dock/DockFaults.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>

namespace tamblor {
namespace {

enum class ValueKind { None, Count, OptionalHex };

struct FaultEntry {
    std::string_view name;
    ValueKind kind;
    // Count: the least value accepted; OptionalHex: the value when none is given.
    std::uint64_t number;
    // The largest value the member it sets can hold: nothing may wrap on the way in.
    std::uint64_t most;
    std::string_view help;
    void (*apply)(DockFaults&, std::uint64_t);
};

constexpr std::uint64_t kMostUnsigned = std::numeric_limits<unsigned>::max();
constexpr std::uint64_t kMostCount = std::numeric_limits<std::uint64_t>::max();

constexpr std::array<FaultEntry, 11> kFaults = {{
    {"isp-erase-fail", ValueKind::None, 0, 0, "IspErase answers a failed status",
     [](DockFaults& f, std::uint64_t) { f.ispEraseFail = true; }},
    {"chip1-prepare-fail", ValueKind::None, 0, 0, "Chip1Prepare answers a failed status",
     [](DockFaults& f, std::uint64_t) { f.chip1PrepareFail = true; }},
    {"chip1-erase-fail", ValueKind::None, 0, 0, "Chip1Erase answers a failed status",
     [](DockFaults& f, std::uint64_t) { f.chip1EraseFail = true; }},
    {"chip1-erase-busy", ValueKind::Count, 0, kMostUnsigned,
     "Chip1EraseStatus answers \"still erasing\" N times before it finishes",
     [](DockFaults& f, std::uint64_t n) { f.chip1EraseBusy = static_cast<unsigned>(n); }},
    {"chip3-checksum-wrong", ValueKind::None, 0, 0, "IspChecksum answers the stored sum plus one",
     [](DockFaults& f, std::uint64_t) { f.chip3ChecksumWrong = true; }},
    {"chip1-checksum-wrong", ValueKind::None, 0, 0, "Chip1Checksum answers the stored sum plus one",
     [](DockFaults& f, std::uint64_t) { f.chip1ChecksumWrong = true; }},
    {"remove-after-chunks", ValueKind::Count, 1, kMostCount,
     "the Nth data chunk is not answered and the dock unplugs",
     [](DockFaults& f, std::uint64_t n) { f.removeAfterChunks = n; }},
    {"unsolicited-after-chunks", ValueKind::Count, 1, kMostCount,
     "an extra, unasked report follows the answer to the Nth data chunk",
     [](DockFaults& f, std::uint64_t n) { f.unsolicitedAfterChunks = n; }},
    {"no-return-after-isp-enter", ValueKind::None, 0, 0,
     "IspEnter makes the dock leave and it never comes back",
     [](DockFaults& f, std::uint64_t) { f.noReturnAfterIspEnter = true; }},
    {"other-pid", ValueKind::OptionalHex, kDefaultOtherPid, 0xFFFF,
     "the dock reports product ID HEX (default F503)",
     [](DockFaults& f, std::uint64_t v) { f.otherPid = static_cast<std::uint16_t>(v); }},
    {"other-version-number", ValueKind::OptionalHex, kDefaultOtherVersionNumber, 0xFFFF,
     "the dock reports HID version number HEX (default 0200)",
     [](DockFaults& f, std::uint64_t v) { f.otherVersionNumber = static_cast<std::uint16_t>(v); }},
}};

bool ParseNumber(std::string_view text, int base, std::uint64_t& value) {
    if (text.empty()) return false;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc{} && ptr == end;
}

std::string Usage(const FaultEntry& entry) {
    std::string usage(entry.name);
    if (entry.kind == ValueKind::Count) usage += "=N";
    if (entry.kind == ValueKind::OptionalHex) usage += "[=HEX]";
    return usage;
}

}  // namespace

bool ParseDockFault(std::string_view fault, DockFaults& faults, std::string& error) {
    const auto equals = fault.find('=');
    const auto name = fault.substr(0, equals);
    const bool hasValue = equals != std::string_view::npos;
    const auto text = hasValue ? fault.substr(equals + 1) : std::string_view{};

    for (const auto& entry : kFaults) {
        if (entry.name != name) continue;
        std::uint64_t value = entry.number;
        switch (entry.kind) {
            case ValueKind::None:
                if (hasValue) {
                    error = "dock fault " + std::string(name) + " takes no value";
                    return false;
                }
                break;
            case ValueKind::Count:
                if (!hasValue || !ParseNumber(text, 10, value) || value < entry.number ||
                    value > entry.most) {
                    error = "dock fault " + std::string(name) + " needs a count: " + Usage(entry) +
                            " with N from " + std::to_string(entry.number) + " to " +
                            std::to_string(entry.most);
                    return false;
                }
                break;
            case ValueKind::OptionalHex:
                if (hasValue) {
                    auto digits = text;
                    if (digits.starts_with("0x") || digits.starts_with("0X"))
                        digits.remove_prefix(2);
                    if (!ParseNumber(digits, 16, value) || value > entry.most) {
                        error = "dock fault " + std::string(name) +
                                " needs a 16-bit hexadecimal value: " + Usage(entry);
                        return false;
                    }
                }
                break;
        }
        entry.apply(faults, value);
        return true;
    }
    error = "unknown dock fault '" + std::string(name) + "'";
    return false;
}

std::string DockFaultHelp() {
    std::string help;
    for (const auto& entry : kFaults) {
        auto usage = Usage(entry);
        usage.resize(std::max<std::size_t>(usage.size() + 2, 30), ' ');
        help += "  " + usage;
        help += entry.help;
        help += '\n';
    }
    return help;
}

}  // namespace tamblor

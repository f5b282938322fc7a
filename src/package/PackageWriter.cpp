#include "PackageWriter.h"

#include <algorithm>
#include <cctype>

namespace tamblor {
namespace {

constexpr char kSeparator = '/';

bool IsPrintable(char c) { return c >= 0x20 && c <= 0x7E; }

bool IsHex4(const std::string& text) {
    std::uint16_t ignored = 0;
    return text.size() == 4 &&
           ParseHex4(reinterpret_cast<const std::uint8_t*>(text.data()), ignored) == 0;
}

bool IsVersion(const std::string& v) {
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    return v.size() == 4 && std::isalpha(static_cast<unsigned char>(v[0])) &&
           std::all_of(v.begin() + 1, v.end(), isDigit);
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Where each record starts in the package.
std::array<std::size_t, kRecordCount> RecordStarts(const SegmentViews& segments) {
    std::array<std::size_t, kRecordCount> starts{};
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        starts[k + 1] = starts[k] + kRecordLength + segments[k].size();
    }
    return starts;
}

bool SignatureAt(std::span<const std::uint8_t> bytes, std::size_t p) {
    for (std::size_t i = 0; i < kSignatureOffsets.size(); ++i) {
        if (bytes[p + kSignatureOffsets[i]] != kSignatureBytes[i]) return false;
    }
    return true;
}

// Names the place of an unwanted signature match at package offset `q`.
std::string DescribeStrayRecord(std::size_t q, const std::array<std::size_t, kRecordCount>& starts,
                                const SegmentViews& segments) {
    for (std::size_t k = 0; k < kRecordCount; ++k) {
        if (q >= starts[k] && q < starts[k] + kRecordLength) {
            return "the fields of record " + std::to_string(k) +
                   " form a record signature with the bytes after them at package offset " +
                   std::to_string(q);
        }
    }
    for (std::size_t k = 0; k < kSegmentCount; ++k) {
        const std::size_t begin = starts[k] + kRecordLength;
        if (q < begin || q >= begin + segments[k].size()) continue;
        const std::size_t at = q - begin;
        if (at + kSignatureOffsets.back() < segments[k].size()) {
            return "segment " + std::to_string(k) + " contains a record signature at byte " +
                   std::to_string(at);
        }
        return "segment " + std::to_string(k) + " ends in bytes that form a record signature " +
               "with the record after it, at byte " + std::to_string(at);
    }
    return "a record signature at package offset " + std::to_string(q);
}

// The loader finds records by their signature across the whole window, so every match other
// than the six records would shift or break the segment table.
std::string CheckSignatures(std::span<const std::uint8_t> package, const SegmentViews& segments,
                            std::span<const std::uint8_t> carrier, std::uint64_t carrierOffset) {
    const std::size_t tailLength = std::min(carrier.size(), kSearchWindow - package.size());
    std::vector<std::uint8_t> window(carrier.end() - static_cast<std::ptrdiff_t>(tailLength),
                                     carrier.end());
    window.insert(window.end(), package.begin(), package.end());

    const auto starts = RecordStarts(segments);
    std::size_t nextRecord = 0;
    for (std::size_t p = 0; p + kRecordLength <= window.size(); ++p) {
        if (!SignatureAt(window, p)) continue;
        if (p >= tailLength && nextRecord < kRecordCount && p - tailLength == starts[nextRecord]) {
            ++nextRecord;
            continue;
        }
        if (p < tailLength) {
            return "the end of the carrier, inside the search window, contains a record " +
                   std::string("signature at carrier offset ") +
                   std::to_string(carrierOffset + carrier.size() - tailLength + p);
        }
        return DescribeStrayRecord(p - tailLength, starts, segments);
    }
    return {};
}

}  // namespace

std::string CheckRecordFields(const RecordFields& fields) {
    if (!IsVersion(fields.version)) {
        return "version must be a letter and three digits, such as \"V103\": " +
               Quoted(fields.version);
    }
    if (fields.date.size() != kRecDateLength ||
        !std::all_of(fields.date.begin(), fields.date.end(), IsPrintable)) {
        return "date must be ten printable characters, such as \"2017/08/11\": " +
               Quoted(fields.date);
    }
    if (!IsHex4(fields.vid)) {
        return "vendor ID must be four hexadecimal digits: " + Quoted(fields.vid);
    }
    if (!IsHex4(fields.pid)) {
        return "product ID must be four hexadecimal digits: " + Quoted(fields.pid);
    }
    if (fields.selector.size() != 1 || !IsPrintable(fields.selector[0])) {
        return "start selector must be one printable character: " + Quoted(fields.selector);
    }
    return {};
}

std::array<std::uint8_t, kRecordLength> BuildRecord(const RecordFields& fields) {
    std::array<std::uint8_t, kRecordLength> record{};
    record.fill(static_cast<std::uint8_t>(kSeparator));
    for (std::size_t i = 0; i < kSignatureOffsets.size(); ++i) {
        record[kSignatureOffsets[i]] = kSignatureBytes[i];
    }
    // Each field keeps to its width, so that unchecked fields cannot run over the record.
    const auto put = [&record](std::size_t offset, std::size_t width, const std::string& text) {
        const auto count = static_cast<std::ptrdiff_t>(std::min(width, text.size()));
        std::copy(text.begin(), text.begin() + count,
                  record.begin() + static_cast<std::ptrdiff_t>(offset));
    };
    put(kRecVersionLetter, 4, fields.version);
    put(kRecDate, kRecDateLength, fields.date);
    put(kRecVendorId, 4, fields.vid);
    put(kRecProductId, 4, fields.pid);
    put(kRecSelector, 1, fields.selector);
    return record;
}

PackageBuild BuildPackage(const RecordFields& fields, const SegmentViews& segments,
                          std::span<const std::uint8_t> carrier, std::uint64_t carrierOffset) {
    PackageBuild build;
    build.error = CheckRecordFields(fields);
    if (!build.error.empty()) return build;

    if (segments[kSegChip3].size() > kMaxChip3Length) {
        build.error = "segment 0 is " + std::to_string(segments[kSegChip3].size()) +
                      " bytes; the ISP commands carry at most " + std::to_string(kMaxChip3Length);
        return build;
    }
    std::size_t size = kRecordCount * kRecordLength;
    for (const auto& segment : segments) size += segment.size();
    if (size > kSearchWindow) {
        build.error = "package is " + std::to_string(size) + " bytes; it must fit the " +
                      std::to_string(kSearchWindow) + "-byte search window";
        return build;
    }

    const auto record = BuildRecord(fields);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(size);
    for (std::size_t k = 0; k < kRecordCount; ++k) {
        bytes.insert(bytes.end(), record.begin(), record.end());
        if (k < kSegmentCount) bytes.insert(bytes.end(), segments[k].begin(), segments[k].end());
    }
    build.error = CheckSignatures(bytes, segments, carrier, carrierOffset);
    if (build.error.empty()) build.bytes = std::move(bytes);
    return build;
}

}  // namespace tamblor

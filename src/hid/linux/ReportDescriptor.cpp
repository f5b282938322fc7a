#include "ReportDescriptor.h"

#include <map>
#include <tuple>

namespace tamblor {
namespace {

constexpr std::uint8_t kLongItemPrefix = 0xFE;

enum ItemType : std::uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };

enum MainTag : std::uint8_t {
    kInput = 0x8,
    kOutput = 0x9,
    kCollection = 0xA,
    kFeature = 0xB,
    kEndCollection = 0xC,
};

enum GlobalTag : std::uint8_t {
    kUsagePage = 0x0,
    kReportSize = 0x7,
    kReportId = 0x8,
    kReportCount = 0x9,
    kPush = 0xA,
    kPop = 0xB,
};

enum LocalTag : std::uint8_t { kUsage = 0x0, kUsageMinimum = 0x1 };

enum ReportKind { kInputReport, kOutputReport, kFeatureReport };

// The longest report the class driver's USHORT lengths can describe, ID byte included.
constexpr std::uint64_t kMaxReportBits = (0xFFFFull - 1) * 8;

struct GlobalState {
    std::uint32_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

struct LocalUsage {
    std::uint32_t value = 0;
    bool extended = false;  // a four-byte usage that carries its own page
};

class CDescriptorParser {
  public:
    std::optional<ReportDescriptorInfo> Parse(std::span<const std::uint8_t> bytes) {
        std::size_t pos = 0;
        while (pos < bytes.size()) {
            const std::uint8_t prefix = bytes[pos];
            if (prefix == kLongItemPrefix) {
                // Long items carry vendor data that no report layout depends on.
                if (pos + 3 > bytes.size()) return std::nullopt;
                const std::size_t end = pos + 3 + bytes[pos + 1];
                if (end > bytes.size()) return std::nullopt;
                pos = end;
                continue;
            }
            const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
            if (pos + 1 + size > bytes.size()) return std::nullopt;
            std::uint32_t data = 0;
            for (std::size_t i = 0; i < size; ++i)
                data |= std::uint32_t{bytes[pos + 1 + i]} << (8 * i);
            pos += 1 + size;
            const auto type = static_cast<std::uint8_t>((prefix >> 2) & 3);
            const auto tag = static_cast<std::uint8_t>(prefix >> 4);
            bool ok = true;
            if (type == kMain) {
                ok = Main(tag);
            } else if (type == kGlobal) {
                ok = Global(tag, data);
            } else if (type == kLocal) {
                Local(tag, data, size);
            }
            if (!ok) return std::nullopt;
        }
        if (m_depth != 0) return std::nullopt;
        return Finish();
    }

  private:
    bool Main(std::uint8_t tag) {
        bool ok = true;
        switch (tag) {
            case kCollection:
                if (m_depth == 0) OpenTopLevel();
                ++m_depth;
                break;
            case kEndCollection:
                if (m_depth == 0) return false;
                --m_depth;
                break;
            case kInput:
                ok = AddField(kInputReport);
                break;
            case kOutput:
                ok = AddField(kOutputReport);
                break;
            case kFeature:
                ok = AddField(kFeatureReport);
                break;
            default:
                break;
        }
        m_usages.clear();
        return ok;
    }

    bool Global(std::uint8_t tag, std::uint32_t data) {
        switch (tag) {
            case kUsagePage:
                m_global.usagePage = data;
                break;
            case kReportSize:
                m_global.reportSize = data;
                break;
            case kReportCount:
                m_global.reportCount = data;
                break;
            case kReportId:
                if (data == 0 || data > 0xFF) return false;
                m_global.reportId = data;
                m_usesReportIds = true;
                break;
            case kPush:
                m_globalStack.push_back(m_global);
                break;
            case kPop:
                if (m_globalStack.empty()) return false;
                m_global = m_globalStack.back();
                m_globalStack.pop_back();
                break;
            default:
                break;
        }
        return true;
    }

    void Local(std::uint8_t tag, std::uint32_t data, std::size_t size) {
        if (tag == kUsage || tag == kUsageMinimum) m_usages.push_back({data, size == 4});
    }

    // A collection's usage is its first declared usage. A short usage takes the usage page in
    // force at the main item, so a page declared after the usage still applies.
    void OpenTopLevel() {
        TopLevelCollection collection;
        if (!m_usages.empty()) {
            const LocalUsage& first = m_usages.front();
            collection.usagePage =
                static_cast<std::uint16_t>(first.extended ? first.value >> 16 : m_global.usagePage);
            collection.usage = static_cast<std::uint16_t>(first.value & 0xFFFF);
        } else {
            collection.usagePage = static_cast<std::uint16_t>(m_global.usagePage);
        }
        m_collections.push_back(collection);
    }

    bool AddField(ReportKind kind) {
        // Fields outside every collection belong to no interface the class driver would show.
        if (m_depth == 0) return true;
        const std::uint64_t size = m_global.reportSize;
        const std::uint64_t count = m_global.reportCount;
        if (size != 0 && count > kMaxReportBits / size) return false;
        auto& bits = m_bits[{m_collections.size() - 1, kind, m_global.reportId}];
        bits += size * count;
        return bits <= kMaxReportBits;
    }

    ReportDescriptorInfo Finish() {
        // The map's order visits each collection's IDs ascending.
        for (const auto& [key, bits] : m_bits) {
            const auto& [index, kind, reportId] = key;
            const auto length = static_cast<std::uint16_t>((bits + 7) / 8 + 1);
            TopLevelCollection& collection = m_collections[index];
            if (kind == kInputReport) {
                collection.inputReportIds.push_back(static_cast<std::uint8_t>(reportId));
            }
            std::uint16_t& slot = kind == kInputReport    ? collection.inputReportByteLength
                                  : kind == kOutputReport ? collection.outputReportByteLength
                                                          : collection.featureReportByteLength;
            if (length > slot) slot = length;
        }
        return ReportDescriptorInfo{std::move(m_collections), m_usesReportIds};
    }

    GlobalState m_global;
    std::vector<GlobalState> m_globalStack;
    std::vector<LocalUsage> m_usages;
    std::vector<TopLevelCollection> m_collections;
    // Bits per report: (collection index, kind, report ID).
    std::map<std::tuple<std::size_t, ReportKind, std::uint32_t>, std::uint64_t> m_bits;
    int m_depth = 0;
    bool m_usesReportIds = false;
};

}  // namespace

std::optional<ReportDescriptorInfo> ParseReportDescriptor(std::span<const std::uint8_t> bytes) {
    return CDescriptorParser().Parse(bytes);
}

}  // namespace tamblor

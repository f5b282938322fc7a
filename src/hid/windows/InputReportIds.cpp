#include "InputReportIds.h"

#include <bitset>
#include <optional>

namespace tamblor::win {
namespace {

constexpr ULONG kApplicationCollection = 1;

using IdSet = std::bitset<256>;

// The IDs HidP_InitializeReportForID accepts: every ID the preparsed data declares.
IdSet DeclaredIds(const HidApi& api, PHIDP_PREPARSED_DATA preparsed, const HIDP_CAPS& caps) {
    IdSet ids;
    std::vector<char> report(caps.InputReportByteLength);
    for (unsigned id = 1; id < 256; ++id) {
        if (api.HidP_InitializeReportForID(HidP_Input, static_cast<UCHAR>(id), preparsed,
                                           report.data(),
                                           caps.InputReportByteLength) == HIDP_STATUS_SUCCESS) {
            ids.set(id);
        }
    }
    return ids;
}

// Which link collections are the interface's own: node 0 and the nodes under it reached
// through logical collections only. Wine 8.0 presents a device's further top-level collections
// as application collections under node 0, in the same preparsed data; their items, and their
// report IDs, are another collection's (a keyboard's beside the dock's, say).
std::optional<std::vector<bool>> OwnNodes(const HidApi& api, PHIDP_PREPARSED_DATA preparsed,
                                          const HIDP_CAPS& caps) {
    ULONG count = caps.NumberLinkCollectionNodes;
    if (count == 0) return std::nullopt;
    std::vector<HIDP_LINK_COLLECTION_NODE> nodes(count);
    if (api.HidP_GetLinkCollectionNodes(nodes.data(), &count, preparsed) != HIDP_STATUS_SUCCESS ||
        count == 0 || count > nodes.size()) {
        return std::nullopt;
    }
    std::vector<bool> own(count, false);
    own[0] = true;
    for (ULONG i = 1; i < count; ++i) {
        // A walk up to node 0; a malformed tree (a loop, a parent out of range) is not ours.
        ULONG node = i;
        for (ULONG steps = 0; node != 0 && steps < count; ++steps) {
            if (nodes[node].CollectionType == kApplicationCollection) break;
            node = nodes[node].Parent;
            if (node >= count) break;
        }
        own[i] = node == 0;
    }
    return own;
}

// Sorts the report IDs of the caps by whether their items sit in an own link collection;
// false when the class driver could not list them or placed one nowhere.
template <typename Caps, typename Get>
bool SortIds(Get get, USHORT count, PHIDP_PREPARSED_DATA preparsed, const std::vector<bool>& own,
             IdSet& ownIds, IdSet& foreignIds) {
    if (count == 0) return true;
    std::vector<Caps> caps(count);
    if (get(HidP_Input, caps.data(), &count, preparsed) != HIDP_STATUS_SUCCESS ||
        count > caps.size()) {
        return false;
    }
    for (USHORT i = 0; i < count; ++i) {
        // An item in a collection that does not exist could be anyone's.
        if (caps[i].LinkCollection >= own.size()) return false;
        (own[caps[i].LinkCollection] ? ownIds : foreignIds).set(caps[i].ReportID);
    }
    return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> OwnInputReportIds(const HidApi& api,
                                                           PHIDP_PREPARSED_DATA preparsed,
                                                           const HIDP_CAPS& caps) {
    std::vector<std::uint8_t> result;
    if (caps.InputReportByteLength == 0) return result;
    // A class driver that cannot say which items are whose leaves no safe filter: every ID
    // it declares may be another collection's, and none at all would pass them all.
    const auto own = OwnNodes(api, preparsed, caps);
    if (!own) return std::nullopt;
    IdSet ids;
    IdSet foreign;
    if (!SortIds<HIDP_BUTTON_CAPS>(api.HidP_GetButtonCaps, caps.NumberInputButtonCaps, preparsed,
                                   *own, ids, foreign) ||
        !SortIds<HIDP_VALUE_CAPS>(api.HidP_GetValueCaps, caps.NumberInputValueCaps, preparsed, *own,
                                  ids, foreign)) {
        return std::nullopt;
    }
    // Items without an ID beside numbered ones: an unnumbered report whose first byte happens
    // to be an own ID cannot be told from an own report.
    const IdSet all = ids | foreign;
    if (all.test(0) && all.count() > 1) return std::nullopt;
    // Input made of constant fields only lists no item: every ID the collection declares,
    // save those known to be another collection's.
    if (ids.none()) ids = DeclaredIds(api, preparsed, caps) & ~foreign;
    if (ids.none() && foreign.any()) return std::nullopt;
    for (unsigned id = 1; id < 256; ++id) {
        if (ids.test(id)) result.push_back(static_cast<std::uint8_t>(id));
    }
    return result;
}

}  // namespace tamblor::win

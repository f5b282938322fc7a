// What the class driver may hand the read filter's ID query: a malformed or shifting link
// collection tree, caps in collections that do not exist, failing calls. None of it may crash,
// loop or read past a buffer, and no report of another collection may pass as the dock's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "hid/windows/InputReportIds.h"

namespace tamblor::win {
namespace {

struct Node {
    USHORT parent;
    bool application;
};
struct Item {
    UCHAR reportId;
    USHORT linkCollection;
};

// One hostile class driver, behind a HidApi table of plain functions.
struct Driver {
    std::vector<Node> nodes;
    std::vector<Item> items;      // value caps
    std::vector<UCHAR> declared;  // input IDs HidP_InitializeReportForID accepts
    bool nodesFail = false;
    ULONG nodesGrowBy = 0;  // more nodes on the second call than the caps said
    bool valuesFail = false;
};
Driver g_driver;

NTSTATUS WINAPI Nodes(PHIDP_LINK_COLLECTION_NODE out, PULONG length, PHIDP_PREPARSED_DATA) {
    if (g_driver.nodesFail) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    const auto count = static_cast<ULONG>(g_driver.nodes.size()) + g_driver.nodesGrowBy;
    if (*length < count) {
        *length = count;
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    for (ULONG i = 0; i < g_driver.nodes.size(); ++i) {
        out[i] = HIDP_LINK_COLLECTION_NODE{};
        out[i].Parent = g_driver.nodes[i].parent;
        out[i].CollectionType = g_driver.nodes[i].application ? 1 : 2;
    }
    *length = static_cast<ULONG>(g_driver.nodes.size());
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS WINAPI Buttons(HIDP_REPORT_TYPE, PHIDP_BUTTON_CAPS, PUSHORT length, PHIDP_PREPARSED_DATA) {
    *length = 0;
    return HIDP_STATUS_USAGE_NOT_FOUND;
}

NTSTATUS WINAPI Values(HIDP_REPORT_TYPE, PHIDP_VALUE_CAPS out, PUSHORT length,
                       PHIDP_PREPARSED_DATA) {
    if (g_driver.valuesFail) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (*length < g_driver.items.size()) return HIDP_STATUS_BUFFER_TOO_SMALL;
    for (std::size_t i = 0; i < g_driver.items.size(); ++i) {
        out[i] = HIDP_VALUE_CAPS{};
        out[i].ReportID = g_driver.items[i].reportId;
        out[i].LinkCollection = g_driver.items[i].linkCollection;
    }
    *length = static_cast<USHORT>(g_driver.items.size());
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS WINAPI Initialize(HIDP_REPORT_TYPE type, UCHAR id, PHIDP_PREPARSED_DATA, PCHAR, ULONG) {
    const auto& ids = g_driver.declared;
    if (type == HidP_Input && std::find(ids.begin(), ids.end(), id) != ids.end()) {
        return HIDP_STATUS_SUCCESS;
    }
    return HIDP_STATUS_REPORT_DOES_NOT_EXIST;
}

HidApi Table() {
    HidApi api{};
    api.HidP_GetLinkCollectionNodes = Nodes;
    api.HidP_GetButtonCaps = Buttons;
    api.HidP_GetValueCaps = Values;
    api.HidP_InitializeReportForID = Initialize;
    return api;
}

std::optional<std::vector<std::uint8_t>> Query(const Driver& driver) {
    g_driver = driver;
    HIDP_CAPS caps{};
    caps.InputReportByteLength = 64;
    caps.NumberLinkCollectionNodes = static_cast<USHORT>(driver.nodes.size());
    caps.NumberInputValueCaps = static_cast<USHORT>(driver.items.size());
    const HidApi api = Table();
    return OwnInputReportIds(api, nullptr, caps);
}

// The dock's collection (ID 2) at node 0, a keyboard's (ID 1) beside it as Wine presents it.
const std::vector<Node> kDockAndKeyboard{{0, true}, {0, true}};
const std::vector<Item> kDockAndKeyboardItems{{2, 0}, {1, 1}};
const std::vector<UCHAR> kBothDeclared{1, 2};

struct HostileCase {
    const char* name;
    Driver driver;
    bool refused;  // else the dock's ID 2 alone
};
void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class HostileTree : public ::testing::TestWithParam<HostileCase> {};

// Whatever the tree looks like, the keyboard's ID never comes through as the dock's: either
// the dock's own ID is found, or the interface is refused (nullopt).
TEST_P(HostileTree, NeverPassesAnotherCollectionsReports) {
    const auto ids = Query(GetParam().driver);
    ASSERT_EQ(ids.has_value(), !GetParam().refused);
    // An empty list would turn filtering off: every collection's reports would come through.
    if (ids) {
        EXPECT_EQ(*ids, std::vector<std::uint8_t>{2});
    }
}

Driver With(void (*change)(Driver&)) {
    Driver d{kDockAndKeyboard, kDockAndKeyboardItems, kBothDeclared};
    change(d);
    return d;
}

INSTANTIATE_TEST_SUITE_P(
    WinInputReportIds, HostileTree,
    ::testing::Values(HostileCase{"well formed", With([](Driver&) {}), false},
                      HostileCase{"keyboard's node parent out of range", With([](Driver& d) {
                                      d.nodes[1] = Node{7, false};
                                  }),
                                  false},
                      HostileCase{"keyboard's node a cycle of logical collections",
                                  With([](Driver& d) {
                                      d.nodes = {{0, true}, {2, false}, {1, false}};
                                      d.items = {{2, 0}, {1, 1}, {1, 2}};
                                  }),
                                  false},
                      HostileCase{"keyboard's node its own parent", With([](Driver& d) {
                                      d.nodes[1] = Node{1, false};
                                  }),
                                  false},
                      HostileCase{"keyboard's caps in a collection that does not exist",
                                  With([](Driver& d) { d.items[1].linkCollection = 40; }), true},
                      HostileCase{"node count grows between the two calls",
                                  With([](Driver& d) { d.nodesGrowBy = 3; }), true},
                      HostileCase{"link collection nodes cannot be listed",
                                  With([](Driver& d) { d.nodesFail = true; }), true},
                      HostileCase{"value caps cannot be listed",
                                  With([](Driver& d) { d.valuesFail = true; }), true},
                      HostileCase{"dock's caps in a collection that does not exist",
                                  With([](Driver& d) { d.items[0].linkCollection = 40; }), true},
                      HostileCase{"dock's items carry ID 0 beside the keyboard's ID 1",
                                  With([](Driver& d) { d.items[0].reportId = 0; }), true},
                      HostileCase{"keyboard's items carry ID 0 beside the dock's ID 2",
                                  With([](Driver& d) { d.items[1].reportId = 0; }), true}),
    [](const auto& info) {
        std::string name;
        for (const char c : std::string(info.param.name)) {
            if (std::isalnum(static_cast<unsigned char>(c))) name += c;
        }
        return name;
    });

TEST(WinInputReportIds, NoLinkCollectionNodesIsRefused) {
    Driver d{{}, {{2, 0}}, {2}};
    EXPECT_FALSE(Query(d));
}

// Input of constant fields lists no item: the IDs the collection declares stand in, all 255.
TEST(WinInputReportIds, NoInputItemsTakesEveryDeclaredId) {
    Driver d{{{0, true}}, {}, {}};
    for (unsigned id = 1; id < 256; ++id) d.declared.push_back(static_cast<UCHAR>(id));
    const auto ids = Query(d);
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->size(), 255u);
}

// A collection whose reports carry no ID: nothing to tell apart, every report is its own.
TEST(WinInputReportIds, UnnumberedReportsNeedNoFilter) {
    Driver d{{{0, true}}, {{0, 0}}, {}};
    const auto ids = Query(d);
    ASSERT_TRUE(ids);
    EXPECT_TRUE(ids->empty());
}

TEST(WinInputReportIds, AllTwoHundredFiftyFiveIdsInTheOwnCollection) {
    Driver d{{{0, true}}, {}, {}};
    for (unsigned id = 1; id < 256; ++id) d.items.push_back(Item{static_cast<UCHAR>(id), 0});
    const auto ids = Query(d);
    ASSERT_TRUE(ids);
    ASSERT_EQ(ids->size(), 255u);
    EXPECT_EQ(ids->front(), 1);
    EXPECT_EQ(ids->back(), 255);
}

}  // namespace
}  // namespace tamblor::win

#include <sstream>

#include "dockgadget/DockOptions.h"
#include "dockgadget/GadgetDescriptor.h"
#include "dockgadget/GadgetReport.h"
#include "gtest/gtest.h"
#ifdef TAMBLOR_HAVE_DESCRIPTOR_PARSER
#include "ReportDescriptor.h"
#endif

namespace tamblor {
namespace {

#ifdef TAMBLOR_HAVE_DESCRIPTOR_PARSER
// What the gadget declares is what the tool's own parser reads back, keyboard or not, in
// either order.
TEST(GadgetDescriptor, ParsesToTheDeclaredCollection) {
    const HidCaps declared = DeclaredDockCaps();
    const struct {
        const char* name;
        bool keyboard;
        bool dockFirst;
    } layouts[] = {
        {"dock only", false, false}, {"keyboard first", true, false}, {"dock first", true, true}};
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const auto info =
            ParseReportDescriptor(GadgetReportDescriptor(layout.keyboard, layout.dockFirst));
        ASSERT_TRUE(info.has_value());
        EXPECT_TRUE(info->usesReportIds);
        ASSERT_EQ(info->collections.size(), layout.keyboard ? 2u : 1u);
        const auto& dock = layout.dockFirst ? info->collections.front() : info->collections.back();
        EXPECT_EQ(dock.usagePage, declared.usagePage);
        EXPECT_EQ(dock.usage, declared.usage);
        EXPECT_EQ(dock.inputReportByteLength, declared.inputReportByteLength);
        EXPECT_EQ(dock.outputReportByteLength, declared.outputReportByteLength);
        if (layout.keyboard) {
            const auto& keyboard =
                layout.dockFirst ? info->collections.back() : info->collections.front();
            EXPECT_EQ(keyboard.usagePage, 1);
            EXPECT_EQ(keyboard.usage, 6);
            EXPECT_EQ(keyboard.inputReportByteLength, kKeyboardReportSize);
        }
    }
}
#endif

TEST(DockOptions, RefusesBadArgumentsInOneLine) {
    const std::vector<std::vector<std::string>> bad = {
        {"--mode", "boot"},
        {"--mode"},
        {"--device-version", "V1023"},
        {"--device-version", "V1x2"},
        {"--fault", "no-such-fault"},
        {"--fault", "remove-after-chunks=0"},
        {"--keyboard-every", "0"},
        {"--keyboard-every", " 5"},
        {"--keyboard-every", "-1"},
        {"--restart-delay-ms", "60001"},
        {"--restart-delay-ms", "1e3"},
        {"--udc", "../x"},
        {"--udc", "."},
        {"--udc", ".."},
        {"--remove", "--udc", "dummy_udc.0", "--mode", "ap"},
        {"--remove", "--mode", "ap"},
        {"--keep-going", "--remove"},
        {"--dock-first"},
        {"--package", ""},
        {"--frobnicate"},
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(args.front());
        std::ostringstream out, err;
        int status = 0;
        EXPECT_FALSE(ParseDockOptions(args, out, err, status).has_value());
        EXPECT_EQ(status, 2);
        const std::string text = err.str();
        EXPECT_EQ(text.rfind("tamblor-dock: ", 0), 0u);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    }
}

// --remove names the controller whose gadget it removes.
TEST(DockOptions, RemoveTakesTheController) {
    std::ostringstream out, err;
    int status = 2;
    const auto options = ParseDockOptions({"--remove", "--udc", "dummy_udc.1"}, out, err, status);
    ASSERT_TRUE(options.has_value()) << err.str();
    EXPECT_TRUE(options->remove);
    EXPECT_EQ(options->udc, "dummy_udc.1");
}

TEST(DockOptions, TakesEveryOption) {
    std::ostringstream out, err;
    int status = 2;
    const auto options = ParseDockOptions({"--package",
                                           "p.bin",
                                           "--mode",
                                           "isp",
                                           "--device-version",
                                           "E105",
                                           "--fault",
                                           "chip1-erase-busy=3",
                                           "--fault",
                                           "other-pid",
                                           "--keyboard-every",
                                           "7",
                                           "--restart-delay-ms",
                                           "0",
                                           "--udc",
                                           "dummy_udc.0",
                                           "--report-json",
                                           "r.json",
                                           "--progress-every",
                                           "50",
                                           "--keep-going"},
                                          out, err, status);
    ASSERT_TRUE(options.has_value()) << err.str();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(options->package, "p.bin");
    EXPECT_TRUE(options->dock.ispMode);
    EXPECT_EQ(options->dock.version, (std::array<std::uint8_t, 4>{'E', 1, 0, 5}));
    EXPECT_EQ(options->dock.faults.chip1EraseBusy, 3u);
    EXPECT_EQ(options->dock.faults.otherPid, kDefaultOtherPid);
    EXPECT_EQ(options->run.keyboardEvery, 7u);
    EXPECT_EQ(options->run.restartDelay.count(), 0);
    EXPECT_EQ(options->udc, "dummy_udc.0");
    EXPECT_EQ(options->reportJson, std::filesystem::path("r.json"));
    EXPECT_EQ(options->run.progressEvery, 50u);
    EXPECT_TRUE(options->run.keepGoing);
}

TEST(GadgetReport, TurnaroundFiguresAndJson) {
    EXPECT_EQ(SummariseTurnarounds({}).samples, 0u);
    std::vector<double> samples;
    for (int i = 100; i >= 1; --i) samples.push_back(i * 10.0);
    const auto figures = SummariseTurnarounds(samples);
    EXPECT_EQ(figures.samples, 100u);
    EXPECT_DOUBLE_EQ(figures.p50, 500.0);
    EXPECT_DOUBLE_EQ(figures.p99, 990.0);
    EXPECT_DOUBLE_EQ(figures.max, 1000.0);

    GadgetRunReport report;
    report.declaredAttributes = {0x10C4, 0xF505, 0x0100};
    report.declaredCaps = DeclaredDockCaps();
    report.end = GadgetDockEnd::Upgraded;
    report.dock.violations = {"IspExit \"quoted\""};
    const std::string json = report.ToJson();
    EXPECT_NE(json.find("{\"end\":\"upgraded\",\"passed\":false,\"clean\":false"),
              std::string::npos)
        << json;
    // Same fields, same order as tamblor-cli list --json, so the two can be compared as text.
    EXPECT_NE(json.find("\"declared\":{\"vid\":4292,\"pid\":62725,\"versionNumber\":256,"
                        "\"usagePage\":65280,\"usage\":2,\"inputReportLength\":64,"
                        "\"outputReportLength\":64}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("IspExit \\\"quoted\\\""), std::string::npos) << json;
}

// After IspExit the dock vouches for the images; a run stopped before that only for the wire.
TEST(GadgetReport, PassesOnTheDocksVerdict) {
    struct Row {
        GadgetDockEnd end;
        bool judgedAndEqual;
        bool violation;
        bool passed;
    };
    const Row rows[] = {
        {GadgetDockEnd::Upgraded, true, false, true},
        {GadgetDockEnd::Upgraded, false, false, false},
        {GadgetDockEnd::Upgraded, true, true, false},
        {GadgetDockEnd::Stopped, false, false, true},
        {GadgetDockEnd::Stopped, false, true, false},
        {GadgetDockEnd::Unplugged, false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(ToString(row.end)) + (row.judgedAndEqual ? " equal" : "") +
                     (row.violation ? " violation" : ""));
        GadgetRunReport report;
        report.end = row.end;
        report.dock.judged = row.judgedAndEqual;
        report.dock.chip3.due = true;
        report.dock.chip3.programmed = true;
        report.dock.chip3.expectedBytes = report.dock.chip3.storedBytes = 10;
        if (!row.judgedAndEqual) report.dock.chip3.firstDifference = 4;
        if (row.violation) report.dock.violations.push_back("IspExit version bytes");
        EXPECT_EQ(report.Passed(), row.passed);
        std::ostringstream text;
        report.Print(text);
        EXPECT_NE(text.str().find(row.passed ? "): passed" : "): NOT passed"), std::string::npos)
            << text.str();
    }
}

}  // namespace
}  // namespace tamblor

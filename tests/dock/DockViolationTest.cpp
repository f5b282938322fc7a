// Every kind of host mistake the dock notes, each in a script that makes exactly that one.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <variant>

#include "HostScript.h"
#include "package/PackageFormat.h"

namespace tamblor::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(const Report& r) { return {r.begin(), r.end()}; }

Bytes Edited(Report r, std::size_t index, std::uint8_t value) {
    r[index] = value;
    return B(r);
}

std::vector<Bytes> All(const std::vector<Report>& reports) {
    std::vector<Bytes> out;
    for (const auto& r : reports) out.push_back(B(r));
    return out;
}

std::vector<Bytes> operator+(std::vector<Bytes> a, const std::vector<Bytes>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<Bytes> operator+(std::vector<Bytes> a, Bytes b) {
    a.push_back(std::move(b));
    return a;
}

const auto kImage = Pattern(100);

std::string SumText() {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", ByteSum(kImage));
    return text;
}

std::vector<Bytes> Chip1Ready() {
    return All({Command(IspCommand::Chip1Prepare), Command(IspCommand::Chip1Erase),
                Command(IspCommand::Chip1EraseStatus)});
}

std::vector<Bytes> Chip3Written(std::size_t length = kImage.size()) {
    const auto image = Pattern(length);
    return All(Concat({{IspEraseFor(length)}, Chunks(image)}));
}

Bytes ChunkWithLength(std::uint8_t length) { return Edited(MakeChunkReport(1, kImage), 1, length); }

struct ViolationCase {
    const char* name;
    bool ispMode;
    std::vector<Bytes> script;
    std::string violation;
    bool lastActedOn;  // the last report got a reply or an effect
    // Another mistake of the same script, noted before `violation`.
    const char* before = nullptr;
};

std::vector<ViolationCase> Cases() {
    const auto chunk = [](std::uint16_t seq, std::size_t length = 59) {
        return B(MakeChunkReport(seq, std::span(kImage).first(length)));
    };
    return {
        {"short report", false, {Bytes(63, 2)}, "report of 63 bytes, expected 64", false},
        {"report ID",
         false,
         {Edited(Command(IspCommand::GetMode), 0, 1)},
         "report ID 1, expected 2",
         true},
        {"chunk end byte", true, All({IspEraseFor(59)}) + Edited(MakeChunkReport(1, kImage), 63, 0),
         "Chip 3 chunk 1: end byte 0x00, expected 0x5A", true},
        {"IspErase end byte",
         true,
         {Edited(IspEraseFor(0), 63, 0x5A)},
         "IspErase: end byte 0x5A, expected 0x00",
         true},
        {"IspChecksum end byte", true, All({IspEraseFor(0)}) + Edited(IspChecksumFor(0), 63, 0x5A),
         "IspChecksum: end byte 0x5A, expected 0x00", true},
        {"command end byte",
         false,
         {Edited(Command(IspCommand::Chip1Prepare), 63, 0)},
         "Chip1Prepare: end byte 0x00, expected 0x5A",
         true},
        {"first sequence", true, All({IspEraseFor(59)}) + chunk(2),
         "Chip 3 chunk with sequence 2, expected 1", true},
        {"skipped sequence",
         false,
         {chunk(1), chunk(3)},
         "Chip 2 file 1 chunk with sequence 3, expected 2",
         true},
        {"repeated sequence", false, Chip1Ready() + std::vector{chunk(1), chunk(1)},
         "Chip 1 chunk with sequence 1, expected 2", true},
        {"empty chunk", true, All({IspEraseFor(0)}) + ChunkWithLength(0),
         "Chip 3 chunk 1: length 0 outside 1-59", true},
        {"oversized chunk", true, All({IspEraseFor(60)}) + ChunkWithLength(60),
         "Chip 3 chunk 1: length 60 outside 1-59", true},
        {"page crossed", false,
         Chip1Ready() + std::vector{chunk(1), chunk(2), chunk(3), chunk(4), chunk(5)},
         "Chip 1 chunk 5 crosses a 256-byte page (offset 236, length 59)", true},
        {"erase blocks, checked by IspChecksum", true,
         All({Command(IspCommand::IspErase, {1})}) + All(Chunks(Pattern(600))) +
             All({IspChecksumFor(600)}),
         "IspErase announced 1 blocks, Chip 3 received 600 bytes (2 blocks)", true},
        {"erase blocks, checked by IspExit", true,
         All({Command(IspCommand::IspErase, {3})}) + All(Chunks(Pattern(600))) +
             All({IspExitFor(ByteSum(Pattern(600)), 600)}),
         "IspErase announced 3 blocks, Chip 3 received 600 bytes (2 blocks)", true,
         "IspExit before IspChecksum of the Chip 3 image"},
        {"IspChecksum length", true, Chip3Written() + All({IspChecksumFor(99)}),
         "IspChecksum length 99, Chip 3 received 100 bytes", true},
        {"Chip1Checksum length", false,
         Chip1Ready() + All(Chunks(kImage, true)) + All({Chip1ChecksumFor(65636)}),
         "Chip1Checksum length 65636, Chip 1 received 100 bytes", true},
        {"IspExit checksum", true,
         Chip3Written() + All({IspChecksumFor(kImage.size()), IspExitFor(0, kImage.size())}),
         "IspExit checksum 0x0000, Chip 3 sums to " + SumText(), true},
        {"IspExit length", true,
         Chip3Written() + All({IspChecksumFor(kImage.size()), IspExitFor(ByteSum(kImage), 99)}),
         "IspExit length 99, Chip 3 received 100 bytes", true},
        {"unknown command",
         false,
         {B(MakeCommandReport(static_cast<IspCommand>(6)))},
         "unknown command 0x06",
         false},
        {"request group",
         false,
         {Edited(Command(IspCommand::GetMode), 1, 4)},
         "GetMode with request group 4, expected 3",
         true},
        {"IspErase in AP mode", false, {B(IspEraseFor(10))}, "IspErase in AP mode", false},
        {"IspExit in AP mode", false, {B(IspExitFor(0, 0))}, "IspExit in AP mode", false},
        {"IspEnter in ISP mode",
         true,
         {B(Command(IspCommand::IspEnter))},
         "IspEnter in ISP mode",
         false},
        {"GetVersion in ISP mode",
         true,
         {B(Command(IspCommand::GetVersion))},
         "GetVersion in ISP mode",
         false},
        {"Chip1Prepare in ISP mode",
         true,
         {B(Command(IspCommand::Chip1Prepare))},
         "Chip1Prepare in ISP mode",
         false},
        {"chunk before IspErase",
         true,
         {chunk(1)},
         "data chunk in ISP mode without a successful IspErase",
         true},
        {"chunk while Chip 1 erases", false,
         All({Command(IspCommand::Chip1Prepare), Command(IspCommand::Chip1Erase)}) + chunk(1),
         "data chunk while Chip 1 is erasing", true},
        {"Chip1Erase without Chip1Prepare",
         false,
         {B(Command(IspCommand::Chip1Erase))},
         "Chip1Erase without Chip1Prepare",
         true},
        {"Chip1EraseStatus without Chip1Erase",
         false,
         {B(Command(IspCommand::Chip1Prepare)), B(Command(IspCommand::Chip1EraseStatus))},
         "Chip1EraseStatus without Chip1Erase",
         true},
    };
}

TEST(DockViolations, EachMistakeIsNotedOnceAndAnsweredAsADockWould) {
    for (const auto& c : Cases()) {
        SCOPED_TRACE(c.name);
        DockConfig config;
        config.ispMode = c.ispMode;
        CDockLogic dock(config);
        DockActions last;
        for (const auto& report : c.script) last = dock.OnHostReport(report);
        std::vector<std::string> expected;
        if (c.before != nullptr) expected.push_back(c.before);
        expected.push_back(c.violation);
        EXPECT_EQ(dock.Violations(), expected);
        EXPECT_EQ(!last.replies.empty() || !std::holds_alternative<std::monostate>(last.effect),
                  c.lastActedOn);
    }
}

TEST(DockViolations, NoteIsJsonReadable) {
    CDockLogic dock;
    dock.OnHostReport(B(MakeCommandReport(static_cast<IspCommand>(0x22))));
    const auto json = dock.Report().ToJson();
    EXPECT_TRUE(json.ends_with(R"("violations":["unknown command 0x22"]})")) << json;
}

}  // namespace
}  // namespace tamblor::test

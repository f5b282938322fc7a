#include <gtest/gtest.h>

#include <vector>

#include "isp/IspReport.h"

namespace tamblor {
namespace {

struct CommandBytes {
    IspCommand command;
    std::uint8_t group;
    std::uint8_t code;
    std::uint8_t end;
};

class CommandReport : public ::testing::TestWithParam<CommandBytes> {};

TEST_P(CommandReport, HeaderCodeAndEndByte) {
    const auto r = MakeCommandReport(GetParam().command);
    EXPECT_EQ(r[0], 2);
    EXPECT_EQ(r[1], GetParam().group);
    EXPECT_EQ(r[2], 0xFE);
    EXPECT_EQ(r[3], 0xFF);
    EXPECT_EQ(r[4], GetParam().code);
    for (std::size_t i = 5; i < 63; ++i) ASSERT_EQ(r[i], 0) << "payload byte " << i;
    EXPECT_EQ(r[63], GetParam().end);
    EXPECT_TRUE(IsCommandReport(r));
}

INSTANTIATE_TEST_SUITE_P(Table, CommandReport,
                         ::testing::Values(CommandBytes{IspCommand::IspExit, 3, 2, 0x5A},
                                           CommandBytes{IspCommand::IspEnter, 3, 3, 0x5A},
                                           CommandBytes{IspCommand::IspErase, 4, 4, 0x00},
                                           CommandBytes{IspCommand::IspChecksum, 4, 5, 0x00},
                                           CommandBytes{IspCommand::GetMode, 3, 7, 0x5A},
                                           CommandBytes{IspCommand::GetVersion, 3, 8, 0x5A},
                                           CommandBytes{IspCommand::Chip1Prepare, 4, 9, 0x5A},
                                           CommandBytes{IspCommand::Chip1Erase, 4, 10, 0x5A},
                                           CommandBytes{IspCommand::Chip1EraseStatus, 4, 12, 0x5A},
                                           CommandBytes{IspCommand::Chip1Checksum, 4, 13, 0x5A},
                                           CommandBytes{IspCommand::Chip1End, 4, 14, 0x5A}));

TEST(ChunkReport, LengthSequenceLowByteFirstDataAndEndByte) {
    std::vector<std::uint8_t> data(59);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i + 1);
    const auto r = MakeChunkReport(0x1234, data);
    EXPECT_EQ(r[0], 2);
    EXPECT_EQ(r[1], 59);
    EXPECT_EQ(r[2], 0x34);
    EXPECT_EQ(r[3], 0x12);
    EXPECT_EQ(r[4], 1);
    EXPECT_EQ(r[62], 59);
    EXPECT_EQ(r[63], 0x5A);
}

struct ReplyForm {
    std::vector<std::uint8_t> head;  // bytes 1..4
    bool wellFormed;
};

class Reply : public ::testing::TestWithParam<ReplyForm> {};

TEST_P(Reply, IsWellFormedOnlyWithMatchingCodesAndMarkers) {
    Report r{};
    std::copy(GetParam().head.begin(), GetParam().head.end(), r.begin() + 1);
    EXPECT_EQ(IsWellFormedReply(r), GetParam().wellFormed);
}

INSTANTIATE_TEST_SUITE_P(Table, Reply,
                         ::testing::Values(ReplyForm{{7, 0xFE, 0xFF, 7}, true},
                                           ReplyForm{{8, 0xFE, 0xFF, 8}, true},
                                           ReplyForm{{7, 0xFE, 0xFF, 8}, false},
                                           ReplyForm{{8, 0xFE, 0xFF, 7}, false},
                                           ReplyForm{{7, 0xFF, 0xFE, 7}, false}));

}  // namespace
}  // namespace tamblor

// The wire records: big-endian header and client information codecs, bounded text fields and
// the per-command cap on an announced reply length.
#include <gtest/gtest.h>

#include <array>
#include <span>
#include <vector>

#include "JRXWire.h"

namespace {

_WSJRX_CLIENT_INFO sampleClientInfo() {
    _WSJRX_CLIENT_INFO c;
    tessaron::jrx::putFixedText(c.User.data(), c.User.size(), "a-very-long-user-name-indeed");
    tessaron::jrx::putFixedText(c.Host.data(), c.Host.size(), "host");
    c.Address = {0x02, 0xfc, 0, 0, 0, 1};
    c.IPAddress = {127, 0, 0, 10};
    c.Port = 5002;
    c.Version = 0x02020000;
    c.Level = 3;
    return c;
}

TEST(Wire, HeaderIsBigEndianAndRoundTrips) {
    jrx_command_header_s h;
    h.serverVersion = 0x03000000;
    h.command = tessaron::jrx::JRX_GET_PAPER_AD;
    h.direction = 1;
    h.dataLength = 0x01020304;
    h.reserve = 0xA0B0C0D0;
    const auto bytes = h.encode();
    const std::array<std::uint8_t, 16> expected{'J', 'T', 0x03, 0, 0, 0, tessaron::jrx::JRX_GET_PAPER_AD, 1, 0x01, 0x02, 0x03, 0x04, 0xA0, 0xB0, 0xC0, 0xD0};
    EXPECT_EQ(bytes, expected);
    const auto back = jrx_command_header_s::decode(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->dataLength, 0x01020304u);
    EXPECT_EQ(back->serverVersion, 0x03000000u);
    EXPECT_EQ(back->command, tessaron::jrx::JRX_GET_PAPER_AD);
    // Short input is no header.
    EXPECT_FALSE(jrx_command_header_s::decode(std::span<const std::uint8_t>(bytes.data(), 15)));
}

TEST(Wire, ClientInformationRoundTrips) {
    _WSJRX_CLIENT_INFO c = sampleClientInfo();
    const auto bytes = c.encode();
    EXPECT_EQ(bytes[50], 0x13);  // the port, big-endian, after user, host, MAC and IPv4 address
    EXPECT_EQ(bytes[51], 0x8A);
    EXPECT_EQ(tessaron::jrx::getU32(bytes.data() + 52), 0x02020000u);
    EXPECT_EQ(tessaron::jrx::getU16(bytes.data() + 56), 3u);
    EXPECT_EQ(bytes[46], 127);
    EXPECT_EQ(bytes[41], 0xfc);
    const auto back = _WSJRX_CLIENT_INFO::decode(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->encode(), bytes);
    // The user name is cut to its field.
    const std::string user = tessaron::jrx::fixedText(back->User.data(), back->User.size());
    EXPECT_LE(user.size(), 20u);
    EXPECT_EQ(std::string("a-very-long-user-name-indeed").rfind(user, 0), 0u) << user;
}

// Every byte of a filled record, so a change to how the record is laid out shows here.
TEST(Wire, ClientInformationBytesAreFixed) {
    _WSJRX_CLIENT_INFO c = sampleClientInfo();
    c.Reserve.front() = 0xA5;
    c.Reserve.back() = 0x5A;
    const std::array<std::uint8_t, tessaron::jrx::kClientInfoSize> expected{
        'a', '-', 'v', 'e', 'r', 'y', '-', 'l', 'o', 'n', 'g', '-', 'u', 's', 'e', 'r', '-', 'n', 'a', 0,  // User
        'h', 'o', 's', 't', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                // Host
        0x02, 0xfc, 0, 0, 0, 1,                                                                            // Address
        127, 0, 0, 10,                                                                                     // IPAddress
        0x13, 0x8A,                                                                                        // Port
        0x02, 0x02, 0x00, 0x00,                                                                            // Version
        0x00, 0x03,                                                                                        // Level
        0xA5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                        // Reserve
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x5A};
    EXPECT_EQ(c.encode(), expected);
    const auto back = _WSJRX_CLIENT_INFO::decode(expected);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Reserve, c.Reserve);
    EXPECT_EQ(back->Port, 5002u);
    EXPECT_FALSE(_WSJRX_CLIENT_INFO::decode(std::span<const std::uint8_t>(expected.data(), expected.size() - 1)));
}

TEST(Wire, TextFieldsStayInsideTheirField) {
    // No terminating zero: the text ends at the field's end, not in the bytes after it.
    const std::vector<std::uint8_t> bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
    EXPECT_EQ(tessaron::jrx::fixedText(bytes.data(), 4), "ABCD");
    const std::vector<std::uint8_t> zero{'A', 0, 'C', 'D'};
    EXPECT_EQ(tessaron::jrx::fixedText(zero.data(), zero.size()), "A");
    EXPECT_EQ(tessaron::jrx::fixedText(zero.data(), 0), "");
}

TEST(Wire, AnnouncedReplyLengthsAreCapped) {
    const std::vector<std::uint8_t> commands{tessaron::jrx::JRX_GET_PRINTER_INFO, tessaron::jrx::JRX_GET_PAPER, tessaron::jrx::JRX_GET_PAPER_AD,
                                             tessaron::jrx::JRX_GET_STATUS,       tessaron::jrx::JRX_GET_ERRORS, tessaron::jrx::JRX_SET_ORDER_AD, 0xFF};
    for (const std::uint8_t command : commands) {
        EXPECT_LE(tessaron::jrx::maxReplyDataLength(command), std::size_t{4} << 20) << int(command);
        EXPECT_GE(tessaron::jrx::maxReplyDataLength(command), tessaron::jrx::kResultBlockSize) << int(command);
    }
    EXPECT_GE(tessaron::jrx::maxReplyDataLength(tessaron::jrx::JRX_GET_ERRORS), tessaron::jrx::kResultBlockSize + tessaron::jrx::kErrorRecordSize);
    EXPECT_GE(tessaron::jrx::maxReplyDataLength(tessaron::jrx::JRX_GET_PAPER_AD), tessaron::jrx::kResultBlockSize + tessaron::jrx::kPaperRecordADSize);
}

}  // namespace

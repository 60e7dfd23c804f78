#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fakes/fake_os.h"
#include "link/protection.h"

namespace {

using lmvx::DecryptRecord;
using lmvx::EncryptRecord;
using lmvx::ServiceRecord;

class Protection : public ::testing::Test {
protected:
    void SetUp() override { fake::Os().Reset(); }
};

TEST_F(Protection, StatusRequestMatchesTheWorkedExample) {
    const lmvx::ProtectedBlock block = EncryptRecord(ServiceRecord::Request(1));
    ASSERT_NE(block.buffer, nullptr);
    EXPECT_EQ(block.size, 12032u);
    EXPECT_TRUE(block.encrypted);
    const uint8_t expected[] = {0xCF, 0x6E, 0x41, 0x42, 0x42, 0x44, 0x45, 0x46};
    EXPECT_EQ(std::memcmp(block.buffer.get(), expected, sizeof expected), 0);
    EXPECT_EQ(block.buffer[12031], 0x72);  // checksum 0x1F under mask 0x6D
    // The spare bytes after the block never carry process memory.
    for (uint32_t i = 12032; i < 12048; ++i) ASSERT_EQ(block.buffer[i], 0) << i;
}

TEST_F(Protection, MaskWrapsAtModulus255) {
    EXPECT_EQ(lmvx::MaskByte(0), 63);
    EXPECT_EQ(lmvx::MaskByte(191), 254);
    EXPECT_EQ(lmvx::MaskByte(192), 0);
    EXPECT_EQ(lmvx::MaskByte(12031), 109);
    for (uint32_t i = 0; i < 12048; ++i) ASSERT_NE(lmvx::MaskByte(i), 255) << i;
    // A zero record masks to the mask itself outside the header and checksum.
    const lmvx::ProtectedBlock block = EncryptRecord(ServiceRecord::Request(1));
    EXPECT_EQ(block.buffer[191], 254);
    EXPECT_EQ(block.buffer[192], 0);
    EXPECT_EQ(block.buffer[447], 0);  // 192 + 255
}

TEST_F(Protection, RoundTripRestoresTheRecordAndDetectsAnyChange) {
    ServiceRecord record = ServiceRecord::Request(36);
    record.SetWord(12, 0xDEADBEEF);
    record.SetString(16, 100, u"name");
    lmvx::ProtectedBlock block = EncryptRecord(record);
    std::vector<uint8_t> copy(block.buffer.get(), block.buffer.get() + 12032);
    ASSERT_TRUE(DecryptRecord(block.buffer.get(), 12032));
    EXPECT_EQ(std::memcmp(block.buffer.get(), &record, sizeof record), 0);

    copy[100] ^= 0x01;  // one flipped bit breaks the checksum
    EXPECT_FALSE(DecryptRecord(copy.data(), 12032));
}

TEST_F(Protection, DecryptRefusesTooShortBlocksWithoutTouchingThem) {
    uint8_t bytes[16] = {1, 2, 3};
    EXPECT_FALSE(DecryptRecord(bytes, 0));
    EXPECT_FALSE(DecryptRecord(bytes, 1));
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[1], 2);
    EXPECT_FALSE(DecryptRecord(nullptr, 12032));
    // Decryption works in blocks of 16: 15 bytes are refused.
    EXPECT_FALSE(DecryptRecord(bytes, 15));
}

TEST_F(Protection, DecryptAcceptsTheWholeBufferLength) {
    // A 12048-byte reply carries its checksum in its own last byte.
    std::vector<uint8_t> block(12048, 0);
    ServiceRecord record = ServiceRecord::Request(1);
    std::memcpy(block.data(), &record, sizeof record);
    ASSERT_TRUE(lmvx::ProtectBlock(block.data(), 12048));
    EXPECT_TRUE(DecryptRecord(block.data(), 12048));
    EXPECT_EQ(std::memcmp(block.data(), &record, sizeof record), 0);
    std::vector<uint8_t> longer(12064, 0);
    EXPECT_FALSE(DecryptRecord(longer.data(), 12064));
}

TEST_F(Protection, MissingEncryptionStillBuildsTheBlockButNothingDecrypts) {
    fake::Os().cryptoAvailable = false;
    const lmvx::ProtectedBlock block = EncryptRecord(ServiceRecord::Request(1));
    ASSERT_NE(block.buffer, nullptr);
    EXPECT_EQ(block.size, 12032u);
    EXPECT_FALSE(block.encrypted);
    EXPECT_EQ(block.buffer[0], 0xCF);  // checksummed and masked all the same
    EXPECT_EQ(block.buffer[12031], 0x72);
    std::vector<uint8_t> copy(block.buffer.get(), block.buffer.get() + 12032);
    EXPECT_FALSE(DecryptRecord(copy.data(), 12032));
}

TEST(Record, StringSlotsStayWithinTheirBounds) {
    ServiceRecord record = ServiceRecord::Request(12);
    std::u16string longName(150, u'x');
    record.SetString(16, 100, longName.c_str());
    record.SetWord(216, 0xFFFFFFFF);  // the next slot is untouched...
    record.SetString(16, 100, longName.c_str());
    EXPECT_EQ(record.Word(216), 0xFFFFFFFFu);
    char16_t out[120];
    EXPECT_EQ(record.ReadString(16, 100, out, 120), 99u);  // ...and 99 units fit
    EXPECT_EQ(out[99], 0);
    EXPECT_EQ(record.ReadString(16, 100, out, 10), 9u);
    EXPECT_EQ(out[9], 0);
    // A slot without a terminator is read up to its last unit but one.
    std::memset(record.Bytes() + 16, 0x41, 200);
    EXPECT_EQ(record.ReadString(16, 100, out, 120), 99u);
}

TEST(Record, ListCountsAreClamped) {
    ServiceRecord reply = ServiceRecord::Request(15);
    for (int32_t count : {-5, 0}) {
        reply.SetWord(12, static_cast<uint32_t>(count));
        EXPECT_EQ(lmvx::ClampedListCount(reply, 30), 0u) << count;
    }
    reply.SetWord(12, 7);
    EXPECT_EQ(lmvx::ClampedListCount(reply, 30), 7u);
    reply.SetWord(12, 0x7FFFFFFF);
    EXPECT_EQ(lmvx::ClampedListCount(reply, 8), 8u);
}

}  // namespace

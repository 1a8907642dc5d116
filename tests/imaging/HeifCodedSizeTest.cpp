// The coded sizes the HEIF reader compares with a file's announced size: an
// HEVC sequence parameter set and an AV1 sequence header, written here field
// by field, and the HEVC configuration of the photo fixture. A cut-short
// header gives nothing rather than a wrong size.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "imaging/formats/HeifCodedSize.h"
#include "imaging/formats/HeifItems.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

// Bits written as text, most significant first; spaces only separate the
// fields. The last byte is filled with zeros.
std::vector<uint8_t> FromBits(std::string_view text) {
  std::vector<uint8_t> bytes;
  int used = 8;
  for (char c : text) {
    if (c == ' ') continue;
    if (used == 8) {
      bytes.push_back(0);
      used = 0;
    }
    if (c == '1') bytes.back() |= uint8_t(0x80 >> used);
    ++used;
  }
  return bytes;
}

// An HEVC NAL unit's payload as the encoder stores it: a 3 after every two
// zero bytes that a byte of 0 to 3 follows.
std::vector<uint8_t> Escaped(const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out;
  int zeros = 0;
  for (uint8_t b : payload) {
    if (zeros >= 2 && b <= 3) {
      out.push_back(3);
      zeros = 0;
    }
    out.push_back(b);
    zeros = b == 0 ? zeros + 1 : 0;
  }
  return out;
}

// An 'hvcC' body holding one sequence parameter set.
std::vector<uint8_t> HvcC(const std::vector<uint8_t>& spsPayload) {
  std::vector<uint8_t> nal = {0x42, 0x01};  // NAL unit type 33
  const std::vector<uint8_t> escaped = Escaped(spsPayload);
  nal.insert(nal.end(), escaped.begin(), escaped.end());
  std::vector<uint8_t> config(22, 0);
  config.insert(config.end(), {1, 0x80 | 33, 0, 1, uint8_t(nal.size() >> 8), uint8_t(nal.size())});
  config.insert(config.end(), nal.begin(), nal.end());
  return config;
}

const std::string kZeros88(88, '0');

TEST(HeifCodedSize, HevcSequenceParameterSet) {
  // Parameter set 0, two sub-layers: the first with a profile and a level,
  // the second with a level only. 4:2:0, 1920 x 1080. The zero flags make runs
  // of zero bytes, which the escaping interrupts.
  const std::vector<uint8_t> sps =
      FromBits("0000 010 1 " + kZeros88 + " 01011101 " +  // general profile, level
               "11 01 000000000000 " + kZeros88 + " 00000011 00000100 " +
               "1 010 00000000001111000000 1 00000000001000011100 1");
  const auto size = ReadHevcCodedSize(HvcC(sps));
  ASSERT_TRUE(size.has_value());
  EXPECT_EQ(size->width, 1920);
  EXPECT_EQ(size->height, 1080);
  // 4:4:4 has a flag before the size.
  const auto full =
      ReadHevcCodedSize(HvcC(FromBits("0000 000 1 " + kZeros88 + " 01011101 1 00100 0 011 011 1")));
  ASSERT_TRUE(full.has_value());
  EXPECT_EQ(full->width, 2);
  EXPECT_EQ(full->height, 2);

  const std::vector<uint8_t> whole = HvcC(sps);
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    const std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<long>(cut));
    const auto r = ReadHevcCodedSize(part);
    if (r) EXPECT_EQ(r->width * 10000 + r->height, 1920 * 10000 + 1080) << cut;
  }
  EXPECT_FALSE(ReadHevcCodedSize({}).has_value());
  // Eight sub-layers is one more than a stream may have.
  EXPECT_FALSE(
      ReadHevcCodedSize(HvcC(FromBits("0000 111 1 " + kZeros88 + " 01011101 " + std::string(200, '0'))))
          .has_value());
}

TEST(HeifCodedSize, HevcOfThePhotoFixture) {
  const std::string s = testing::ReadWholeFile(std::string(VELMORA_TEST_DATA) + "/photo/blocks.heic");
  const std::vector<uint8_t> file(s.begin(), s.end());
  HeifItems items;
  ASSERT_TRUE(ReadHeifItems(file, items).ok());
  const HeifItem& primary = items.items[items.primary];
  EXPECT_EQ(primary.type, HeifCode("hvc1"));
  EXPECT_EQ(primary.ispeWidth, 96);
  const auto size = ReadHevcCodedSize(primary.hvcC);
  ASSERT_TRUE(size.has_value());
  EXPECT_EQ(size->width, 96);
  EXPECT_EQ(size->height, 64);
}

TEST(HeifCodedSize, Av1SequenceHeader) {
  // A temporal delimiter, then the header a still picture of 300 x 200 had
  // from Debian's encoder (the reduced form).
  const std::vector<uint8_t> still = {0x12, 0x00, 0x0A, 0x06, 0x18, 0x21, 0xE5, 0x78, 0xEC, 0x2A};
  auto size = ReadAv1CodedSize(still);
  ASSERT_TRUE(size.has_value());
  EXPECT_EQ(size->width, 300);
  EXPECT_EQ(size->height, 200);

  // The full form: timing with an equal interval (2 ticks a picture), a
  // decoder model of 10-bit delays, display delays, and two operating
  // points, the first above level 7 with both models' fields; frames up to
  // 6000 x 2000 in 13 and 11 bits.
  const std::vector<uint8_t> header =
      FromBits("000 0 0 1 " + std::string(31, '0') + "1 " + std::string(28, '0') + "1111 1 011 " +
               "1 01001 " + std::string(32, '1') + " 00011 00100 " + "1 00001 " +
               "000000000001 01000 1 1 0000000001 0000000010 1 1 0101 " + "000100000000 00100 0 0 " +
               "1100 1010 1011101101111 11111001111 " + std::string(40, '0'));
  std::vector<uint8_t> obus = {0x12, 0x00, 0x0A, uint8_t(header.size())};
  obus.insert(obus.end(), header.begin(), header.end());
  size = ReadAv1CodedSize(obus);
  ASSERT_TRUE(size.has_value());
  EXPECT_EQ(size->width, 6000);
  EXPECT_EQ(size->height, 2000);
  for (size_t cut = 0; cut < obus.size(); ++cut) {
    const std::vector<uint8_t> part(obus.begin(), obus.begin() + static_cast<long>(cut));
    const auto r = ReadAv1CodedSize(part);
    if (r) EXPECT_EQ(r->width * 10000 + r->height, 6000 * 10000 + 2000) << cut;
  }
  // No sequence header, or the forbidden bit set.
  EXPECT_FALSE(ReadAv1CodedSize(std::vector<uint8_t>{0x12, 0x00}).has_value());
  EXPECT_FALSE(
      ReadAv1CodedSize(std::vector<uint8_t>{0x8A, 0x06, 0x18, 0x21, 0xE5, 0x78, 0xEC, 0x2A}).has_value());
}

}  // namespace
}  // namespace velmora

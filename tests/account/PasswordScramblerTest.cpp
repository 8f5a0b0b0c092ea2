#include <gtest/gtest.h>

#include <string>

#include "client/account/PasswordScrambler.h"

namespace {

std::string AllHighBytes() {
  std::string s;
  for (int b = 0x80; b <= 0xFF; ++b) s.push_back(static_cast<char>(b));
  return s;
}

bool IsUpperHex(const std::string& s) {
  return s.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

TEST(PackedHex8, WritesBytesInOrderZeroThreeOneTwo) {
  EXPECT_EQ(PackedHex8(0x11223344), "44113322");
  EXPECT_EQ(PackedHex8(0), "00000000");
  EXPECT_EQ(PackedHex8(-1), "FFFFFFFF");
  // 246813 = 0x0003C41D; -246813 = 0xFFFC3BE3.
  EXPECT_EQ(PackedHex8(246813), "1D00C403");
  EXPECT_EQ(PackedHex8(-246813), "E3FF3BFC");
}

TEST(PackedHex8, ReadsBackEveryValueAndRefusesWrongTexts) {
  for (int32_t v : {0, 1, -1, 246813, -246813, 0x7FFFFFFF, INT32_MIN, 0x01020304}) {
    int32_t back = 42;
    ASSERT_TRUE(ReadPackedHex8(PackedHex8(v), back)) << v;
    EXPECT_EQ(back, v);
  }
  int32_t v = 0;
  EXPECT_TRUE(ReadPackedHex8("44113322", v));
  EXPECT_EQ(v, 0x11223344);
  EXPECT_TRUE(ReadPackedHex8("e3ff3bfc", v)) << "lower-case digits are hexadecimal too";
  EXPECT_EQ(v, -246813);
  EXPECT_FALSE(ReadPackedHex8("4411223", v));
  EXPECT_FALSE(ReadPackedHex8("441122334", v));
  EXPECT_FALSE(ReadPackedHex8("", v));
  EXPECT_FALSE(ReadPackedHex8("4411332G", v));
}

class ScrambleRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(ScrambleRoundTrip, ComesBackUnchangedInTheDescribedShape) {
  const std::string password = GetParam();
  for (int i = 0; i < 20; ++i) {  // the noise differs on every call
    const std::string text = ScramblePassword(password);
    ASSERT_TRUE(IsUpperHex(text)) << text;
    ASSERT_GE(text.size(), 8 + 16 * password.size());
    const size_t tail = text.size() - 8 - 16 * password.size();
    EXPECT_EQ(tail % 2, 0u);
    EXPECT_LE(tail, 2u * 255);
    EXPECT_EQ(text.substr(0, 8), PackedHex8(static_cast<int32_t>(password.size()) * 246813));
    std::string back = "junk";
    ASSERT_TRUE(UnscramblePassword(text, back));
    EXPECT_EQ(back, password);
  }
}

INSTANTIATE_TEST_SUITE_P(Passwords, ScrambleRoundTrip,
                         ::testing::Values(std::string(), std::string("secret"),
                                           std::string("a<b&c> \"'\t"), AllHighBytes(),
                                           std::string("\xD5\xC5\xBB\xE1\xBC\xC6kj2026"),
                                           std::string("\x01\x7F\x80\xFF", 4),
                                           std::string(61, 'x')));

TEST(ScramblePassword, EachByteIsItsSignedValueTimesTheFactor) {
  const std::string text = ScramblePassword(std::string("A\xFF", 2));
  EXPECT_EQ(text.substr(8, 8), PackedHex8(65 * 246813));
  EXPECT_EQ(text.substr(24, 8), PackedHex8(-246813)) << "0xFF is scrambled as -1";
}

TEST(UnscramblePassword, NoiseDigitsCarryNothing) {
  const std::string password = "p\xE4ss w0rd";
  const std::string text = ScramblePassword(password);
  std::string noisy = text;
  const size_t n = password.size();
  for (size_t i = 0; i < n; ++i) noisy.replace(8 + 16 * i + 8, 8, i % 2 ? "FFFFFFFF" : "0A1B2C3D");
  for (size_t p = 8 + 16 * n; p < noisy.size(); ++p) noisy[p] = "9E"[p % 2];
  noisy += "ABCDEF";  // a longer tail is harmless as well
  std::string back;
  ASSERT_TRUE(UnscramblePassword(noisy, back));
  EXPECT_EQ(back, password);
}

TEST(UnscramblePassword, RefusesTextsThatCannotHoldAPassword) {
  std::string back = "unchanged";
  EXPECT_FALSE(UnscramblePassword("", back));
  EXPECT_FALSE(UnscramblePassword("1D00C40", back)) << "shorter than the length group";
  EXPECT_FALSE(UnscramblePassword("ZZ00C403", back)) << "length group not hexadecimal";
  // A length of 2 with only one byte group present.
  const std::string two = ScramblePassword("ab");
  EXPECT_FALSE(UnscramblePassword(two.substr(0, 8 + 16 + 8), back));
  EXPECT_TRUE(UnscramblePassword(two.substr(0, 8 + 32), back)) << "the tail may be cut away";
  EXPECT_EQ(back, "ab");
  // A negative length (-1 * 246813).
  EXPECT_FALSE(UnscramblePassword(PackedHex8(-246813) + std::string(64, '0'), back));
  EXPECT_EQ(back, "ab");
}

TEST(UnscramblePassword, LengthIsTheQuotientOfTheFirstGroup) {
  // 246813 * 2 + 5 still means two bytes: integer division.
  std::string text = PackedHex8(2 * 246813 + 5);
  text += PackedHex8('h' * 246813) + "00000000";
  text += PackedHex8('i' * 246813) + "00000000";
  std::string back;
  ASSERT_TRUE(UnscramblePassword(text, back));
  EXPECT_EQ(back, "hi");
}

}  // namespace

#include "client/account/PasswordScrambler.h"

#include <cstdio>
#include <random>

namespace {

constexpr int32_t kFactor = 246813;

// Products wrap like the 32-bit signed arithmetic of the stored format.
int32_t Times(int32_t a) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(kFactor));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Noise source; the values only need to look random.
int Noise(int maxInclusive) {
  thread_local std::minstd_rand engine{std::random_device{}()};
  return std::uniform_int_distribution<int>(0, maxInclusive)(engine);
}

void AppendHex(std::string& out, const char* format, unsigned value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, format, value);
  out += buf;
}

}  // namespace

std::string PackedHex8(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  const unsigned byte[4] = {u & 0xFF, (u >> 8) & 0xFF, (u >> 16) & 0xFF, (u >> 24) & 0xFF};
  std::string out;
  for (int i : {0, 3, 1, 2}) AppendHex(out, "%02X", byte[i]);
  return out;
}

bool ReadPackedHex8(std::string_view text, int32_t& value) {
  if (text.size() != 8) return false;
  uint32_t pair[4];
  for (int i = 0; i < 4; ++i) {
    const int hi = HexValue(text[2 * i]);
    const int lo = HexValue(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    pair[i] = static_cast<uint32_t>(hi * 16 + lo);
  }
  // Pairs A B C D hold the bytes 0, 3, 1, 2.
  const uint32_t u = (pair[1] << 24) | (pair[3] << 16) | (pair[2] << 8) | pair[0];
  value = static_cast<int32_t>(u);
  return true;
}

std::string ScramblePassword(std::string_view bytes) {
  std::string out = PackedHex8(Times(static_cast<int32_t>(bytes.size())));
  for (char c : bytes) {
    out += PackedHex8(Times(static_cast<signed char>(c)));
    AppendHex(out, "%08X", static_cast<unsigned>(Noise(32767)));
  }
  const int tail = Noise(255);
  for (int i = 0; i < tail; ++i) AppendHex(out, "%02X", static_cast<unsigned>(Noise(255)));
  return out;
}

bool UnscramblePassword(std::string_view text, std::string& bytes) {
  if (text.size() < 8) return false;
  int32_t length = 0;
  if (!ReadPackedHex8(text.substr(0, 8), length)) return false;
  const int32_t n = length / kFactor;
  if (n < 0 || text.size() < 8 + 16 * static_cast<size_t>(n)) return false;
  std::string result;
  result.reserve(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    int32_t v = 0;
    if (!ReadPackedHex8(text.substr(8 + 16 * static_cast<size_t>(i), 8), v)) return false;
    result.push_back(static_cast<char>(static_cast<uint8_t>(v / kFactor)));
  }
  bytes = std::move(result);
  return true;
}

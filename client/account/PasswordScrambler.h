#pragma once
// The reversible scrambling of the stored password in "\user\user.cfg". It hides the
// password from a casual look at the file; it is not encryption. It works on bytes: the
// caller passes the GBK bytes of the password and gets them back.
#include <cstdint>
#include <string>
#include <string_view>

// Eight upper-case hexadecimal digits for the bytes of v in the order 0 (least
// significant), 3, 1, 2.
std::string PackedHex8(int32_t v);
// Reads a PackedHex8 text back. False when it is not exactly eight hexadecimal digits.
bool ReadPackedHex8(std::string_view text, int32_t& value);

// PackedHex8(n * 246813), then per byte b (signed) PackedHex8(b * 246813) followed by eight
// noise digits, then a noise tail of 0..255 random byte pairs.
std::string ScramblePassword(std::string_view bytes);
// The bytes back; false when the text is too short or its length group is unreadable.
// Noise digits are skipped unread.
bool UnscramblePassword(std::string_view text, std::string& bytes);

#pragma once
// Colours as the skin data gives them: 0x00BBGGRR values, with one value meaning "none".
#include <QColor>
#include <cstdint>

using XColor = std::uint32_t;

// The "no colour" value of every colour member.
inline constexpr XColor kXColorNone = 0xFF000000u;

constexpr XColor XRgb(int r, int g, int b) {
  return static_cast<XColor>(r & 0xFF) | (static_cast<XColor>(g & 0xFF) << 8) |
         (static_cast<XColor>(b & 0xFF) << 16);
}

constexpr bool XColorIsNone(XColor c) { return c == kXColorNone; }

inline QColor ToQColor(XColor c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

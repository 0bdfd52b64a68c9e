// Short strings: a length byte followed by up to 255 characters.  Inside the
// engine texts are std::string; these helpers convert at the edges.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace velmora {

constexpr size_t kShortStringMax = 255;

// Reads a short string: its length byte and exactly that many characters,
// never a byte more (a caller's constant may be only length + 1 bytes long).
inline std::string FromShort(const uint8_t *s) {
  if (s == nullptr) return std::string();
  return std::string(reinterpret_cast<const char *>(s) + 1, s[0]);
}

// Writes text as a short string of at most maxChars characters: the length
// byte and the characters; bytes after them are left as they are.
inline void ToShort(uint8_t *dest, std::string_view text, size_t maxChars = kShortStringMax) {
  size_t n = text.size() < maxChars ? text.size() : maxChars;
  if (n > kShortStringMax) n = kShortStringMax;
  dest[0] = static_cast<uint8_t>(n);
  if (n > 0) std::memcpy(dest + 1, text.data(), n);
}

// The text cut to the 255 characters a short string holds.
inline std::string Cut255(std::string text) {
  if (text.size() > kShortStringMax) text.resize(kShortStringMax);
  return text;
}

}  // namespace velmora

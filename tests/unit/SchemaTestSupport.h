// Helpers of the field type, definition list and schema file tests: a fresh
// temporary folder per test, whole-file bytes, little-endian block builders,
// and a platform that forwards to the real one but converts numbers strictly
// in the C locale and records what it was asked.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <velmora/velmora.hpp>

#include "platform/ForwardingPlatform.h"
#include "support/ExpectError.h"
#include "support/FileBytes.h"
#include "support/PlatformInstall.h"
#include "support/TempDir.h"

namespace schema_test {

using velmora::testing::Bytes;
using velmora::testing::ReadBytes;
using velmora::testing::TempDir;
using velmora::testing::WriteBytes;

inline void PutLE(Bytes &b, size_t at, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

inline int32_t GetLE(const Bytes &b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | b.at(at + i);
  return static_cast<int32_t>(v);
}

inline void PutText(Bytes &b, size_t at, const std::string &text) {
  b.at(at) = static_cast<uint8_t>(text.size());
  for (size_t i = 0; i < text.size(); ++i) b.at(at + 1 + i) = static_cast<uint8_t>(text[i]);
}

// The 2.1 a schema file carries as its version.
inline const Bytes kVersion21 = {0x82, 0x66, 0x66, 0x66, 0x66, 0x06};

inline Bytes HeaderBlock(int32_t fields, int32_t indexes, int32_t recordSize, const Bytes &version = kVersion21) {
  Bytes b(520, 0);
  PutLE(b, 320, fields);
  PutLE(b, 324, indexes);
  PutLE(b, 328, recordSize);
  for (size_t i = 0; i < 6; ++i) b[418 + i] = version[i];
  return b;
}

struct FieldBlockSpec {
  std::string name;
  char type;
  int32_t size;
  int32_t offset;
  int32_t flagsWord = 0;
  int32_t has[4] = {0, 0, 0, 0};
  std::string texts[3];
};

inline Bytes FieldBlock(const FieldBlockSpec &f) {
  Bytes b(520, 0);
  PutText(b, 0, f.name);
  b[65] = static_cast<uint8_t>(f.type);
  if (!f.texts[0].empty()) PutText(b, 128, f.texts[0]);
  if (!f.texts[1].empty()) PutText(b, 192, f.texts[1]);
  if (!f.texts[2].empty()) PutText(b, 256, f.texts[2]);
  PutLE(b, 320, f.size);
  PutLE(b, 324, f.offset);
  PutLE(b, 328, f.flagsWord);
  for (int i = 0; i < 4; ++i) PutLE(b, 332 + 4 * static_cast<size_t>(i), f.has[i]);
  return b;
}

// A field block without parameters.
inline Bytes PlainField(const std::string &name, char type, int32_t size, int32_t offset) {
  return FieldBlock(FieldBlockSpec{name, type, size, offset, 0, {0, 0, 0, 0}, {"", "", ""}});
}

inline Bytes IndexBlock(const std::string &name, const std::vector<int32_t> &fieldNos) {
  Bytes b(520, 0);
  PutText(b, 0, name);
  PutLE(b, 320, static_cast<int32_t>(fieldNos.size()));
  for (size_t j = 0; j < fieldNos.size(); ++j) PutLE(b, 324 + 4 * j, fieldNos[j]);
  return b;
}

inline Bytes Concat(const std::vector<Bytes> &parts) {
  Bytes all;
  for (const Bytes &p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// The initial leaf file: three blocks of (0, -1, 24 zero bytes).
inline Bytes InitialLeafFile() {
  Bytes b(96, 0);
  for (size_t k = 0; k < 3; ++k) PutLE(b, 32 * k + 4, -1);
  return b;
}

// The initial directory file: one entry (2, -1).
inline Bytes InitialDirectoryFile() {
  Bytes b(8, 0);
  PutLE(b, 0, 2);
  PutLE(b, 4, -1);
  return b;
}

// Forwards file operations to the real platform; converts numbers strictly in
// the C locale (the whole text must be a number), remembers the last text it
// was asked to convert and counts the files it creates.  Installed for the
// length of its life.
class StrictConversions : public velmora::platform::ForwardingPlatform {
 public:
  StrictConversions() : ForwardingPlatform(velmora::platform::NativePlatform()) {}

  std::unique_ptr<velmora::platform::File> Create(const std::string &path) override {
    ++creates;
    return ForwardingPlatform::Create(path);
  }

  double TextToFloat(const std::string &text) override {
    lastText = text;
    char *end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') {
      throw velmora::EConvertError("'" + text + "' is not a valid floating point value");
    }
    return v;
  }
  int32_t TextToInt(const std::string &text) override {
    lastText = text;
    char *end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < INT32_MIN || v > INT32_MAX) {
      throw velmora::EConvertError("'" + text + "' is not a valid integer value");
    }
    return static_cast<int32_t>(v);
  }
  // Accepts only "d/m/yyyy" style texts it knows the value of.
  double TextToDateTime(const std::string &text) override {
    lastText = text;
    if (text == "31/12/1899") return 1.0;
    if (text == "1/1/1900 12:00") return 2.5;
    throw velmora::EConvertError("'" + text + "' is not a valid date and time");
  }

  std::string lastText;
  int creates = 0;

 private:
  velmora::testing::PlatformInstall install_{*this};
};

}  // namespace schema_test

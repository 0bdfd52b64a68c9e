// What a phase saw, reduced to a count and a hash of every value in the order
// it was seen, so that two engines can be compared without keeping results.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace bench {

class Digest {
 public:
  void Add(int64_t value) { Mix(static_cast<uint64_t>(value)); }
  void Add(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    Mix(bits ^ 0xD0u);
  }
  void Add(const std::string &text) {
    uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a over the bytes
    for (unsigned char c : text) h = (h ^ c) * 0x100000001B3ull;
    Mix(h ^ text.size());
  }
  // Every field of a record, in field order.
  template <typename Row>
  void AddRow(const Row &row) {
    Add(static_cast<int64_t>(row.id));
    Add(row.name);
    Add(row.city);
    Add(static_cast<int64_t>(row.amount));
    Add(row.score);
  }
  // One item (a record found, a row of a range) counted.
  void Count() { ++count_; }

  int64_t count() const { return count_; }
  uint64_t hash() const { return hash_; }
  bool operator==(const Digest &other) const { return count_ == other.count_ && hash_ == other.hash_; }
  std::string Text() const {
    char text[64];
    std::snprintf(text, sizeof text, "%lld items, hash %016llx", static_cast<long long>(count_),
                  static_cast<unsigned long long>(hash_));
    return text;
  }

 private:
  void Mix(uint64_t value) {
    hash_ ^= value + 0x9E3779B97F4A7C15ull + (hash_ << 6) + (hash_ >> 2);
    hash_ *= 0xFF51AFD7ED558CCDull;
  }
  int64_t count_ = 0;
  uint64_t hash_ = 0;
};

}  // namespace bench

// A table of every field type through the exports: its record layout, keys of
// Boolean and six-byte real fields, key texts that do not convert, and locate
// on Currency, DateTime and null values.
#include <gtest/gtest.h>

#include <cstring>

#include "abi/TableClient.h"

using namespace client;

namespace {

constexpr int32_t kId = 0, kName = 1, kAmount = 2, kPaid = 3, kPrice = 4, kDue = 5, kWeight = 6;

// Six-byte reals: exponent byte (bias 129), then 39 fraction bits with the
// leading 1 implied, least significant byte first.
struct Real48 {
  uint8_t bytes[6];
};
constexpr Real48 kHalf{{0x80, 0, 0, 0, 0, 0}};
constexpr Real48 kTwoPointOne{{0x82, 0x66, 0x66, 0x66, 0x66, 0x06}};
constexpr Real48 kThree{{0x82, 0, 0, 0, 0, 0x40}};
constexpr Real48 kSeven{{0x83, 0, 0, 0, 0, 0x60}};

class FieldTypes : public ::testing::Test {
 protected:
  FieldTypes()
      : t({{"Id", 'I'},
           {"Name", 'S', 12},
           {"Amount", 'F'},
           {"Paid", 'B'},
           {"Price", 'C'},
           {"Due", 'D'},
           {"Weight", 'R'}},
          {{"ById", {kId}}, {"ByName", {kName}}, {"ByAmount", {kAmount}}, {"ByPaidWeight", {kPaid, kWeight}}}),
        a(t.api()),
        h(t.handle()) {}

  // Posts an order; a null price is nullopt.
  void Post(const char *id, const char *name, const char *amount, bool paid, Value price, const char *due,
            const Real48 &weight) {
    auto record = Order(id, name, amount, paid, price, due, weight);
    t.Put(record);
    a.DLL_PostNewRecord(h);
  }
  std::vector<uint8_t> Order(const char *id, const char *name, const char *amount, bool paid, Value price,
                             const char *due, const Real48 &weight) {
    auto record = t.Make({id, name, amount, paid ? "true" : "false", price, due, std::nullopt});
    record[kWeight] = 1;
    std::memcpy(record.data() + t.fieldOffset(kWeight), weight.bytes, 6);
    return record;
  }
  void PostOrders() {
    Post("40", "Kilo", "250", true, "19.99", "45000.25", kThree);
    Post("7", "Delta", "75.5", false, std::nullopt, "45001.75", kTwoPointOne);
    Post("15", "Bravo", "33", true, "7.25", "45003.25", kThree);
    Post("3", "Charlie", "499.75", true, "100", "45004.75", kHalf);
    Post("1", "Alpha", "910", true, "12.5", "45006.25", kSeven);
  }
  std::string CurrentId() { return t.Get(t.Current(), kId).value_or("<null>"); }
  std::string ErrorText() {
    uint8_t text[256];
    a.DLL_InternalStatus(text, h, 1);
    return FromShortBuffer(text);
  }
  int32_t Locate(std::vector<int32_t> fields, std::vector<uint8_t> &key) {
    TFieldNoList list{static_cast<int32_t>(fields.size()), fields.data()};
    return a.DLL_LocateRecord(h, &list, key.data(), -1, 0, 0, 1);
  }

  TableClient t;
  LibraryApi &a;
  int32_t h;
};

}  // namespace

TEST_F(FieldTypes, RecordLayoutOfEveryType) {
  // Null flags in bytes 0-6, each value at the previous end rounded up to a multiple of 4.
  const int32_t offsets[] = {8, 12, 28, 36, 40, 48, 56};
  const int32_t sizes[] = {4, 13, 8, 2, 8, 8, 6};
  const char types[] = "ISFBCDR";
  EXPECT_EQ(64, a.DLL_RecordSize(h));
  for (int32_t f = 0; f < 7; ++f) {
    int32_t offset = -1, length = -1;
    char type = 0;
    a.DLL_FieldInfo(h, f, &offset, &length, &type);
    EXPECT_EQ(offsets[f], offset) << f;
    EXPECT_EQ(sizes[f], length) << f;
    EXPECT_EQ(types[f], type) << f;
  }
}

TEST_F(FieldTypes, BooleanAndSixByteRealKeys) {
  PostOrders();
  a.DLL_ChangeIndex(h, 3);
  KeyTexts paid3{"TRUE", "3"};
  EXPECT_EQ(1, a.DLL_FindKeyRecord(h, paid3.data(), paid3.high()));
  EXPECT_EQ("15", CurrentId()) << "the first of the equal keys in index 0 order";
  KeyTexts unpaid3{"false", "3"};
  EXPECT_EQ(0, a.DLL_FindKeyRecord(h, unpaid3.data(), unpaid3.high()));
  KeyTexts unpaid{"false", "2.1"};
  EXPECT_EQ(1, a.DLL_FindKeyRecord(h, unpaid.data(), unpaid.high())) << "2.1 as its six-byte real";
  EXPECT_EQ("7", CurrentId());
  KeyTexts partial{"TRUE"};
  EXPECT_EQ(0, a.DLL_FindKeyRecord(h, partial.data(), partial.high())) << "the weight unset finds nothing";
  EXPECT_EQ(3, a.DLL_FindNearestRecord(h, partial.data(), partial.high()));
  EXPECT_EQ("3", CurrentId()) << "the lightest paid order";
}

TEST_F(FieldTypes, KeyTextsThatDoNotConvertAreRefused) {
  PostOrders();
  a.DLL_ChangeIndex(h, 3);
  KeyTexts yes{"yes"};
  EXPECT_VELMORA_ERROR(a.DLL_FindKeyRecord(h, yes.data(), yes.high()), EVelmoraDBError,
                       "Unable to convert array to field values");
  EXPECT_EQ("Unable to convert array to field values", ErrorText());
  EXPECT_EQ("", ErrorText()) << "delivered once";
  a.DLL_ChangeIndex(h, 2);
  KeyTexts tooBig{"1e400"};
  EXPECT_VELMORA_ERROR(a.DLL_FindKeyRecord(h, tooBig.data(), tooBig.high()), EVelmoraDBError,
                       "Unable to convert array to field values");
  KeyTexts amount{"499.75"};
  EXPECT_EQ(1, a.DLL_FindKeyRecord(h, amount.data(), amount.high())) << "the table works on";
  EXPECT_EQ("3", CurrentId());
}

TEST_F(FieldTypes, LocateOnCurrencyDateTimeAndNullValues) {
  PostOrders();
  a.DLL_First(h);
  auto key = Order("99", "Nobody", "0", false, "7.25", "45003.25", kHalf);
  EXPECT_EQ(1, Locate({kPrice, kDue}, key)) << "fields outside the list do not count";
  EXPECT_EQ("15", CurrentId());
  key = Order("99", "Nobody", "0", false, std::nullopt, "45001.75", kHalf);
  EXPECT_EQ(1, Locate({kPrice}, key)) << "a null price matches the null price only";
  EXPECT_EQ("7", CurrentId());
  key = Order("99", "Nobody", "0", false, "7.25", "45001.75", kHalf);
  EXPECT_EQ(0, Locate({kPrice, kDue}, key));
  EXPECT_EQ("7", CurrentId());
  // A signalling not-a-number in the key is an invalid operation once it is
  // loaded: the locate finds nothing and keeps the message.
  const uint64_t signallingNan = 0x7FF0000000000001ull;
  std::memcpy(key.data() + t.fieldOffset(kAmount), &signallingNan, 8);
  EXPECT_EQ(0, Locate({kAmount}, key));
  EXPECT_EQ("Invalid floating point operation", ErrorText());
  EXPECT_EQ("7", CurrentId()) << "the cursor stays";
}

// Filtering through the exports with client procedures, called as a client's
// code would be.
#include <gtest/gtest.h>

#include "abi/TableClient.h"

using namespace client;

namespace {

struct FilterContext {
  int32_t idOffset = 0;
  int calls = 0;
  int32_t throwAt = -1;  // an id for which the procedure raises
};

int32_t IdOf(const FilterContext &context, const void *record) {
  int32_t id;
  std::memcpy(&id, static_cast<const uint8_t *>(record) + context.idOffset, 4);
  return id;
}

// Passes even ids.  The result carries garbage above its low byte, which the
// library must ignore.
uint8_t VR_CALL EvenIds(intptr_t user, const void *record) {
  auto &context = *reinterpret_cast<FilterContext *>(user);
  ++context.calls;
  int32_t id = IdOf(context, record);
  if (id == context.throwAt) throw std::runtime_error("filter refused record " + std::to_string(id));
  return id % 2 == 0 ? 1 : 0;
}

// Passes ids below 6.
uint8_t VR_CALL SmallIds(intptr_t user, const void *record) {
  auto &context = *reinterpret_cast<FilterContext *>(user);
  ++context.calls;
  return IdOf(context, record) < 6 ? 1 : 0;
}

uint8_t VR_CALL Nothing(intptr_t, const void *) { return 0; }

class Filtering : public ::testing::Test {
 protected:
  Filtering() : t({{"ID", 'I'}, {"NAME", 'S', 6}}, {{"PK", {0}}, {"NAME", {1}}}), a(t.api()), h(t.handle()) {
    for (int i = 0; i < 10; ++i) t.Post({std::to_string(i), std::string(1, static_cast<char>('j' - i))});
    first.idOffset = second.idOffset = t.fieldOffset(0);
  }
  std::string CurrentId() { return t.Get(t.Current(), 0).value_or("<null>"); }

  TableClient t;
  LibraryApi &a;
  int32_t h;
  FilterContext first, second;
};

}  // namespace

TEST_F(Filtering, FirstProcedureAloneRestrictsNavigation) {
  a.DLL_SetFilterProc(h, EvenIds, reinterpret_cast<intptr_t>(&first), nullptr, 0);
  a.DLL_SetFilterStatus(h, 0xABCDEF01u, 0x12345600u);  // on, off: only the low byte counts
  a.DLL_SetFiltered(h, 0xFFFFFF01u);
  EXPECT_EQ(5, a.DLL_RangeCount(h));
  EXPECT_EQ((std::vector<std::string>{"0", "2", "4", "6", "8"}), t.Walk(0));
  EXPECT_EQ(1, a.DLL_Last(h));
  EXPECT_EQ(1, a.DLL_FindResult(h));
  EXPECT_EQ("8", CurrentId());
  EXPECT_EQ(0, a.DLL_Next(h));
  EXPECT_EQ(0, a.DLL_FindResult(h));
  EXPECT_EQ(1, a.DLL_EOF(h));
  EXPECT_EQ(1, a.DLL_Prior(h));
  EXPECT_EQ("6", CurrentId());
  // A key that fails the filter is not found.
  KeyTexts odd{"3"}, even{"4"};
  EXPECT_EQ(0, a.DLL_FindKeyRecord(h, odd.data(), odd.high()));
  EXPECT_EQ(1, a.DLL_FindKeyRecord(h, even.data(), even.high()));
  // Switching off shows every record again.
  a.DLL_SetFiltered(h, 0x00000100u);
  EXPECT_EQ(10, a.DLL_RangeCount(h));
  EXPECT_EQ(10u, t.Walk(0).size());
}

TEST_F(Filtering, SecondProcedureVerdictIsRecordedOnce) {
  a.DLL_SetFilterProc(h, EvenIds, reinterpret_cast<intptr_t>(&first), SmallIds, reinterpret_cast<intptr_t>(&second));
  a.DLL_SetFilterStatus(h, 1, 1);
  a.DLL_SetFiltered(h, 1);
  EXPECT_EQ(10, second.calls) << "each record asked once";
  EXPECT_EQ(3, a.DLL_RangeCount(h));
  EXPECT_EQ(10, second.calls) << "a recount does not ask the second procedure again";
  EXPECT_EQ((std::vector<std::string>{"0", "2", "4"}), t.Walk(0));
  // Posting evaluates the new record.
  t.Post({"-2", "z"});
  EXPECT_EQ(4, a.DLL_RangeCount(h));
  EXPECT_EQ("-2", CurrentId());
  t.Post({"12", "y"});
  EXPECT_EQ(4, a.DLL_RangeCount(h));
}

TEST_F(Filtering, NoPassingRecordEmptiesTheCursor) {
  a.DLL_SetFilterProc(h, Nothing, 0, nullptr, 0);
  a.DLL_SetFilterStatus(h, 1, 0);
  a.DLL_SetFiltered(h, 1);
  EXPECT_EQ(0, a.DLL_First(h));
  EXPECT_EQ(1, a.DLL_BOF(h));
  EXPECT_EQ(1, a.DLL_EOF(h));
  EXPECT_TRUE(a.DLL_RangeEmpty(h));
  EXPECT_EQ(0, a.DLL_RangeCount(h));
}

TEST_F(Filtering, SwitchingOnWithoutProceduresIsAnError) {
  EXPECT_VELMORA_ERROR(a.DLL_SetFiltered(h, 1), EVelmoraDBError, "Error in Filter procedure initialization");
  EXPECT_VELMORA_ERROR(a.DLL_First(h), EVelmoraDBError, "Error - filter list corrupted.Turn off filter to correct");
  a.DLL_SetFiltered(h, 0);
  a.DLL_First(h);
  EXPECT_EQ("0", CurrentId());
  EXPECT_EQ(1, a.DLL_Next(h)) << "unfiltered moves give the record number";
}

TEST_F(Filtering, AnExceptionFromAProcedurePassesThroughWithTheCursorRestored) {
  a.DLL_SetFilterProc(h, EvenIds, reinterpret_cast<intptr_t>(&first), nullptr, 0);
  a.DLL_SetFilterStatus(h, 1, 0);
  a.DLL_SetFiltered(h, 1);
  a.DLL_First(h);
  ASSERT_EQ("0", CurrentId());
  first.throwAt = 1;
  try {
    a.DLL_Next(h);
    ADD_FAILURE() << "the procedure's exception was swallowed";
  } catch (const std::runtime_error &e) {
    EXPECT_STREQ("filter refused record 1", e.what());
  }
  uint8_t status[256];
  a.DLL_InternalStatus(status, h, 0);
  EXPECT_EQ("CR 0:FS 10:CP 0INo0BOF 1:0EOF 0:9 Filt=1", FromShortBuffer(status));
  first.throwAt = -1;
  EXPECT_EQ(1, a.DLL_Next(h));
  EXPECT_EQ("2", CurrentId());
}

TEST_F(Filtering, MoveToOntoAFailingRecordReportsTheFilter) {
  a.DLL_SetFilterProc(h, EvenIds, reinterpret_cast<intptr_t>(&first), nullptr, 0);
  a.DLL_SetFilterStatus(h, 1, 0);
  a.DLL_SetFiltered(h, 1);
  a.DLL_First(h);
  EXPECT_EQ(2, a.DLL_MoveTo(h, 3));
  EXPECT_EQ("2", CurrentId());
  EXPECT_VELMORA_ERROR(a.DLL_MoveTo(h, 4), EVelmoraDBError, "Error in MoveBy function. Filter probably corrupt.");
}

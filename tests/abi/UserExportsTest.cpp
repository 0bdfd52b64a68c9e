// The user exports and the handle check, called through the shared library.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "abi/LibraryApi.h"
#include "support/ExpectError.h"

using client::Api;

namespace {

template <class Fn>
void ExpectRefused(Fn &&call, const std::string &what) {
  SCOPED_TRACE(what);
  EXPECT_VELMORA_ERROR(call(), EUserAccessError, "Invalid user handle for Velmora access");
}

}  // namespace

TEST(UserExports, FreshLoadHasOnlyTheReservedUserAndHandsOutHandlesInOrder) {
  client::LibraryApi api(true);
  std::string text = api.Stats();
  int32_t a = api.DLL_Connect(7);
  int32_t b = api.DLL_Connect(8);
  api.DLL_Disconnect(a);
  int32_t c = api.DLL_Connect(9);
  std::string out =
      text + "|" + std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + "|" + api.Stats();
  EXPECT_EQ("10/-1 nil :|1,2,3|40/-1 nil :1/-1 nil :2/8 nil :3/9 nil :", out);
}

TEST(UserExports, ShowStatsCountsUsersAndStopsAt255Characters) {
  client::LibraryApi api(true);
  for (int i = 0; i < 40; ++i) api.DLL_Connect(-123456 - i);
  std::string out = api.Stats();
  ASSERT_EQ(255u, out.size());
  std::string expected = "41";
  for (int i = 0; i <= 40; ++i)
    expected += std::to_string(i) + "/" + std::to_string(i == 0 ? -1 : -123456 - (i - 1)) + " nil :";
  EXPECT_EQ(expected.substr(0, 255), out);
}

TEST(UserExports, ShowStatsWritesLengthAndCharactersOnly) {
  client::LibraryApi api(true);
  api.DLL_Connect(3);
  uint8_t text[256];
  std::memset(text, 0xEE, sizeof text);
  api.ShowStats(text);
  ASSERT_GT(text[0], 0);
  ASSERT_LT(text[0], 255);
  EXPECT_EQ(0xEE, text[text[0] + 1]) << "the byte after the text must be left alone";
}

TEST(UserExports, CheckOpenIsFalseForANewUser) {
  int32_t h = Api().DLL_Connect(1);
  EXPECT_EQ(0, Api().DLL_CheckOpen(h));
  EXPECT_EQ(0, Api().DLL_FieldCount(h));
  EXPECT_EQ(0, Api().DLL_IndexCount(h));
  EXPECT_EQ(0, Api().DLL_Disconnect(h));
}

TEST(UserExports, HandleCheckUsesTheLow16BitsOnly) {
  // Make sure user 1 exists and is connected in this process.
  while (Api().DLL_Connect(5) < 2) {
  }
  int32_t fresh = Api().DLL_Connect(77);
  ASSERT_GE(fresh, 2);
  // 65536 + fresh addresses the same user as fresh.
  EXPECT_EQ(0, Api().DLL_CheckOpen(0x10000 + fresh));
  EXPECT_EQ(0, Api().DLL_CheckOpen(static_cast<int32_t>(0xABCD0000u) + fresh));
  ExpectRefused([] { Api().DLL_CheckOpen(0); }, "handle 0");
  ExpectRefused([] { Api().DLL_CheckOpen(0x10000); }, "handle 65536");
  ExpectRefused([&] { Api().DLL_CheckOpen(fresh + 1); }, "handle equal to the user count");
  ExpectRefused([] { Api().DLL_CheckOpen(-1); }, "handle -1 (low bits 65535)");
  ExpectRefused([] { Api().DLL_Disconnect(0); }, "disconnecting user 0");
  Api().DLL_Disconnect(fresh);
}

TEST(UserExports, DisconnectedUserKeepsItsPlaceButIsRefused) {
  {
    client::LibraryApi api(true);
    int32_t user = api.DLL_Connect(31);
    api.DLL_Disconnect(user);
    EXPECT_EQ("20/-1 nil :1/-1 nil :", api.Stats());
  }
  int32_t h = Api().DLL_Connect(31);
  Api().DLL_Disconnect(h);
  for (auto call :
       std::vector<std::function<void()>>{[&] { Api().DLL_CheckOpen(h); }, [&] { Api().DLL_Disconnect(h); },
                                          [&] { Api().DLL_FieldCount(h); }, [&] { Api().DLL_CloseTable(h); }}) {
    try {
      call();
      ADD_FAILURE() << "a disconnected handle was accepted";
    } catch (const velmora::EUserAccessError &e) {
      EXPECT_NE(nullptr, std::strstr(e.what(), "disconnected")) << e.what();
    }
  }
}

TEST(UserExports, EveryExportWithAHandleRefusesHandleZeroBeforeAnythingElse) {
  auto &a = Api();
  uint8_t out[256] = {};
  client::TightShortString name("ORDERS.vri");
  int32_t i32 = 0, j32 = 0;
  char type = 0;
  uint8_t flag = 0;
  std::vector<std::pair<const char *, std::function<void()>>> calls = {
      {"DLL_Disconnect", [&] { a.DLL_Disconnect(0); }},
      {"DLL_CheckOpen", [&] { a.DLL_CheckOpen(0); }},
      {"DLL_OpenTable", [&] { a.DLL_OpenTable(0, name.get(), 34); }},
      {"DLL_CloseTable", [&] { a.DLL_CloseTable(0); }},
      {"DLL_MoveFromDB", [&] { a.DLL_MoveFromDB(0, out); }},
      {"DLL_MoveToDB", [&] { a.DLL_MoveToDB(0, out); }},
      {"DLL_RecordSize", [&] { a.DLL_RecordSize(0); }},
      {"DLL_SetFieldToNull", [&] { a.DLL_SetFieldToNull(0, 0); }},
      {"DLL_FieldCount", [&] { a.DLL_FieldCount(0); }},
      {"DLL_FieldName", [&] { a.DLL_FieldName(out, 0, 0); }},
      {"DLL_FieldInfo", [&] { a.DLL_FieldInfo(0, 0, &i32, &j32, &type); }},
      {"DLL_GetFieldParams", [&] { a.DLL_GetFieldParams(0, 0, 0, &flag, out, 255); }},
      {"DLL_IndexCount", [&] { a.DLL_IndexCount(0); }},
      {"DLL_GetIndexName", [&] { a.DLL_GetIndexName(out, 0, 0); }},
      {"DLL_CurrentIndexName", [&] { a.DLL_CurrentIndexName(out, 0); }},
      {"DLL_IndexFieldCount", [&] { a.DLL_IndexFieldCount(0); }},
      {"DLL_IndexFieldName", [&] { a.DLL_IndexFieldName(out, 0, 0); }},
      {"DLL_FindIndexName", [&] { a.DLL_FindIndexName(0, name.get()); }},
      {"DLL_ChangeIndex", [&] { a.DLL_ChangeIndex(0, 0); }},
      {"DLL_First", [&] { a.DLL_First(0); }},
      {"DLL_Last", [&] { a.DLL_Last(0); }},
      {"DLL_Next", [&] { a.DLL_Next(0); }},
      {"DLL_Prior", [&] { a.DLL_Prior(0); }},
      {"DLL_MoveTo", [&] { a.DLL_MoveTo(0, 1); }},
      {"DLL_CurrentRecordPosition", [&] { a.DLL_CurrentRecordPosition(0); }},
      {"DLL_BOF", [&] { a.DLL_BOF(0); }},
      {"DLL_EOF", [&] { a.DLL_EOF(0); }},
      {"DLL_RangeEmpty", [&] { a.DLL_RangeEmpty(0); }},
      {"DLL_FindResult", [&] { a.DLL_FindResult(0); }},
      {"DLL_RangeCount", [&] { a.DLL_RangeCount(0); }},
      {"DLL_ReadRecord", [&] { a.DLL_ReadRecord(0); }},
      {"DLL_GetRecord", [&] { a.DLL_GetRecord(0); }},
      {"DLL_TotalRecords", [&] { a.DLL_TotalRecords(0); }},
      {"DLL_FindNearestRecord", [&] { a.DLL_FindNearestRecord(0, out, 0); }},
      {"DLL_FindKeyRecord", [&] { a.DLL_FindKeyRecord(0, out, 0); }},
      {"DLL_ApplyRange", [&] { a.DLL_ApplyRange(0, out, 0, out, 0); }},
      {"DLL_CancelRange", [&] { a.DLL_CancelRange(0); }},
      {"DLL_EditRecord", [&] { a.DLL_EditRecord(0); }},
      {"DLL_PostEditedRecord", [&] { a.DLL_PostEditedRecord(0); }},
      {"DLL_PostNewRecord", [&] { a.DLL_PostNewRecord(0); }},
      {"DLL_DeleteRecord", [&] { a.DLL_DeleteRecord(0); }},
      {"DLL_EmptyTable", [&] { a.DLL_EmptyTable(0); }},
      {"DLL_GetCurrentBookMarkData", [&] { a.DLL_GetCurrentBookMarkData(0); }},
      {"DLL_AddBookmark", [&] { a.DLL_AddBookmark(0, 1); }},
      {"DLL_DeleteBookmark", [&] { a.DLL_DeleteBookmark(0, 0); }},
      {"DLL_CheckBookmarkValid", [&] { a.DLL_CheckBookmarkValid(0, 0); }},
      {"DLL_GoToBookmark", [&] { a.DLL_GoToBookmark(0, 0); }},
      {"DLL_RebuildTable", [&] { a.DLL_RebuildTable(0, &i32, &j32); }},
      {"DLL_MapFieldsToIndex", [&] { a.DLL_MapFieldsToIndex(0, nullptr, 1); }},
      {"DLL_SetFilterProc", [&] { a.DLL_SetFilterProc(0, nullptr, 0, nullptr, 0); }},
      {"DLL_SetFilterStatus", [&] { a.DLL_SetFilterStatus(0, 1, 1); }},
      {"DLL_SetFiltered", [&] { a.DLL_SetFiltered(0, 0); }},
      {"DLL_InternalStatus", [&] { a.DLL_InternalStatus(out, 0, 0); }},
      {"DLL_VRIFileOps", [&] { a.DLL_VRIFileOps(0, 1, name.get(), nullptr, nullptr); }},
  };
  for (auto &[what, call] : calls) ExpectRefused(call, what);
  // Locate never raises: a bad handle is simply "not found".
  EXPECT_EQ(0, a.DLL_LocateRecord(0, nullptr, nullptr, 0, 0, 0, 1));
}

TEST(UserExports, TableUtilsNeedsNoUserForTheNoOperationCodes) {
  client::TightShortString source("/nonexistent/ORDERS.vri");
  client::TightShortString dest("/nonexistent/COPY.vri");
  for (int32_t op : {-1, -2, -3}) EXPECT_EQ(-1, Api().DLL_TableUtils(0, source.get(), dest.get(), op));
}

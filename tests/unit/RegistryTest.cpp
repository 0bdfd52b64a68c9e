// The registry and the table object's error reporting, inside the engine.
#include <gtest/gtest.h>

#include <velmora/velmora.hpp>

#include "DLL_Comm/Registry.h"
#include "VRcomm/EngineError.h"
#include "Velmoradb/VelmoraDB.h"
#include "support/ExpectError.h"

using namespace velmora;

TEST(TableObject, NewObjectIsClosedWithEmptyLastError) {
  TVRVelmoraDB table;
  EXPECT_FALSE(table.IsOpen());
  EXPECT_EQ(0, table.GetFieldCount());
  EXPECT_EQ(0, table.GetIndexCount());
  EXPECT_EQ("", table.LastErrorText());
}

TEST(TableObject, TableErrorsGoToLastErrorAndEngineErrorsToTheLibraryText) {
  TVRVelmoraDB table;
  TakeEngineError();
  EXPECT_ENGINE_ERROR(table.RaiseTableError("Unable to search. Range is empty."), "Unable to search. Range is empty.");
  EXPECT_EQ("Unable to search. Range is empty.", table.LastErrorText());
  EXPECT_EQ("", EngineErrorText());

  EXPECT_ENGINE_ERROR(RaiseEngineError("Cache collision at 35"), "Cache collision at 35");
  EXPECT_EQ("Unable to search. Range is empty.", table.LastErrorText()) << "engine errors leave it";
  EXPECT_EQ("Cache collision at 35", TakeEngineError());
  EXPECT_EQ("", TakeEngineError()) << "delivered once";
}

TEST(TableObject, MessagesAreCutTo255Characters) {
  TVRVelmoraDB table;
  std::string longText(300, 'x');
  EXPECT_THROW(table.RaiseTableError(longText), EVelmoraDBError);
  EXPECT_EQ(std::string(255, 'x'), table.LastErrorText());
  EXPECT_THROW(RaiseEngineError(longText), EVelmoraDBError);
  EXPECT_EQ(std::string(255, 'x'), TakeEngineError());
}

TEST(Registry, UserRecordsKeepClientIdAndName) {
  UserRegistry &users = UserRegistry::Instance();
  int32_t h = users.Connect(4242);
  EXPECT_EQ(users.Count() - 1, h);
  EXPECT_EQ(4242, users.UserOf(h).ClientId);
  EXPECT_EQ("nil", users.UserOf(h).TableName);
  EXPECT_FALSE(users.TableOf(h).IsOpen());
  users.Disconnect(h);
  EXPECT_EQ(-1, users.UserOf(h).ClientId);
  EXPECT_THROW(users.TableOf(h), EUserAccessError);
  EXPECT_THROW(users.Disconnect(h), EUserAccessError);
}

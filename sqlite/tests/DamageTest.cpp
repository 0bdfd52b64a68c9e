// Damaged tables: the engine's message comes back as a clear SQL error, both
// when the table is connected and when a query meets the damage.
#include <filesystem>
#include <fstream>

#include "SqlFixture.h"

namespace sqltest {
namespace {

class DamageTest : public StaffTest {
 protected:
  void Fill() {
    ASSERT_EQ("", Create("staff"));
    ASSERT_EQ("", sql_.Exec("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 300)"
                            " INSERT INTO staff (Id, Name) SELECT n, 'name' || n FROM s"));
  }
  std::string File(const std::string &extension) const { return folder_ / ("staff" + extension); }
};

TEST_F(DamageTest, ATableWhoseDataFileIsShortIsRefusedWhenConnected) {
  Fill();
  ASSERT_EQ("", sql_.Exec("DROP TABLE staff"));
  std::filesystem::resize_file(File(".vrd"), std::filesystem::file_size(File(".vrd")) / 2);
  const std::string create = "CREATE VIRTUAL TABLE staff USING velmora('" + schema_ + "', readwrite)";
  std::string error = sql_.Exec(create);
  EXPECT_NE(std::string::npos, error.find("Velmora may be corrupted - suggest rebuild")) << error;
  // The failed open let go of the table: a second try meets the same damage, not a lock.
  EXPECT_EQ(error, sql_.Exec(create));
}

TEST_F(DamageTest, ADamagedSchemaFileIsRefusedWithTheReason) {
  std::ofstream(schema_, std::ios::binary | std::ios::trunc) << std::string(600, '\0');
  std::string error = sql_.Exec("CREATE VIRTUAL TABLE staff USING velmora('" + schema_ + "')");
  EXPECT_EQ("Unable to open a table without an index", error);
}

TEST_F(DamageTest, AQueryMeetingDamageFailsWithTheEnginesMessage) {
  Fill();
  EXPECT_EQ((std::vector<std::string>{"name7"}), sql_.Rows("SELECT Name FROM staff WHERE Id = 7"));
  // A table connected for writing is its files' only writer and keeps them in
  // memory, so the damage is made while nobody has the table open: records
  // that the index still lists are cut off the data file.
  ASSERT_EQ("", sql_.Exec("DROP TABLE staff"));
  std::filesystem::resize_file(File(".vrd"), std::filesystem::file_size(File(".vrd")) / 3);
  // The open may meet the damage already (it reads the last record of the
  // first index); if it does not, the query does, as a corruption error.
  std::string error = sql_.Exec("CREATE VIRTUAL TABLE staff USING velmora('" + schema_ + "')");
  if (error.empty()) {
    try {
      sql_.Rows("SELECT Id, Name FROM staff ORDER BY Name");
    } catch (const std::exception &e) {
      error = e.what();
    }
    EXPECT_EQ(SQLITE_CORRUPT, sql_.lastCode() & 0xFF);
  }
  EXPECT_NE(std::string::npos, error.find("Velmora may be corrupted - suggest rebuild")) << error;
}

}  // namespace
}  // namespace sqltest

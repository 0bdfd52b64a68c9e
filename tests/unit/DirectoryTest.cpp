// Block directories: reading with clamping, shifting insertions and removals
// (also across several chunks) with the saved place, finding and updating by
// block, emptying, and the refusal of damaged or misused files.
#include <gtest/gtest.h>

#include "Ind2/SecondIndex.h"
#include "IndexTestSupport.h"
#include "VRcomm/EngineError.h"

using namespace velmora;
using namespace velmora::indextest;

namespace {

// Directory entries (b, 1000 + b) for blocks from..to.
std::vector<int32_t> Entries(int32_t from, int32_t to) {
  std::vector<int32_t> out;
  for (int32_t b = from; b <= to; ++b) {
    out.push_back(b);
    out.push_back(1000 + b);
  }
  return out;
}

std::vector<int32_t> Cat(std::vector<int32_t> a, const std::vector<int32_t> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class Directory : public ::testing::Test {
 protected:
  // Opens n directory files of table T; file 0 holds the given words.
  void Open(const std::vector<int32_t> &words, int n = 1) {
    table = MakeEmptyTable(dir, "T", n);
    WriteBytes(dir / "T.VA2", Ints(words));
    d.OpenDirFiles(table, n);
  }
  std::vector<int32_t> FileWords(const std::string &name = "T.VA2") const { return ToInts(ReadBytes(dir / name)); }

  TempDir dir;
  std::string table;
  TVRSecondIndex d;
};

TEST(DirectoryConstruction, StartsClosedWithOneEntry) {
  TVRSecondIndex d;
  EXPECT_FALSE(d.AreDirFilesOpen());
  EXPECT_EQ(1, d.GetEntryCount());
  EXPECT_EQ(0, d.GetCurFileNo());
  EXPECT_ENGINE_ERROR(d.WriteEntries(0, 1), "Index2 file is not open");
  EXPECT_ENGINE_ERROR(d.ReadEntries(1, 4), "Index2 file is not open");
}

TEST_F(Directory, OpeningSelectsFileZeroAndReadsItsFirstEntry) {
  Open(Entries(2, 6), 2);
  EXPECT_TRUE(d.AreDirFilesOpen());
  EXPECT_EQ(2, d.GetDirFileCount());
  EXPECT_EQ(5, d.GetEntryCount());
  EXPECT_EQ(0, d.GetPosition());
  d.SelectFile(1);
  EXPECT_EQ(1, d.GetEntryCount());
  EXPECT_EQ((TDirEntry{2, -1}), d.ReadCurrent());
  d.CloseDirFiles();
  EXPECT_FALSE(d.AreDirFilesOpen());
}

TEST_F(Directory, MissingOrEmptyFilesFailTheOpening) {
  const char *message = "Error on file opening - unable to open index (2) files.";
  table = MakeEmptyTable(dir, "T", 1);
  EXPECT_ENGINE_ERROR(d.OpenDirFiles(table, 2), message);
  EXPECT_EQ(2, d.GetDirFileCount());
  EXPECT_FALSE(d.AreDirFilesOpen());
  TVRSecondIndex other;
  WriteBytes(dir / "T.VA2", Bytes());
  TakeEngineError();
  EXPECT_ENGINE_ERROR(other.OpenDirFiles(table, 1), message);
  EXPECT_EQ(message, TakeEngineError());
  EXPECT_TRUE(other.AreDirFilesOpen()) << "the files were all open when selecting file 0 failed";
  EXPECT_ENGINE_ERROR(other.ReadAt(0), "Index2 file is empty.");
  EXPECT_ENGINE_ERROR(other.SelectFile(1), "Index2 file number 1 is not open.");
}

TEST_F(Directory, ReadAtClampsAndMovesThroughTheEntries) {
  Open(Entries(2, 11));
  EXPECT_EQ((TDirEntry{2, 1002}), d.ReadAt(-5));
  EXPECT_EQ(0, d.GetPosition());
  EXPECT_TRUE(d.AtFirst());
  EXPECT_EQ((TDirEntry{2, 1002}), d.ReadPrior()) << "before the first entry the first is read again";
  EXPECT_EQ((TDirEntry{11, 1011}), d.ReadAt(d.GetEntryCount() + 3));
  EXPECT_EQ(9, d.GetPosition());
  EXPECT_TRUE(d.AtLast());
  EXPECT_EQ((TDirEntry{11, 1011}), d.ReadNext());
  EXPECT_EQ((TDirEntry{10, 1010}), d.ReadPrior());
  EXPECT_FALSE(d.AtLast());
  EXPECT_EQ((TDirEntry{10, 1010}), d.ReadCurrent());
  EXPECT_EQ((TDirEntry{2, 1002}), d.ReadFirst());
  EXPECT_EQ((TDirEntry{11, 1011}), d.ReadLast());
  EXPECT_EQ(9, d.LastPosition());
}

TEST_F(Directory, WriteAtOverwritesOneEntryAndGoesBackToTheFirst) {
  Open(Entries(2, 11));
  d.ReadAt(5);
  d.WriteAt(7, TDirEntry{40, 41});
  EXPECT_EQ(0, d.GetPosition());
  std::vector<int32_t> expected = Entries(2, 11);
  expected[14] = 40;
  expected[15] = 41;
  EXPECT_EQ(expected, FileWords());
  EXPECT_ENGINE_ERROR(d.WriteAt(10, TDirEntry{1, 1}), "Index2 position 10 is out of range for writing.");
  EXPECT_ENGINE_ERROR(d.WriteAt(-1, TDirEntry{1, 1}), "Index2 position -1 is out of range for writing.");
  EXPECT_EQ(expected, FileWords());
}

TEST_F(Directory, InsertionShiftsTheFollowingEntriesAndKeepsTheCurrentPosition) {
  Open(Entries(2, 11));
  d.SetChunkSize(4);  // moves of entries 6 to 9, then 2 to 5
  d.ReadAt(6);
  d.InsertAt(2, TDirEntry{50, 51}, 0, false);
  EXPECT_EQ(11, d.GetEntryCount());
  EXPECT_EQ(6, d.GetPosition());
  EXPECT_EQ(Cat(Cat(Entries(2, 3), {50, 51}), Entries(4, 11)), FileWords());
  d.InsertAt(11, TDirEntry{60, 61}, 0, false);
  EXPECT_EQ(Cat(Cat(Cat(Entries(2, 3), {50, 51}), Entries(4, 11)), {60, 61}), FileWords());
  d.InsertAt(0, TDirEntry{70, 71}, 0, false);
  EXPECT_EQ(Cat(Cat(Cat(Cat({70, 71}, Entries(2, 3)), {50, 51}), Entries(4, 11)), {60, 61}), FileWords());
  EXPECT_EQ(13, d.GetEntryCount());
  EXPECT_ENGINE_ERROR(d.InsertAt(14, TDirEntry{1, 1}, 0, false), "Index2 position 14 is out of range for insertion.");
  EXPECT_EQ(13, d.GetEntryCount());
}

TEST_F(Directory, InsertionAcrossManyChunksWithEveryChunkSize) {
  for (int32_t chunk : {1, 3, 4, 7, 512}) {
    Open(Entries(2, 101));
    d.SetChunkSize(chunk);
    d.InsertAt(37, TDirEntry{500, 501}, 0, false);
    EXPECT_EQ(Cat(Cat(Entries(2, 38), {500, 501}), Entries(39, 101)), FileWords()) << chunk;
    d.DeleteAt(37);
    EXPECT_EQ(Entries(2, 101), FileWords()) << chunk;
    d.CloseDirFiles();
  }
}

TEST_F(Directory, LongDirectoryShiftsBeyondTheLargestChunk) {
  Open(Entries(2, 1301));  // 1300 entries: more than two full chunks
  d.ReadAt(3);
  d.SavePosition();
  d.ReadAt(900);
  d.InsertAt(1, TDirEntry{7000, 7001}, 0, false);
  EXPECT_EQ(4, d.GetSavedPosition());
  EXPECT_EQ(900, d.GetPosition());
  EXPECT_EQ(Cat(Cat(Entries(2, 2), {7000, 7001}), Entries(3, 1301)), FileWords());
  d.DeleteAt(0);
  EXPECT_EQ(Cat({7000, 7001}, Entries(3, 1301)), FileWords());
  EXPECT_EQ(1300, d.GetEntryCount());
  EXPECT_EQ(0, d.GetPosition());
  EXPECT_EQ(4, d.GetSavedPosition()) << "removal leaves the saved place alone";
  int32_t position = -1;
  TDirEntry entry;
  d.FindBlock(1301, position, entry);
  EXPECT_EQ(1299, position);
  EXPECT_EQ((TDirEntry{1301, 2301}), entry);
}

TEST_F(Directory, SavedPlaceFollowsInsertionsIntoItsOwnFileOnly) {
  Open(Entries(2, 11), 2);
  d.ReadAt(3);
  d.SavePosition();
  d.InsertAt(3, TDirEntry{90, 91}, 0, false);
  EXPECT_EQ(4, d.GetSavedPosition());
  d.ReadAt(3);
  d.SavePosition();
  d.InsertAt(4, TDirEntry{92, 93}, 0, false);
  EXPECT_EQ(3, d.GetSavedPosition());
  d.InsertAt(4, TDirEntry{94, 95}, 0, true);
  EXPECT_EQ(4, d.GetSavedPosition());
  d.InsertAt(9, TDirEntry{96, 97}, 0, true);
  EXPECT_EQ(4, d.GetSavedPosition()) << "only the entry just before the insertion follows a move";
  d.SelectFile(1);
  d.InsertAt(0, TDirEntry{3, 5}, 1, true);
  EXPECT_EQ(0, d.GetSavedFileNo());
  EXPECT_EQ(4, d.GetSavedPosition());
  EXPECT_EQ((std::vector<int32_t>{3, 5, 2, -1}), FileWords("T.VB2"));
  EXPECT_EQ((TDirEntry{94, 95}), d.RestorePosition());
  EXPECT_EQ(0, d.GetCurFileNo());
  EXPECT_EQ(4, d.GetPosition());
}

TEST_F(Directory, RemovalShiftsDownAndCutsTheFile) {
  Open(Entries(2, 11));
  d.SetChunkSize(4);
  d.ReadAt(8);
  d.DeleteAt(2);  // moves 3 to 6, then 7 to 9 (short read)
  EXPECT_EQ(Cat(Entries(2, 3), Entries(5, 11)), FileWords());
  EXPECT_EQ(9, d.GetEntryCount());
  EXPECT_EQ(0, d.GetPosition());
  d.DeleteAt(4);  // moves 5 to 8, then reads nothing
  EXPECT_EQ(Cat(Cat(Entries(2, 3), Entries(5, 6)), Entries(8, 11)), FileWords());
  d.DeleteAt(7);  // the last entry: only the cut
  EXPECT_EQ(Cat(Cat(Entries(2, 3), Entries(5, 6)), Entries(8, 10)), FileWords());
  EXPECT_EQ(7, d.GetEntryCount());
  EXPECT_ENGINE_ERROR(d.DeleteAt(7), "Index2 position 7 is out of range for removal.");
  EXPECT_ENGINE_ERROR(d.DeleteAt(-1), "Index2 position -1 is out of range for removal.");
}

TEST_F(Directory, TheOnlyEntryIsNeverRemoved) {
  Open({5, 9});
  EXPECT_ENGINE_ERROR(d.DeleteAt(0), "Unable to remove the only entry of an index2 file.");
  EXPECT_EQ((std::vector<int32_t>{5, 9}), FileWords());
  EXPECT_EQ(1, d.GetEntryCount());
}

TEST_F(Directory, FindBlockScansChunksAndReportsAMissingBlock) {
  Open(Entries(2, 11));
  d.SetChunkSize(4);
  d.ReadAt(5);
  int32_t position = -1;
  TDirEntry entry;
  d.FindBlock(10, position, entry);
  EXPECT_EQ(8, position);
  EXPECT_EQ((TDirEntry{10, 1010}), entry);
  EXPECT_EQ(0, d.GetPosition());
  d.FindBlock(6, position, entry);
  EXPECT_EQ(4, position);
  TakeEngineError();
  EXPECT_ENGINE_ERROR(d.FindBlock(12, position, entry),
                      "Error in index file search. Velmora may be corrupted - suggest rebuild (12)");
  EXPECT_EQ("Error in index file search. Velmora may be corrupted - suggest rebuild (12)", TakeEngineError());
  d.SetChunkSize(5);  // the entries fill the chunks exactly; the end is a read of nothing
  EXPECT_ENGINE_ERROR(d.FindBlock(1, position, entry),
                      "Error in index file search. Velmora may be corrupted - suggest rebuild (1)");
}

TEST_F(Directory, UpdateByBlockChangesOnlyTheFieldsGiven) {
  Open(Entries(2, 11));
  d.UpdateByBlock(9, TDirEntry{4, -1});
  std::vector<int32_t> expected = Entries(2, 11);
  expected[14] = 4;
  EXPECT_EQ(expected, FileWords());
  d.UpdateByBlock(3, TDirEntry{-1, 77});
  expected[3] = 77;
  EXPECT_EQ(expected, FileWords());
  d.UpdateByBlock(11, TDirEntry{0, 0});
  expected[18] = 0;
  expected[19] = 0;
  EXPECT_EQ(expected, FileWords());
  EXPECT_EQ(0, d.GetPosition());
}

TEST_F(Directory, EmptyingResetsEveryFileToTheSingleEmptyEntry) {
  table = MakeEmptyTable(dir, "T", 3);
  WriteBytes(dir / "T.VA2", Ints(Entries(2, 9)));
  WriteBytes(dir / "T.VC2", Ints(Entries(2, 4)));
  d.OpenDirFiles(table, 3);
  d.SelectFile(2);
  d.ReadAt(2);
  d.EmptyDirFiles();
  for (const char *name : {"T.VA2", "T.VB2", "T.VC2"}) EXPECT_EQ(Ints({2, -1}), ReadBytes(dir / name)) << name;
  EXPECT_EQ(1, d.GetEntryCount());
  EXPECT_EQ(0, d.GetPosition());
  EXPECT_EQ(2, d.GetCurFileNo());
}

TEST_F(Directory, ShortChunkWritesReportBufferStartAndCount) {
  Open(Entries(2, 11));
  ShortWritePlatform shortWrites;
  d.CloseDirFiles();
  d.OpenDirFiles(table, 1);
  shortWrites.flag.on = true;
  EXPECT_ENGINE_ERROR(d.WriteAt(3, TDirEntry{1, 1}),
                      "Error on index file write access. Velmora may be corrupted - suggest rebuild (0/1)");
  shortWrites.flag.on = false;
  d.CloseDirFiles();
}

TEST_F(Directory, AnEntryCutAwayBehindTheDirectoryIsReportedOnRead) {
  Open(Entries(2, 11));
  EXPECT_EQ(10, d.GetEntryCount());
  WriteBytes(dir / "T.VA2", Ints(Entries(2, 5)));
  EXPECT_ENGINE_ERROR(d.ReadAt(8), "Error on index2 file read. Velmora may be corrupted - suggest rebuild.");
}

}  // namespace

#include "DataLayerFixture.h"
#include "EngineTestPeer.h"

namespace velmora::datatest {
namespace {

constexpr int32_t kSize = 8;
constexpr int kRecords = 40;

using RecordCacheTest = DataLayerTest;

Bytes Image(const uint8_t *data) { return Bytes(data, data + kSize); }

// Sets up the cache alone for a record size, as opening a data file does.
void OpenCacheFor(TVRRecBase &base, int32_t recordSize) {
  EngineTestPeer::SetRecordSize(base, recordSize);
  base.OpenCache();
}

TEST_F(RecordCacheTest, GeometryFollowsTheRecordSize) {
  struct Case {
    int32_t recordSize;
    uint32_t mask;
    int32_t cacheSize;
  };
  for (Case c : {Case{100, 31, 3424}, Case{2040, 31, 65504}, Case{2041, 15, 32768}, Case{0, 31, 224},
                 Case{32760, 1, 65534}, Case{65527, 0, 65534}}) {
    TVRRecBase base;
    OpenCacheFor(base, c.recordSize);
    EXPECT_EQ(base.GetCacheMask(), c.mask) << c.recordSize;
    EXPECT_EQ(base.GetCacheSize(), c.cacheSize) << c.recordSize;
    EXPECT_EQ(os_.faults.allocations.back(), static_cast<size_t>(c.cacheSize));
    auto block = reinterpret_cast<uintptr_t>(base.GetCacheBlock());
    const uintptr_t stride = static_cast<uintptr_t>(c.recordSize) + 7;
    for (uint32_t i = 0; i <= base.GetCacheMask(); ++i) {
      const TCacheSlot &slot = base.SlotOf(static_cast<int32_t>(i));
      EXPECT_EQ(reinterpret_cast<uintptr_t>(slot.Data), TVRRecBase::AlignUp4(block + i * stride));
      EXPECT_LE(reinterpret_cast<uintptr_t>(slot.Data) + c.recordSize, block + c.cacheSize);
      EXPECT_EQ(slot.RecNo, -1);
      EXPECT_EQ(slot.PinCount, 0);
    }
  }
}

TEST_F(RecordCacheTest, OpeningTheDataFileSetsUpTheCache) {
  OpenWith(100, 0);
  EXPECT_EQ(Base().CacheSlotCount(), 32);
  EXPECT_EQ(Base().GetCacheSize(), 3424);
  EXPECT_EQ(os_.faults.allocations, (std::vector<size_t>{7 * 107, 3424}));
}

TEST_F(RecordCacheTest, FailedAllocationHalvesTheSlots) {
  os_.faults.failAllocAbove = 1000;
  OpenCacheFor(Base(), 100);
  EXPECT_EQ(os_.faults.allocations, (std::vector<size_t>{3424, 1712, 856}));
  EXPECT_EQ(Base().GetCacheMask(), 7u);
  EXPECT_EQ(Base().GetCacheSize(), 856);
  EXPECT_NE(Base().GetCacheBlock(), nullptr);
}

TEST_F(RecordCacheTest, CacheThatCannotGetOneSlotIsRefused) {
  os_.faults.failAllocAbove = 100;
  EXPECT_ENGINE_ERROR_RECORDED(OpenCacheFor(Base(), 100), "Error on opening internal table cache");
  EXPECT_EQ(os_.faults.allocations, (std::vector<size_t>{3424, 1712, 856, 428, 214, 107}));
  EXPECT_EQ(Base().GetCacheBlock(), nullptr);

  // Through the data file open: the record buffers are given back as well.
  os_.faults.allocations.clear();
  os_.faults.failAllocAbove = SIZE_MAX;
  os_.faults.allowAllocs = 1;
  WriteFile({});
  EXPECT_ENGINE_ERROR_RECORDED(Base().OpenDataFile(path_, 100), "Error on opening internal table cache");
  EXPECT_EQ(os_.faults.allocations, (std::vector<size_t>{749, 3424, 1712, 856, 428, 214, 107}));
  EXPECT_EQ(os_.faults.live, 0);
  EXPECT_FALSE(Base().DataFileOpen());
}

TEST_F(RecordCacheTest, FetchPinsAndHitsCostNoFileAccess) {
  OpenWith(kSize, kRecords);
  uint8_t *first = Base().FetchRecord(3);
  EXPECT_EQ(Image(first), Record(kSize, 3));
  const int readsAfterMiss = os_.faults.reads;
  uint8_t *again = Base().FetchRecord(3);
  EXPECT_EQ(again, first);
  EXPECT_EQ(os_.faults.reads, readsAfterMiss);
  EXPECT_EQ(Base().SlotOf(3).PinCount, 2);
  Base().ReleaseRecord(3);
  Base().ReleaseRecord(3);
  EXPECT_EQ(Base().SlotOf(3).PinCount, 0);
  EXPECT_EQ(Base().SlotOf(3).RecNo, 3);
}

TEST_F(RecordCacheTest, PinnedSlotCollidesThenReleasedSlotIsReused) {
  OpenWith(kSize, kRecords);
  uint8_t *three = Base().FetchRecord(3);
  EXPECT_ENGINE_ERROR_RECORDED(Base().FetchRecord(35), "Cache collision at 35");
  EXPECT_EQ(Base().SlotOf(35).RecNo, 3);
  EXPECT_EQ(Base().SlotOf(35).PinCount, 1);
  EXPECT_EQ(Image(three), Record(kSize, 3));

  Base().ReleaseRecord(3);
  uint8_t *thirtyFive = Base().FetchRecord(35);
  EXPECT_EQ(thirtyFive, three);
  EXPECT_EQ(Image(thirtyFive), Record(kSize, 35));
  EXPECT_EQ(Base().SlotOf(35).RecNo, 35);
  EXPECT_EQ(Base().SlotOf(35).PinCount, 1);
}

TEST_F(RecordCacheTest, StoreCollidesWithAnotherPinnedRecord) {
  OpenWith(kSize, kRecords);
  Base().FetchRecord(3);
  Bytes rec = Record(kSize, 50);
  EXPECT_ENGINE_ERROR_RECORDED(Base().StoreRecord(35, rec.data()), "Cache write collision at 35");
  EXPECT_EQ(ReadFile(), Records(kSize, kRecords));
  EXPECT_EQ(Base().SlotOf(3).RecNo, 3);
  EXPECT_EQ(Base().SlotOf(3).PinCount, 1);
}

TEST_F(RecordCacheTest, StoreOfAPinnedRecordWritesThroughAndAddsAPin) {
  OpenWith(kSize, kRecords);
  uint8_t *image = Base().FetchRecord(3);
  Bytes rec = Record(kSize, 50);
  Base().StoreRecord(3, rec.data());
  EXPECT_EQ(Base().SlotOf(3).PinCount, 2);
  EXPECT_EQ(Image(image), rec);
  Bytes expected = Records(kSize, kRecords);
  std::copy(rec.begin(), rec.end(), expected.begin() + 3 * kSize);
  EXPECT_EQ(ReadFile(), expected);
}

TEST_F(RecordCacheTest, StoreAtTheCountAppends) {
  OpenWith(kSize, kRecords);
  Bytes rec = Record(kSize, 60);
  Base().StoreRecord(kRecords, rec.data());
  Base().ReleaseRecord(kRecords);
  Bytes expected = Records(kSize, kRecords);
  expected.insert(expected.end(), rec.begin(), rec.end());
  EXPECT_EQ(ReadFile(), expected);
  // The stored image is served without reading the file.
  const int reads = os_.faults.reads;
  EXPECT_EQ(Image(Base().FetchRecord(kRecords)), rec);
  EXPECT_EQ(os_.faults.reads, reads);
}

TEST_F(RecordCacheTest, StoreBeyondTheEndLeavesTheSlotAlone) {
  OpenWith(kSize, kRecords);
  Base().ReadRecordCopy(Base().Buffer(BufferRole::kCurrent), 9);  // slot 9 holds record 9, unpinned
  Bytes rec = Record(kSize, 61);
  EXPECT_ENGINE_ERROR_RECORDED(Base().StoreRecord(41, rec.data()),
                               "Error on data file write1. Velmora may be corrupted - suggest rebuild (41/40)");
  EXPECT_EQ(Base().SlotOf(41).RecNo, 9);
  EXPECT_EQ(Base().SlotOf(41).PinCount, 0);
  EXPECT_EQ(Image(Base().SlotOf(41).Data), Record(kSize, 9));
}

TEST_F(RecordCacheTest, FailedStoreGivesBackItsPin) {
  OpenWith(kSize, kRecords);
  os_.faults.shortWrite = true;
  Bytes rec = Record(kSize, 62);
  const std::string write2 = "Error on data file write2. Velmora may be corrupted - suggest rebuild.";
  EXPECT_ENGINE_ERROR_RECORDED(Base().StoreRecord(4, rec.data()), write2);
  EXPECT_EQ(Base().SlotOf(4).RecNo, -1);
  EXPECT_EQ(Base().SlotOf(4).PinCount, 0);

  // A record still pinned by its fetcher keeps the fetcher's pin only.
  os_.faults.shortWrite = false;
  Base().FetchRecord(5);
  os_.faults.shortWrite = true;
  EXPECT_ENGINE_ERROR_RECORDED(Base().StoreRecord(5, rec.data()), write2);
  EXPECT_EQ(Base().SlotOf(5).RecNo, 5);
  EXPECT_EQ(Base().SlotOf(5).PinCount, 1);
}

TEST_F(RecordCacheTest, FailedReadLeavesTheSlotEmpty) {
  OpenWith(kSize, kRecords);
  Base().ReadRecordCopy(Base().Buffer(BufferRole::kCurrent), 3);
  os_.faults.shortRead = true;
  EXPECT_ENGINE_ERROR_RECORDED(Base().FetchRecord(35),
                               "Error on data file read2. Velmora may be corrupted - suggest rebuild.");
  EXPECT_EQ(Base().SlotOf(3).RecNo, -1);
  EXPECT_EQ(Base().SlotOf(3).PinCount, 0);
  os_.faults.shortRead = false;
  EXPECT_EQ(Image(Base().FetchRecord(3)), Record(kSize, 3));
}

TEST_F(RecordCacheTest, NegativeRecordNumbersNeverHitAnEmptySlot) {
  OpenWith(kSize, kRecords);
  EXPECT_ENGINE_ERROR_RECORDED(Base().FetchRecord(-1),
                               "Error on data file read1. Velmora may be corrupted - suggest rebuild (-1/40)");
  Base().ReleaseRecord(-1);
  Base().PurgeRecord(-1);
  for (uint32_t i = 0; i <= Base().GetCacheMask(); ++i) {
    EXPECT_EQ(Base().SlotOf(static_cast<int32_t>(i)).PinCount, 0) << i;
    EXPECT_EQ(Base().SlotOf(static_cast<int32_t>(i)).RecNo, -1) << i;
  }
}

TEST_F(RecordCacheTest, PurgeDropsOnlyUnpinnedImagesOfTheRecord) {
  OpenWith(kSize, kRecords);
  Base().FetchRecord(6);
  EXPECT_ENGINE_ERROR_RECORDED(Base().PurgeRecord(6), "Velmora base error in cache purge");
  EXPECT_EQ(Base().SlotOf(6).RecNo, 6);
  Base().PurgeRecord(38);  // same slot, other record: nothing happens
  EXPECT_EQ(Base().SlotOf(6).RecNo, 6);
  EXPECT_EQ(Base().SlotOf(6).PinCount, 1);
  Base().ReleaseRecord(6);
  Base().PurgeRecord(6);
  EXPECT_EQ(Base().SlotOf(6).RecNo, -1);
}

TEST_F(RecordCacheTest, ReleaseOfARecordNotInItsSlotChangesNothing) {
  OpenWith(kSize, kRecords);
  Base().FetchRecord(7);
  Base().ReleaseRecord(39);
  EXPECT_EQ(Base().SlotOf(7).PinCount, 1);
  EXPECT_EQ(Base().SlotOf(7).RecNo, 7);
  Base().ReleaseRecord(7);
  Base().ReleaseRecord(7);  // one release too many stays at 0
  EXPECT_EQ(Base().SlotOf(7).PinCount, 0);
  Base().FetchRecord(39);  // so the slot is replaceable
  EXPECT_EQ(Base().SlotOf(39).RecNo, 39);
}

TEST_F(RecordCacheTest, ResetEmptiesEverySlot) {
  OpenWith(kSize, kRecords);
  Base().FetchRecord(1);
  Base().FetchRecord(2);
  Base().ResetCache();
  for (uint32_t i = 0; i <= Base().GetCacheMask(); ++i) {
    EXPECT_EQ(Base().SlotOf(static_cast<int32_t>(i)).PinCount, 0) << i;
    EXPECT_EQ(Base().SlotOf(static_cast<int32_t>(i)).RecNo, -1) << i;
  }
  Base().FetchRecord(33);
  EXPECT_EQ(Base().SlotOf(33).RecNo, 33);
}

TEST_F(RecordCacheTest, ReadRecordCopyCopiesAndReleases) {
  OpenWith(kSize, kRecords);
  Base().ReadRecordCopy(Base().Buffer(BufferRole::kSearchKey), 12);
  EXPECT_EQ(Image(Base().Buffer(BufferRole::kSearchKey)), Record(kSize, 12));
  EXPECT_EQ(Base().SlotOf(12).RecNo, 12);
  EXPECT_EQ(Base().SlotOf(12).PinCount, 0);
  EXPECT_ENGINE_ERROR_RECORDED(Base().ReadRecordCopy(nullptr, 12),
                               "Error on data file read1. Velmora may be corrupted - suggest rebuild (12/40)");
}

TEST_F(RecordCacheTest, TruncatedRecordsAreNotServedFromTheCache) {
  OpenWith(kSize, 5);
  Base().ReadRecordCopy(Base().Buffer(BufferRole::kCurrent), 4);
  Base().TruncateDataFile(1);
  EXPECT_ENGINE_ERROR_RECORDED(Base().FetchRecord(4),
                               "Error on data file read1. Velmora may be corrupted - suggest rebuild (4/4)");
}

TEST_F(RecordCacheTest, CacheOperationsWhileClosedAreRefused) {
  uint8_t area[kSize] = {};
  EXPECT_ENGINE_ERROR_RECORDED(Base().FetchRecord(0), "Data file is not open");
  EXPECT_ENGINE_ERROR_RECORDED(Base().StoreRecord(0, area), "Data file is not open");
  EXPECT_ENGINE_ERROR_RECORDED(Base().ReadRecordCopy(area, 0), "Data file is not open");
  Base().ReleaseRecord(0);
  Base().PurgeRecord(0);
  EXPECT_EQ(Base().SlotOf(0).PinCount, 0);
}

}  // namespace
}  // namespace velmora::datatest

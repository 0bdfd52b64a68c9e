// Bookmarks: numbered slots holding record numbers, kept in step with
// deletions.  A free slot holds -2; a bookmark whose record was deleted, -1.
#include <velmora/velmora.hpp>

#include "VRcomm/DefLists.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

namespace {
constexpr int32_t kFreeSlot = -2;
constexpr int32_t kNoRecord = -1;
}  // namespace

int32_t TVRVelmoraDB::AddBookmark(int32_t value) {
  size_t slot = 0;
  while (slot < Bookmarks.size() && Bookmarks[slot] != kFreeSlot) ++slot;
  if (slot == Bookmarks.size()) Bookmarks.push_back(kNoRecord);
  Bookmarks[slot] = value;
  return static_cast<int32_t>(slot);
}

void TVRVelmoraDB::DeleteBookmark(int32_t slot) {
  if (slot < 0 || static_cast<size_t>(slot) >= Bookmarks.size()) RaiseListError(slot);
  Bookmarks[slot] = kFreeSlot;
  while (!Bookmarks.empty() && Bookmarks.back() == kFreeSlot) Bookmarks.pop_back();
}

int32_t TVRVelmoraDB::CheckBookmarkValid(int32_t slot) {
  if (slot < 0 || static_cast<size_t>(slot) >= Bookmarks.size()) return -1;
  int32_t value = Bookmarks[slot];
  return value >= 0 && value < RecordCount() ? value : -1;
}

bool TVRVelmoraDB::GoToBookmark(int32_t slot) {
  int32_t recNo = CheckBookmarkValid(slot);
  if (recNo < 0) return false;
  ReadRecordCopy(SearchKeyBuffer(), recNo);
  return SeekSearchKey();
}

void TVRVelmoraDB::RemapBookmarks(int32_t deleted, int32_t moved) {
  for (int32_t &value : Bookmarks)
    if (value == deleted) value = kNoRecord;
  for (int32_t &value : Bookmarks)
    if (value == moved) value = deleted;
}

}  // namespace velmora

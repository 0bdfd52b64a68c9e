// The table object: one table as seen by one user, with its definition, data
// file, index layer, cursor, range, bookmarks and filter.  Its operations are
// spread over one source file per concern in this folder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "VRcomm/FieldTypes.h"
#include "Velmoradb/FilterList.h"
#include "Velmoradb/RecBase.h"
#include "Velmoradb/TablePager.h"

namespace velmora {

class TIndex;
class TMiscFileOps;

inline constexpr const char *kCursorLost =
    "Another program changed or deleted the current record; find it again before editing or deleting it.";

class TVRVelmoraDB : public TVRRecBase {
 public:
  TVRVelmoraDB();
  ~TVRVelmoraDB();

  bool IsOpen() const { return SchemaHandle > 0; }
  // Records the message as this table's last error, then raises EVelmoraDBError.
  [[noreturn]] void RaiseTableError(const std::string &message);

  // Opening and closing (OpenClose.cpp).
  int32_t OpenTable(const std::string &path, int32_t openMode);
  void CloseTable();

  // Definition queries (Definitions.cpp).
  int32_t CurrentIndex() const;
  int32_t FindIndexName(const std::string &name) const;
  TFieldDescriptor GetFieldDescriptor(int32_t fieldNo);
  TIndexDescriptor GetIndexDescriptor(int32_t indexNo) const;

  // Key search (Search.cpp).  Key texts are a run of 256-byte short strings
  // with their high index.
  bool FindKey(const uint8_t *texts, int32_t high);
  int32_t FindNearest(const uint8_t *texts, int32_t high);

  // Ranges (Range.cpp).
  int32_t ChangeIndex(int32_t indexNo);
  int32_t CancelRange();
  int32_t ApplyRange(const uint8_t *low, int32_t lowHigh, const uint8_t *high, int32_t highHigh);

  // Cursor and navigation (Navigation.cpp).
  int32_t First();
  int32_t Last();
  int32_t Next();
  int32_t Prior();
  int32_t MoveTo(int32_t position);
  bool ReadRecord();
  int32_t CurrentRecordPosition();
  int32_t RangeCount();
  bool RangeEmpty() const { return CurrentRec == -1; }

  // Posting (Posting.cpp, Deleting.cpp).
  int32_t PostNewRecord();
  void EditRecord();
  void PostEditedRecord();
  int32_t DeleteRecord();
  int32_t EmptyTable();

  // Bookmarks (Bookmarks.cpp).
  int32_t AddBookmark(int32_t value);
  void DeleteBookmark(int32_t slot);
  int32_t CheckBookmarkValid(int32_t slot);
  bool GoToBookmark(int32_t slot);

  // Locate (Locate.cpp).
  using FieldNumbers = std::vector<int32_t>;
  // Reorders the list in place into the key order of the highest-numbered
  // index whose leading key fields are exactly the listed fields.
  int32_t MapFieldsToIndex(int32_t *fields, int32_t n, bool useIndex);
  // Never raises: any failure is "not found", its message kept as the last error.
  bool LocateRecord(const FieldNumbers &fields, uint8_t *key, int32_t indexNo, int32_t partialLength, bool caseless,
                    bool moveCursor);

  // Rebuild (Rebuild.cpp).
  void RebuildTable(int32_t &kept, int32_t &before);

  // Status texts (Status.cpp).
  std::string StatusText();
  // This table's last error, or failing that the library-wide one (which is
  // then emptied); this table's is emptied in both cases.
  std::string TakeErrorText();

  // Filters (Filters.cpp).
  void SetFilterProc(TFilterProc first, intptr_t firstUser, TFilterProc second, intptr_t secondUser);
  void SetFilterStatus(bool firstOn, bool secondOn);
  void SetFiltered(bool on);

  // The record buffer the client reads and fills.
  uint8_t *CurrentBuffer() const { return Buffer(BufferRole::kCurrent); }
  // Refuses an operation that needs an open table.
  void RequireOpen(const char *operation) const {
    if (!IsOpen() || !DamageReason.empty()) RefuseUnopened(operation);
  }
  // The refusal, where there is one (a damaged table still takes a rebuild).
  void RefuseUnopened(const char *operation) const;

  // Read access to the loaded definition and the cursor's state.
  int32_t GetFieldCount() const { return FieldCount; }
  int32_t GetIndexCount() const { return IndexCount; }
  // Descriptor i of the loaded definition, for i already known to be valid.
  const TFieldDescriptor &FieldAt(int32_t i) const { return Fields[i]; }
  const TIndexDescriptor &IndexAt(int32_t i) const { return Indexes[i]; }
  int32_t GetCurrentRec() const { return CurrentRec; }
  bool IsAtBOF() const { return AtBOF; }
  bool IsAtEOF() const { return AtEOF; }
  bool GetFindResult() const { return FindResult; }
  // This table's last error, as TakeErrorText would deliver it.
  const std::string &LastErrorText() const { return LastError; }
  // Keeps the message of a failure that is reported, not raised, as this
  // table's last error.
  void NoteError(const std::string &message) { LastError = message; }
  // The schema file operations of the call running on this table, held only
  // for the length of that call.
  TMiscFileOps *HeldSchemaOps() const { return SchemaOps; }
  void HoldSchemaOps(TMiscFileOps *ops) { SchemaOps = ops; }

 private:
  // TableCall enters the table for an export: it locks the pager, keeps the
  // call state aside and puts it back.
  friend class TableCall;
  friend class EngineTestPeer;
  class RangeKeeper;

  // Loads the field and index descriptors from the open schema file, refusing
  // a schema whose counts, types, sizes or offsets do not make a valid table.
  void LoadDefinition();
  void CloseAfterFailedOpen();

  // Keys and key search (Keys.cpp, Search.cpp).
  void FillKeyBuffer(const uint8_t *texts, int32_t high, BufferRole target);
  int32_t CompareField(const uint8_t *a, const uint8_t *b, int32_t fieldNo, bool caseless, int32_t maxLen);
  int32_t CompareKeys(const uint8_t *a, const uint8_t *b, bool tieBreak, int32_t indexNo);
  // Selects index indexNo and refuses, with the floating-point error the
  // comparison raises, a record whose key cannot be ordered against every key
  // of that index (KeyOrder.cpp).
  void RequireOrderableKey(const uint8_t *image, int32_t indexNo);
  // Searches the selected index for key, comparing on index indexNo; returns
  // whether some probe compared equal, and the record number at the landing place.
  // A record not (yet) in the data file may be given with its image, so an
  // index that already holds its number can still be searched.
  // When probed is given, every record number the search reads is appended to it.
  bool SearchKey(const uint8_t *key, int32_t indexNo, int32_t &recNo, int32_t pendingRec = -1,
                 const uint8_t *pendingImage = nullptr, std::vector<int32_t> *probed = nullptr);
  bool SeekSearchKey();

  // Ranges (Range.cpp).
  void ResetRange(int32_t indexNo);
  void SeekRangeStart();
  void SeekRangeEnd();
  bool CheckRangeEmpty();
  int32_t InitRange();

  // Cursor and navigation (Navigation.cpp).
  void LoadCurrentRecord();
  void SetEmptyState();
  int32_t UnfilteredFirst();
  int32_t UnfilteredLast();
  int32_t UnfilteredNext();
  int32_t UnfilteredPrior();
  int32_t FilteredSeek(bool includeCurrent, bool forward, bool commit);
  bool FilteredFirst();
  bool FilteredLast();
  bool FilteredNext();
  bool FilteredPrior();
  // Raises the message when the index cursor does not stand on the current record.
  void CheckPosition(const char *message);
  // After a failure that interrupted an operation between SaveCursor and
  // RestoreCursor: returns the index cursor to the saved place and reloads the
  // current record, swallowing any further failure so the first one reaches the caller.
  void RestoreCursorAfterFailure();

  // Posting (Posting.cpp, Deleting.cpp).
  void RemoveRecord(const uint8_t *image);
  // After a failed insertion of record n: takes its entry out of the first
  // `indexed` indexes again, cuts whatever of it reached the data file, and
  // puts the cursor back on the record that was current before.
  void UndoInsertion(int32_t n, const uint8_t *image, int32_t indexed, int32_t original, int32_t active);
  void PlaceInRange(const uint8_t *image, int32_t recNo);
  void RepairRangeAfterRemoval(bool wasFirst, bool wasLast);
  // The edit's new key already has an entry in index i.
  [[noreturn]] void RaiseEditCollision(int32_t i, int32_t r, int32_t e, int32_t e1, int32_t e2);

  // Bookmarks (Bookmarks.cpp).
  void RemapBookmarks(int32_t deleted, int32_t moved);

  // Locate (Locate.cpp).
  int32_t CompareFieldList(const FieldNumbers &fields, const uint8_t *a, const uint8_t *b, bool caseless,
                           int32_t partialLength);
  bool LocateByScan(const FieldNumbers &fields, uint8_t *key, int32_t partialLength, bool caseless, bool moveCursor);
  bool LocateByIndex(const FieldNumbers &fields, uint8_t *key, int32_t indexNo, int32_t partialLength, bool caseless,
                     bool moveCursor);

  // Rebuild (Rebuild.cpp).
  // Moves the data file aside under the ".VXX" extension and starts it anew,
  // empty; returns the rebuild file's name.
  std::string CreateRebuildFile();
  // Undoes CreateRebuildFile when the rebuild cannot go on.
  void RestoreFromRebuildFile(const std::string &name);
  // Raises "Rebuild error - corrupt record" (or a conversion error) for a
  // record that cannot be a record of this table.
  void ValidateRecord(const uint8_t *record);

  // Calls beside other openers (Revalidate.cpp).  The engine's own state
  // between calls (cursor, range, index cursor, block counts, filter states,
  // bookmarks), kept to be put back when a posting operation fails.
  struct CallState;
  std::unique_ptr<CallState> SaveCallState();
  void RestoreCallState(const CallState &state);
  // Before the images of a table another opener changed are dropped: the
  // current record's image as this opener last saw it.
  void KeepCursorKey(std::vector<uint8_t> &key);
  // After they were dropped: finds the range again from its keys and the
  // current record by its key (or the nearest following one, which the next
  // Next then returns), and recounts the filter.
  // showMoved: where the current record went, the record buffer shows the
  // record the cursor now stands on; otherwise it keeps its contents.
  void ResyncAfterChange(const std::vector<uint8_t> &key, bool showMoved);
  void ResyncCursor(const std::vector<uint8_t> &key);
  // Rebuild through the images: the data file is copied into the rebuild
  // file, and the emptying and re-posting are one posting operation.
  void RebuildInPlace(int32_t &kept, int32_t &before);

  // Filters (Filters.cpp).
  void Recount(bool full);
  bool FilterTest(int32_t recNo);
  bool RecordedFilterTest(const uint8_t *image, int32_t recNo);

  // Record buffer roles.
  uint8_t *RangeLowKey() const { return Buffer(BufferRole::kRangeLow); }
  uint8_t *RangeHighKey() const { return Buffer(BufferRole::kRangeHigh); }
  uint8_t *WorkBuffer() const { return Buffer(BufferRole::kWork); }
  uint8_t *RangeFirstCopy() const { return Buffer(BufferRole::kRangeFirst); }
  uint8_t *RangeLastCopy() const { return Buffer(BufferRole::kRangeLast); }
  uint8_t *SearchKeyBuffer() const { return Buffer(BufferRole::kSearchKey); }

  // Opened schema file (kept open, with the client's open mode, while the table is open).
  std::unique_ptr<platform::File> SchemaFile;
  std::string SchemaPath;
  int32_t SchemaHandle = 0;
  int32_t RangeStartPos = 0;
  int32_t CurrentPos = 0;
  int32_t RangeRecordCount = 0;
  std::vector<int32_t> Bookmarks;
  bool Filtered = false;
  std::unique_ptr<TFilterList> FilterList;
  bool FindResult = false;
  TMiscFileOps *SchemaOps = nullptr;
  std::string LastError;
  int32_t FieldCount = 0;
  int32_t IndexCount = 0;
  std::unique_ptr<TIndex> PrimaryIndex;
  TIndexDescriptor Indexes[kMaxIndexes] = {};
  TFieldDescriptor Fields[kMaxFields] = {};
  int32_t RangeLastRec = 0;
  int32_t RangeFirstRec = 0;
  int32_t CurrentRec = 0;
  bool AtEOF = false;
  bool AtBOF = false;
  // The storage of the open table: images, locks, change counter, journal.
  TablePager Pager;
  // The cursor was put on the record after one that went away: the next
  // Next returns it instead of moving past it.
  bool PendingNext = false;
  // Another program changed or deleted the record the cursor stood on since
  // the client last moved: editing or deleting it is refused.
  bool CursorLost = false;
  // Set when the open found the files disagreeing: only the rebuild (and
  // closing, and the status texts) may use the table until it has run.
  std::string DamageReason;
};

}  // namespace velmora

// The table object: one table as seen by one user, with its definition, data
// file, index layer, cursor, range, bookmarks and filter.  Its operations are
// spread over one source file per concern in this folder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "VRcomm/FieldTypes.h"
#include "Velmoradb/RecBase.h"

namespace velmora {

class TIndex;
class TFilterList;
class TMiscFileOps;

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

  // Opened schema file (kept open, with the client's open mode, while the table is open).
  std::unique_ptr<platform::File> SchemaFile;
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
};

}  // namespace velmora

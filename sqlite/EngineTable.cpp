// Calls of the library's exports, each inside a guard.  Replacing the
// exception-raising exports by an interface that returns errors as results
// changes this file only.
#include "EngineTable.h"

#include <cstring>
#include <exception>

#include <velmora/velmora.hpp>

namespace vsql {
namespace {

constexpr int32_t kModeReadWrite = 34;  // read and write, others may only read
constexpr int32_t kModeReadOnly = 64;   // read only, others may do anything
constexpr int32_t kMaxFields = 26;
constexpr int32_t kMaxIndexes = 13;

struct ShortString {
  uint8_t bytes[256] = {};
  explicit ShortString(const std::string &text) {
    size_t n = text.size() < 255 ? text.size() : 255;
    bytes[0] = static_cast<uint8_t>(n);
    std::memcpy(bytes + 1, text.data(), n);
  }
};

std::string FromShort(const uint8_t *bytes) { return std::string(reinterpret_cast<const char *>(bytes + 1), bytes[0]); }

bool Contains(const std::string &text, const char *part) { return text.find(part) != std::string::npos; }

}  // namespace

EngineTable::~EngineTable() { Close(); }

void EngineTable::Fail(const std::string &message, const char *className) {
  error_ = message.empty() ? std::string("the table engine failed without a message") : message;
  if (Contains(error_, "Key violation") || Contains(error_, "key violation")) {
    failure_ = Failure::kKeyViolation;
  } else if (Contains(error_, "Velmora is full")) {
    failure_ = Failure::kFull;
  } else if (Contains(error_, "may be corrupted") || Contains(error_, "Error in index position")) {
    failure_ = Failure::kCorrupt;
  } else if (std::strcmp(className, "EInOutError") == 0) {
    failure_ = Failure::kInOut;
  } else {
    failure_ = Failure::kOther;
  }
}

template <class Call>
bool EngineTable::Guard(Call &&call) {
  try {
    call();
    return true;
  } catch (const velmora::Exception &e) {
    Fail(e.what(), e.ClassName());
  } catch (const std::exception &e) {
    Fail(e.what(), "");
  } catch (...) {
    Fail("", "");
  }
  return false;
}

bool EngineTable::Open(const std::string &schemaPath, bool writable) {
  Close();
  if (schemaPath.size() > 255) {
    Fail("the schema path is longer than 255 characters", "");
    return false;
  }
  if (!Guard([&] { h_ = DLL_Connect(0); })) return false;

  // The definition as the schema file gives it, read before the table is
  // opened: the index key fields are not available otherwise.
  std::vector<TFieldDescriptor> fieldItems(kMaxFields);
  std::memset(fieldItems.data(), 0, sizeof(TFieldDescriptor) * fieldItems.size());
  std::vector<TIndexDef> indexItems(kMaxIndexes);
  for (TIndexDef &item : indexItems) {
    std::memset(&item, 0, sizeof item);
    item.FieldCount = 10;
    for (int32_t &no : item.FieldNos) no = -1;  // places the reader does not fill stay -1
  }
  TFieldDefList fieldList{kMaxFields, fieldItems.data()};
  TIndexDefList indexList{kMaxIndexes, indexItems.data()};
  ShortString path(schemaPath);
  if (!Guard([&] { DLL_VRIFileOps(h_, 1, path.bytes, &fieldList, &indexList); })) {
    error_ = "cannot read the schema file " + schemaPath + ": " + error_;
    return false;
  }

  int32_t handle = 0;
  if (!Guard([&] { handle = DLL_OpenTable(h_, path.bytes, writable ? kModeReadWrite : kModeReadOnly); })) return false;
  if (handle <= 0) {
    Fail("cannot open the table " + schemaPath +
             ": its schema file is missing, or another user holds the table open for writing",
         "");
    return false;
  }
  open_ = true;

  int32_t fieldCount = 0, indexCount = 0;
  if (!Guard([&] {
        recordSize_ = DLL_RecordSize(h_);
        fieldCount = DLL_FieldCount(h_);
        indexCount = DLL_IndexCount(h_);
        for (int32_t i = 0; i < fieldCount; ++i) {
          FieldDef f;
          uint8_t name[256];
          DLL_FieldName(name, h_, i);
          f.name = FromShort(name);
          DLL_FieldInfo(h_, i, &f.offset, &f.size, &f.type);
          fields_.push_back(f);
        }
        for (int32_t j = 0; j < indexCount; ++j) {
          IndexDef x;
          uint8_t name[256];
          DLL_GetIndexName(name, h_, j);
          x.name = FromShort(name);
          for (int32_t no : indexItems[j].FieldNos) {
            if (no < 0) break;
            x.fields.push_back(no);
          }
          indexes_.push_back(x);
        }
      }))
    return false;

  // The module reads field values straight out of record images: every field
  // must lie inside the record, and the indexes must name existing fields.
  auto damaged = [&](const std::string &why) {
    Fail("the table " + schemaPath + " cannot be used: " + why, "");
    return false;
  };
  if (indexCount < 1) return damaged("it has no index");
  for (const FieldDef &f : fields_) {
    int32_t least = f.type == 'I' ? 4 : f.type == 'R' ? 6 : f.type == 'B' ? 1 : f.type == 'S' ? 1 : 8;
    if (f.offset < fieldCount || f.size < least || f.offset + f.size > recordSize_)
      return damaged("field " + f.name + " does not fit its type inside the record");
  }
  for (const IndexDef &x : indexes_) {
    if (x.fields.empty()) return damaged("index " + x.name + " has no key field");
    for (int32_t no : x.fields)
      if (no >= fieldCount) return damaged("index " + x.name + " names a field the table does not have");
  }
  active_ = 0;
  return true;
}

void EngineTable::Close() {
  if (h_ == 0) return;
  // A failed open may leave the table half open (its schema file held): closed too.
  Guard([&] {
    if (open_ || DLL_CheckOpen(h_)) DLL_CloseTable(h_);
  });
  Guard([&] { DLL_Disconnect(h_); });
  h_ = 0;
  open_ = false;
  fields_.clear();
  indexes_.clear();
}

int32_t EngineTable::RecordCount() {
  int32_t n = -1;
  if (!Guard([&] { n = DLL_TotalRecords(h_); })) return -1;
  return n;
}

bool EngineTable::UseIndex(int32_t indexNo) {
  if (indexNo == active_) return true;
  if (!Guard([&] { DLL_ChangeIndex(h_, indexNo); })) return false;
  active_ = indexNo;
  return true;
}

bool EngineTable::First(bool *onRecord) {
  return Guard([&] {
    DLL_First(h_);
    *onRecord = !DLL_RangeEmpty(h_);
  });
}

bool EngineTable::Last(bool *onRecord) {
  return Guard([&] {
    DLL_Last(h_);
    *onRecord = !DLL_RangeEmpty(h_);
  });
}

bool EngineTable::Next(bool *onRecord) {
  return Guard([&] {
    DLL_Next(h_);
    *onRecord = !DLL_EOF(h_) && !DLL_RangeEmpty(h_);
  });
}

bool EngineTable::Prior(bool *onRecord) {
  return Guard([&] {
    DLL_Prior(h_);
    *onRecord = !DLL_BOF(h_) && !DLL_RangeEmpty(h_);
  });
}

bool EngineTable::Seek(int32_t indexNo, const std::vector<uint8_t> &key, bool *onRecord) {
  // Locate with an empty field list accepts whatever record the index search
  // lands on, and moves the cursor there.  It reports failures as a false
  // result with the message kept for the error status text.
  std::vector<uint8_t> buffer(key);
  buffer.resize(static_cast<size_t>(recordSize_), 0);
  TFieldNoList none{0, nullptr};
  int32_t found = 0;
  bool empty = false;
  if (!Guard([&] {
        found = DLL_LocateRecord(h_, &none, buffer.data(), indexNo, 0, 0, 1);
        if (found == 0) empty = DLL_RangeEmpty(h_) != 0;
      }))
    return false;
  if (found != 0) {
    *onRecord = true;
    return true;
  }
  if (empty) {
    *onRecord = false;
    return true;
  }
  uint8_t text[256] = {};
  Guard([&] { DLL_InternalStatus(text, h_, 1); });
  Fail(FromShort(text), "");
  return false;
}

bool EngineTable::GoToRecord(int32_t recNo, bool *onRecord) {
  return Guard([&] {
    *onRecord = false;
    if (recNo < 0 || recNo >= DLL_TotalRecords(h_)) return;
    int32_t slot = DLL_AddBookmark(h_, recNo);
    int32_t moved = 0;
    try {
      moved = DLL_GoToBookmark(h_, slot);
    } catch (...) {
      DLL_DeleteBookmark(h_, slot);
      throw;
    }
    DLL_DeleteBookmark(h_, slot);
    *onRecord = moved != 0;
  });
}

bool EngineTable::Current(std::vector<uint8_t> *image, int32_t *recNo) {
  image->resize(static_cast<size_t>(recordSize_));
  return Guard([&] {
    DLL_MoveFromDB(h_, image->data());
    *recNo = DLL_GetCurrentBookMarkData(h_);
  });
}

bool EngineTable::Insert(const std::vector<uint8_t> &image) {
  return Guard([&] {
    DLL_MoveToDB(h_, image.data());
    DLL_PostNewRecord(h_);
  });
}

bool EngineTable::EditCurrent(const std::vector<uint8_t> &image) {
  return Guard([&] {
    DLL_EditRecord(h_);
    DLL_MoveToDB(h_, image.data());
    DLL_PostEditedRecord(h_);
  });
}

bool EngineTable::DeleteCurrent() {
  return Guard([&] { DLL_DeleteRecord(h_); });
}

}  // namespace vsql

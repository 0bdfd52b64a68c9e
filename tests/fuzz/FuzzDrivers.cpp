// The drivers of the fuzz targets: every kind of export call on an open
// table, and the check that a table is whole.
#include <cmath>
#include <cstring>
#include <set>

#include "FuzzSupport.h"

namespace fuzz {

namespace {

// No walk over a table of these files can honestly take longer.
constexpr int32_t kWalkLimit = 300000;

template <class F>
void Guard(F &&call) {
  try {
    call();
  } catch (...) {
  }
}

// The filter procedures: the user value is the offset of the Id field (or -1).
uint8_t VR_CALL PassEven(intptr_t idOffset, const void *record) {
  if (idOffset < 0) return 1;
  int32_t id;
  std::memcpy(&id, static_cast<const uint8_t *>(record) + idOffset, 4);
  return (id & 1) == 0 ? 1 : 0;
}

uint8_t VR_CALL PassSmall(intptr_t idOffset, const void *record) {
  if (idOffset < 0) return 0;
  int32_t id;
  std::memcpy(&id, static_cast<const uint8_t *>(record) + idOffset, 4);
  return id < 10 ? 0x81 : 0;
}

intptr_t IdOffset(int32_t h) {
  try {
    int32_t offset = 0, length = 0;
    char type = 0;
    DLL_FieldInfo(h, 0, &offset, &length, &type);
    int32_t size = DLL_RecordSize(h);
    return type == 'I' && offset >= 0 && offset + 4 <= size ? offset : -1;
  } catch (...) {
    return -1;
  }
}

// Walks the range one way until the end flag; an endless walk is a finding.
void Walk(int32_t h, bool forward) {
  for (int32_t n = 0;; ++n) {
    try {
      if (forward ? DLL_EOF(h) : DLL_BOF(h)) return;
      if (forward)
        DLL_Next(h);
      else
        DLL_Prior(h);
    } catch (...) {
      return;
    }
    if (n > kWalkLimit) Finding(forward ? "a walk with Next never ends" : "a walk with Prior never ends");
  }
}

std::vector<uint8_t> RandomRecord(int32_t h, const Layout &layout, bool shaped, Input &in) {
  int32_t size = 0;
  try {
    size = DLL_RecordSize(h);
  } catch (...) {
  }
  if (size <= 0 || size > 70000) size = 1;
  std::vector<uint8_t> r(static_cast<size_t>(size), 0);
  if (shaped) {
    for (int32_t f = 0; f < kFieldCount; ++f) SetField(layout, r, f, in);
  } else {
    for (auto &b : r) b = in.byte();
  }
  return r;
}

std::vector<std::string> KeyTexts(Input &in) {
  std::vector<std::string> t;
  int n = in.byte() % 4;
  for (int i = 0; i < n; ++i) t.push_back(in.text(20));
  return t;
}

void Locate(int32_t h, const Layout &layout, bool shaped, Input &in) {
  int32_t n = 1 + in.byte() % 3;
  std::vector<int32_t> fields;
  for (int32_t i = 0; i < n; ++i) fields.push_back(in.byte() % (kFieldCount + 1));
  TFieldNoList list{n, fields.data()};
  std::vector<uint8_t> key = RandomRecord(h, layout, shaped, in);
  int32_t index = static_cast<int32_t>(in.byte() % 6) - 1;
  uint8_t flags = in.byte();
  Guard([&] { DLL_MapFieldsToIndex(h, &list, flags & 1); });
  Guard([&] { DLL_LocateRecord(h, &list, key.data(), index, flags >> 4, flags & 2, flags & 4); });
}

void Filter(int32_t h, bool on, Input &in) {
  intptr_t id = IdOffset(h);
  uint8_t how = in.byte();
  Guard([&] { DLL_SetFilterProc(h, PassEven, id, how & 1 ? PassSmall : nullptr, id); });
  Guard([&] { DLL_SetFilterStatus(h, how & 2, how & 4); });
  Guard([&] { DLL_SetFiltered(h, on); });
}

}  // namespace

void RunOneCall(int32_t h, const Layout &layout, Input &in) {
  const bool shaped = layout.recordSize > 0;
  uint8_t op = in.byte();
  switch (op % 24) {
    case 0: {
      std::vector<uint8_t> r = RandomRecord(h, layout, shaped, in);
      Guard([&] { DLL_MoveToDB(h, r.data()); });
      Guard([&] { DLL_PostNewRecord(h); });
      break;
    }
    case 1: {
      Guard([&] { DLL_EditRecord(h); });
      std::vector<uint8_t> r(static_cast<size_t>(layout.recordSize > 0 ? layout.recordSize : 1));
      Guard([&] {
        if (static_cast<int32_t>(r.size()) == DLL_RecordSize(h)) DLL_MoveFromDB(h, r.data());
      });
      if (shaped) {
        int n = 1 + in.byte() % 3;
        for (int i = 0; i < n; ++i) SetField(layout, r, in.byte() % kFieldCount, in);
      }
      Guard([&] {
        if (static_cast<int32_t>(r.size()) == DLL_RecordSize(h)) DLL_MoveToDB(h, r.data());
      });
      Guard([&] { DLL_PostEditedRecord(h); });
      break;
    }
    case 2: Guard([&] { DLL_DeleteRecord(h); }); break;
    case 3: Guard([&] { DLL_First(h); }); break;
    case 4: Guard([&] { DLL_Last(h); }); break;
    case 5: Guard([&] { DLL_Next(h); }); break;
    case 6: Guard([&] { DLL_Prior(h); }); break;
    case 7: {
      int32_t to = static_cast<int32_t>(in.byte()) - 2;
      Guard([&] { DLL_MoveTo(h, to); });
      break;
    }
    case 8: {
      int32_t i = in.byte() % (kIndexCount + 1);
      Guard([&] { DLL_ChangeIndex(h, i); });
      break;
    }
    case 9: {
      std::vector<std::string> lo = KeyTexts(in), hi = KeyTexts(in);
      std::vector<uint8_t> a = KeyArray(lo), b = KeyArray(hi);
      Guard([&] {
        DLL_ApplyRange(h, a.data(), static_cast<int32_t>(lo.size()) - 1, b.data(), static_cast<int32_t>(hi.size()) - 1);
      });
      break;
    }
    case 10: Guard([&] { DLL_CancelRange(h); }); break;
    case 11:
    case 12: {
      std::vector<std::string> t = KeyTexts(in);
      std::vector<uint8_t> k = KeyArray(t);
      int32_t high = static_cast<int32_t>(t.size()) - 1;
      Guard([&] { op % 24 == 11 ? DLL_FindKeyRecord(h, k.data(), high) : DLL_FindNearestRecord(h, k.data(), high); });
      break;
    }
    case 13: {
      int32_t f = in.byte() % (kFieldCount + 1);
      Guard([&] { DLL_SetFieldToNull(h, f); });
      break;
    }
    case 14: {
      std::vector<uint8_t> r = RandomRecord(h, layout, false, in);
      Guard([&] { DLL_MoveToDB(h, r.data()); });
      break;
    }
    case 15:
      if (in.byte() % 4 == 0) Guard([&] { DLL_EmptyTable(h); });
      break;
    case 16: {
      int32_t kept = 0, before = 0;
      Guard([&] { DLL_RebuildTable(h, &kept, &before); });
      break;
    }
    case 17: Filter(h, in.byte() & 1, in); break;
    case 18: Locate(h, layout, shaped, in); break;
    case 19: {
      int32_t slot = -1;
      Guard([&] { slot = DLL_AddBookmark(h, DLL_GetCurrentBookMarkData(h)); });
      int32_t other = static_cast<int32_t>(in.byte() % 6) - 1;
      Guard([&] { DLL_CheckBookmarkValid(h, other); });
      Guard([&] { DLL_GoToBookmark(h, in.byte() & 1 ? slot : other); });
      if (in.byte() & 1) Guard([&] { DLL_DeleteBookmark(h, other); });
      break;
    }
    case 20:
      Guard([&] { DLL_ReadRecord(h); });
      Guard([&] { DLL_GetRecord(h); });
      break;
    case 21: Walk(h, in.byte() & 1); break;
    case 22: {
      uint8_t text[256];
      Guard([&] { DLL_RangeCount(h); });
      Guard([&] { DLL_CurrentRecordPosition(h); });
      Guard([&] { DLL_RangeEmpty(h); });
      Guard([&] { DLL_FindResult(h); });
      Guard([&] { DLL_InternalStatus(text, h, in.byte() & 1); });
      break;
    }
    default: {
      std::vector<uint8_t> path = Short(WorkSchema());
      Guard([&] { DLL_CloseTable(h); });
      Guard([&] { DLL_OpenTable(h, path.data(), in.byte() & 1 ? 34 : 64); });
      break;
    }
  }
}

void Exercise(int32_t h, Input &in) {
  Layout layout;
  const bool shaped = layout.Load(h);
  uint8_t text[256];
  int32_t fields = 0, indexes = 0;
  Guard([&] { fields = DLL_FieldCount(h); });
  Guard([&] { indexes = DLL_IndexCount(h); });
  for (int32_t f = -1; f <= fields && f <= 27; ++f) {
    int32_t offset, length;
    char type;
    uint8_t present;
    Guard([&] { DLL_FieldName(text, h, f); });
    Guard([&] { DLL_FieldInfo(h, f, &offset, &length, &type); });
    for (int32_t p = 0; p <= 3; ++p) Guard([&] { DLL_GetFieldParams(h, f, p, &present, text, 255); });
  }
  for (int32_t i = -1; i <= indexes && i <= 14; ++i) {
    Guard([&] { DLL_GetIndexName(text, h, i); });
    Guard([&] { DLL_ChangeIndex(h, i); });
    Guard([&] { DLL_CurrentIndexName(text, h); });
    int32_t keys = 0;
    Guard([&] { keys = DLL_IndexFieldCount(h); });
    for (int32_t k = -1; k <= keys && k <= 11; ++k) Guard([&] { DLL_IndexFieldName(text, h, k); });
    std::vector<uint8_t> name = Short(FromShort(text));
    Guard([&] { DLL_FindIndexName(h, name.data()); });
    Guard([&] { DLL_First(h); });
    Walk(h, true);
    Guard([&] { DLL_Last(h); });
    Walk(h, false);
    Guard([&] { DLL_MoveTo(h, 3); });
    Guard([&] { DLL_MoveTo(h, 1); });
    Guard([&] { DLL_CurrentRecordPosition(h); });
    Guard([&] { DLL_RangeCount(h); });
    Guard([&] { DLL_ReadRecord(h); });
    for (int c = 0; c < 3; ++c) RunOneCall(h, layout, in);
  }
  Guard([&] { DLL_ChangeIndex(h, 1); });
  for (int op = 9; op <= 12; ++op) {
    uint8_t call[] = {static_cast<uint8_t>(op), in.byte(), in.byte(), in.byte(), in.byte()};
    Input one(call, sizeof call);
    RunOneCall(h, layout, one);
    Walk(h, true);
  }
  Locate(h, layout, shaped, in);
  Filter(h, true, in);
  Guard([&] { DLL_First(h); });
  Walk(h, true);
  Guard([&] { DLL_Last(h); });
  Walk(h, false);
  Guard([&] { DLL_RangeCount(h); });
  Guard([&] { DLL_MoveTo(h, 2); });
  Locate(h, layout, shaped, in);
  Filter(h, false, in);
  // Changes: edit, post, delete (also after a key field was set to null).
  for (uint8_t op : {1, 0, 2, 13, 2, 19, 0, 1}) {
    uint8_t call[] = {op, in.byte(), in.byte(), in.byte(), in.byte(), in.byte(), in.byte()};
    Input one(call, sizeof call);
    RunOneCall(h, layout, one);
    RunOneCall(h, layout, in);
  }
  Guard([&] { DLL_InternalStatus(text, h, 0); });
  Guard([&] { DLL_InternalStatus(text, h, 1); });
  Guard([&] { ShowStats(text); });
  int32_t kept = 0, before = 0;
  bool rebuilt = false;
  try {
    DLL_RebuildTable(h, &kept, &before);
    rebuilt = true;
  } catch (...) {
  }
  if (rebuilt) CheckTable(h, layout, "after a rebuild");
}

// ---------------------------------------------------------------------------
// The check of a whole table.

namespace {

long double Real48(const uint8_t *p) {
  if (p[0] == 0) return 0;
  uint64_t fraction = 0;
  for (int i = 5; i >= 1; --i) fraction = (fraction << 8) | p[i];
  bool negative = (fraction >> 39) & 1;
  fraction &= (uint64_t{1} << 39) - 1;
  long double m = std::ldexp(static_cast<long double>((uint64_t{1} << 39) + fraction), p[0] - 129 - 39);
  return negative ? -m : m;
}

// The sign of a against b on one field: 2 when the order cannot be told
// reliably here (values closer than the stored comparison resolves).
int CompareField(const Layout &l, const uint8_t *a, const uint8_t *b, int32_t f) {
  if (a[f] != 1 || b[f] != 1) return a[f] < b[f] ? -1 : (a[f] > b[f] ? 1 : 0);
  const uint8_t *x = a + l.offsets[f];
  const uint8_t *y = b + l.offsets[f];
  long double u = 0, v = 0;
  switch (l.types[f]) {
    case 'I': {
      int32_t i, j;
      std::memcpy(&i, x, 4);
      std::memcpy(&j, y, 4);
      return i < j ? -1 : (i > j ? 1 : 0);
    }
    case 'B': return x[0] < y[0] ? -1 : (x[0] > y[0] ? 1 : 0);
    case 'S':
      for (int32_t i = 0; i < l.lengths[f] - 1; ++i) {
        if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
        if (x[i] == 0) return 0;
      }
      return 0;
    case 'R':
      u = Real48(x);
      v = Real48(y);
      break;
    default: {
      double i, j;
      std::memcpy(&i, x, 8);
      std::memcpy(&j, y, 8);
      u = i;
      v = j;
    }
  }
  if (!std::isfinite(u) || !std::isfinite(v)) return 2;
  long double d = u - v;
  if (std::fabs(d) < 1e-37L || std::fabs(d) > 1e37L) return 2;
  return d < 0 ? -1 : 1;
}

const std::vector<int32_t> kIndexFields[kIndexCount] = {{0}, {1, 2}, {3, 6}, {5}};

// The sign of a against b in index i with index 0 as tie-break; 2 when unsure.
int CompareKeys(const Layout &l, const uint8_t *a, const uint8_t *b, int32_t i) {
  std::vector<int32_t> order = kIndexFields[i];
  order.insert(order.end(), kIndexFields[0].begin(), kIndexFields[0].end());
  for (int32_t f : order) {
    int c = CompareField(l, a, b, f);
    if (c != 0) return c;
  }
  return 0;
}

// Whether the active index has the key fields the fuzz table gives index i
// (a damaged schema may name others).
bool HasExpectedKey(int32_t h, int32_t i) {
  static const char *const kNames[kFieldCount] = {"Id", "Name", "Amount", "When", "Flag", "Price", "Ratio", "Note"};
  if (DLL_IndexFieldCount(h) != static_cast<int32_t>(kIndexFields[i].size())) return false;
  uint8_t text[256];
  for (size_t k = 0; k < kIndexFields[i].size(); ++k) {
    DLL_IndexFieldName(text, h, static_cast<int32_t>(k));
    if (FromShort(text) != kNames[kIndexFields[i][k]]) return false;
  }
  return true;
}

}  // namespace

void CheckTable(int32_t h, const Layout &layout, const char *when) {
  std::string at = std::string(" (") + when + ")";
  int32_t total = 0, indexes = 0, size = 0;
  try {
    total = DLL_TotalRecords(h);
    indexes = DLL_IndexCount(h);
    size = DLL_RecordSize(h);
  } catch (const std::exception &e) {
    Finding(std::string("the table cannot be counted: ") + e.what() + at);
  }
  bool ordered = layout.recordSize == size && indexes == kIndexCount;
  try {
    if (ordered) {
      DLL_ChangeIndex(h, 0);
      ordered = HasExpectedKey(h, 0);
    }
  } catch (const std::exception &e) {
    Finding(std::string("index 0 cannot be chosen: ") + e.what() + at);
  }
  for (int32_t i = 0; i < indexes; ++i) {
    std::set<int32_t> seen;
    std::vector<uint8_t> prior, current(static_cast<size_t>(size));
    try {
      DLL_ChangeIndex(h, i);
      const bool inOrder = ordered && HasExpectedKey(h, i);
      DLL_First(h);
      for (int32_t n = 0; !DLL_EOF(h); ++n) {
        int32_t rec = DLL_GetCurrentBookMarkData(h);
        if (rec < 0 || rec >= total || !seen.insert(rec).second)
          Finding("index " + std::to_string(i) + " walks record " + std::to_string(rec) + " wrongly; the table holds " +
                  std::to_string(total) + at);
        DLL_MoveFromDB(h, current.data());
        if (inOrder && !prior.empty() && CompareKeys(layout, prior.data(), current.data(), i) == 1)
          Finding("index " + std::to_string(i) + " walks record " + std::to_string(rec) + " out of key order" + at);
        prior = current;
        if (n > total + 1) Finding("index " + std::to_string(i) + " walks past the record count" + at);
        DLL_Next(h);
      }
    } catch (const std::exception &e) {
      Finding("index " + std::to_string(i) + " cannot be walked: " + e.what() + at);
    }
    if (static_cast<int32_t>(seen.size()) != total)
      Finding("index " + std::to_string(i) + " walks " + std::to_string(seen.size()) + " of " + std::to_string(total) +
              " records" + at);
  }
}

}  // namespace fuzz

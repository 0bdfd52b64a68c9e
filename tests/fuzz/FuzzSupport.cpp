#include "FuzzSupport.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <set>

namespace fuzz {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Input and texts.

uint8_t Input::byte() { return at_ < size_ ? data_[at_++] : 0; }

int32_t Input::int32() {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
  return static_cast<int32_t>(v);
}

double Input::number() {
  static const double kAwkward[] = {0.0,
                                    1.0,
                                    -1.0,
                                    2.5,
                                    45000.25,
                                    1e10,
                                    -1e10,
                                    1e38,
                                    -1e38,
                                    1e300,
                                    -1e300,
                                    1e-300,
                                    std::numeric_limits<double>::quiet_NaN(),
                                    std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::denorm_min()};
  constexpr size_t n = sizeof kAwkward / sizeof kAwkward[0];
  uint8_t pick = byte();
  if (pick < 0xF0) return kAwkward[pick % n];
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = (bits << 8) | byte();
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

std::string Input::text(size_t maxLen) {
  static const char *const kWords[] = {"",     "NULL", "Nil", "0",          "3",    "-1", "1e300",  "abc", "ABC",
                                       "12.5", "NaN",  "inf", "2024-01-01", "true", "zz", "-1e300", "7",   "a"};
  uint8_t pick = byte();
  if (pick < 0xE0) {
    std::string w = kWords[pick % (sizeof kWords / sizeof kWords[0])];
    return w.substr(0, maxLen);
  }
  size_t n = byte() % (maxLen + 1);
  std::string s;
  for (size_t i = 0; i < n && !done(); ++i) s.push_back(static_cast<char>(byte()));
  return s;
}

std::vector<uint8_t> Short(const std::string &text) {
  size_t n = text.size() > 255 ? 255 : text.size();
  std::vector<uint8_t> s(n + 1);
  s[0] = static_cast<uint8_t>(n);
  std::memcpy(s.data() + 1, text.data(), n);
  return s;
}

std::string FromShort(const uint8_t *text) { return std::string(reinterpret_cast<const char *>(text) + 1, text[0]); }

std::vector<uint8_t> KeyArray(const std::vector<std::string> &texts) {
  std::vector<uint8_t> keys(256 * (texts.empty() ? 1 : texts.size()), 0);
  for (size_t i = 0; i < texts.size(); ++i) {
    std::vector<uint8_t> s = Short(texts[i]);
    std::memcpy(&keys[256 * i], s.data(), s.size());
  }
  return keys;
}

void Finding(const std::string &what) {
  std::fprintf(stderr, "FINDING: %s\n", what.c_str());
  std::abort();
}

// ---------------------------------------------------------------------------
// The pristine table and the work copy.

namespace {

struct Folders {
  std::string base, full, empty, work, workSchema;
  std::map<std::string, std::vector<uint8_t>> fullFiles, emptyFiles;
};

void SetDescriptor(TFieldDescriptor &d, const char *name, char type, int len) {
  std::memset(&d, 0, sizeof d);
  d.Name[0] = static_cast<uint8_t>(std::strlen(name));
  std::memcpy(d.Name + 1, name, std::strlen(name));
  d.FieldType = type;
  d.Len = static_cast<int16_t>(len);
}

void SetIndex(TIndexDef &d, const char *name, std::initializer_list<int32_t> fields) {
  std::memset(&d, 0, sizeof d);
  d.Name[0] = static_cast<uint8_t>(std::strlen(name));
  std::memcpy(d.Name + 1, name, std::strlen(name));
  for (int32_t f : fields) d.FieldNos[d.FieldCount++] = f;
}

std::vector<uint8_t> ReadAll(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::map<std::string, std::vector<uint8_t>> WriteTable(const std::string &dir, int records) {
  fs::create_directories(dir);
  std::string schema = dir + "/fuzz.vri";
  TFieldDescriptor fields[kFieldCount];
  SetDescriptor(fields[0], "Id", 'I', 0);
  SetDescriptor(fields[1], "Name", 'S', 12);
  SetDescriptor(fields[2], "Amount", 'F', 0);
  SetDescriptor(fields[3], "When", 'D', 0);
  SetDescriptor(fields[4], "Flag", 'B', 0);
  SetDescriptor(fields[5], "Price", 'C', 0);
  SetDescriptor(fields[6], "Ratio", 'R', 0);
  SetDescriptor(fields[7], "Note", 'S', 300);
  TIndexDef indexes[kIndexCount];
  SetIndex(indexes[0], "ById", {0});
  SetIndex(indexes[1], "ByName", {1, 2});
  SetIndex(indexes[2], "ByWhen", {3, 6});
  SetIndex(indexes[3], "ByPrice", {5});
  TFieldDefList fieldList{kFieldCount, fields};
  TIndexDefList indexList{kIndexCount, indexes};
  std::vector<uint8_t> path = Short(schema);
  int32_t h = DLL_Connect(7);
  DLL_VRIFileOps(h, 0, path.data(), &fieldList, &indexList);
  if (DLL_OpenTable(h, path.data(), 34) <= 0) Finding("the fuzz table does not open");
  Layout layout;
  if (!layout.Load(h)) Finding("the fuzz table has an unexpected layout");
  for (int i = 0; i < records; ++i) {
    std::vector<uint8_t> r(static_cast<size_t>(layout.recordSize), 0);
    auto put = [&](int f, const void *v, size_t n) {
      r[f] = 1;
      std::memcpy(&r[layout.offsets[f]], v, n);
    };
    int32_t id = (i * 7) % records;
    put(0, &id, 4);
    std::string name = std::string(1, static_cast<char>('a' + i % 5)) + std::to_string(i % 3);
    put(1, name.c_str(), name.size() + 1);
    double amount = i * 1.5 - 10, when = 45000 + i % 4, price = 100 - i;
    put(2, &amount, 8);
    put(3, &when, 8);
    uint8_t flag = i & 1;
    put(4, &flag, 1);
    if (i % 6 != 0) put(5, &price, 8);
    uint8_t ratio[6] = {static_cast<uint8_t>(129 + i % 5), 0, 0, 0, 0, static_cast<uint8_t>(i % 2 ? 0x80 : 0)};
    put(6, ratio, 6);
    std::string note = "note " + std::to_string(i);
    if (i % 3 == 0) put(7, note.c_str(), note.size() + 1);
    DLL_MoveToDB(h, r.data());
    DLL_PostNewRecord(h);
  }
  DLL_CloseTable(h);
  DLL_Disconnect(h);
  std::map<std::string, std::vector<uint8_t>> files;
  for (const auto &e : fs::directory_iterator(dir)) files[e.path().extension().string()] = ReadAll(e.path());
  return files;
}

Folders &Tables() {
  static Folders *folders = [] {
    auto *f = new Folders;
    std::string root = fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string();
    std::string pattern = root + "/velmora-fuzz-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if (mkdtemp(buf.data()) == nullptr) Finding("no temporary folder");
    f->base = buf.data();
    f->full = f->base + "/full";
    f->empty = f->base + "/empty";
    f->work = f->base + "/work";
    f->workSchema = f->work + "/fuzz.vri";
    try {
      f->fullFiles = WriteTable(f->full, 20);
      f->emptyFiles = WriteTable(f->empty, 0);
    } catch (const std::exception &e) {
      Finding(std::string("writing the fuzz table failed: ") + e.what());
    }
    fs::create_directories(f->work);
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(Tables().base, ec);
    });
    return f;
  }();
  return *folders;
}

}  // namespace

const std::string &WorkSchema() { return Tables().workSchema; }

const std::vector<uint8_t> &PristineFile(const std::string &extension) { return Tables().fullFiles.at(extension); }

void PrepareWorkTable(const std::string &extension, const uint8_t *data, size_t size, bool empty) {
  Folders &f = Tables();
  std::error_code ec;
  for (const auto &e : fs::directory_iterator(f.work, ec)) fs::remove(e.path(), ec);
  for (const auto &[ext, bytes] : empty ? f.emptyFiles : f.fullFiles) {
    std::ofstream out(f.work + "/fuzz" + ext, std::ios::binary | std::ios::trunc);
    if (ext == extension)
      out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    else
      out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
}

// ---------------------------------------------------------------------------
// Records.

bool Layout::Load(int32_t h) {
  // A table of another shape leaves the layout empty (record size 0), so
  // that nothing is written at offsets it does not have.
  Layout read;
  const bool loaded = read.Read(h);
  *this = loaded ? read : Layout{};
  return loaded;
}

bool Layout::Read(int32_t h) {
  try {
    recordSize = DLL_RecordSize(h);
    if (recordSize <= 0 || recordSize > 70000) return false;
    if (DLL_FieldCount(h) != kFieldCount || DLL_IndexCount(h) != kIndexCount) return false;
    static const char kTypes[kFieldCount] = {'I', 'S', 'F', 'D', 'B', 'C', 'R', 'S'};
    for (int32_t f = 0; f < kFieldCount; ++f) {
      int32_t offset = 0, length = 0;
      char type = 0;
      DLL_FieldInfo(h, f, &offset, &length, &type);
      if (type != kTypes[f] || offset < kFieldCount || length < 1 || offset + length > recordSize) return false;
      offsets[f] = offset;
      lengths[f] = length;
      types[f] = type;
    }
    uint8_t name[256];
    static const char *const kIndexNames[kIndexCount] = {"ById", "ByName", "ByWhen", "ByPrice"};
    for (int32_t i = 0; i < kIndexCount; ++i) {
      DLL_GetIndexName(name, h, i);
      if (FromShort(name) != kIndexNames[i]) return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

void SetField(const Layout &layout, std::vector<uint8_t> &record, int32_t field, Input &in) {
  uint8_t how = in.byte();
  uint8_t *p = &record[static_cast<size_t>(layout.offsets[field])];
  if (how % 8 == 0) {
    record[field] = 0;
    return;
  }
  record[field] = how == 0xFF ? in.byte() : 1;  // now and then a flag a client should not store
  switch (layout.types[field]) {
    case 'I': {
      int32_t v = how < 0xC0 ? static_cast<int32_t>(in.byte() % 24) - 2 : in.int32();
      std::memcpy(p, &v, 4);
      break;
    }
    case 'F':
    case 'C':
    case 'D': {
      double v = in.number();
      std::memcpy(p, &v, 8);
      break;
    }
    case 'B': p[0] = in.byte(); break;
    case 'R':
      for (int i = 0; i < 6; ++i) p[i] = in.byte();
      break;
    case 'S': {
      std::string t = in.text(static_cast<size_t>(layout.lengths[field] - 1));
      std::memset(p, 0, static_cast<size_t>(layout.lengths[field]));
      std::memcpy(p, t.data(), t.size());
      break;
    }
    default: break;
  }
}

}  // namespace fuzz

#include "TableFiles.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "Cli.h"
#include "Table.h"

namespace vtool {

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text) {
  for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string BlockName(const uint8_t *at, size_t room) {
  size_t n = std::min<size_t>(at[0], room - 1);
  return std::string(reinterpret_cast<const char *>(at) + 1, n);
}

}  // namespace

int32_t ReadInt32(const uint8_t *at) {
  return static_cast<int32_t>(static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                              static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24);
}

std::string CompanionPath(const std::string &schemaPath, const std::string &extension) {
  const std::string wanted = ReplaceExtension(schemaPath, Lower(extension));
  std::error_code ec;
  if (fs::exists(wanted, ec)) return wanted;
  fs::path p(wanted);
  fs::path dir = p.parent_path().empty() ? fs::path(".") : p.parent_path();
  const std::string name = Lower(p.filename().string());
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (Lower(it->path().filename().string()) == name)
      return p.parent_path().empty() ? it->path().filename().string() : (p.parent_path() / it->path().filename()).string();
  }
  return wanted;
}

std::string IndexExtension(int32_t indexNo, int part) {
  return std::string(".v") + static_cast<char>('a' + indexNo) + static_cast<char>('0' + part);
}

bool ReadFileBytes(const std::string &path, std::vector<uint8_t> *bytes, std::string *error) {
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    *error = "file " + path + " is missing";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "file " + path + " cannot be read";
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = "file " + path + " cannot be read";
    return false;
  }
  return true;
}

Schema ReadSchema(const std::string &path) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadFileBytes(path, &bytes, &error)) throw ToolError(error);
  if (bytes.size() < 520)
    throw ToolError(path + ": the schema file holds " + std::to_string(bytes.size()) +
                    " bytes, less than its 520-byte header");
  Schema schema;
  schema.fieldCount = ReadInt32(&bytes[320]);
  schema.indexCount = ReadInt32(&bytes[324]);
  schema.recordSize = ReadInt32(&bytes[328]);
  schema.version = DecodeReal48(&bytes[418]);
  auto problem = [&](const std::string &text) { schema.problems.push_back("schema: " + text); };
  if (schema.fieldCount < 0 || schema.fieldCount > 26) {
    problem("field count " + std::to_string(schema.fieldCount) + " is outside 0..26");
    schema.usable = false;
    return schema;
  }
  if (schema.indexCount < 0 || schema.indexCount > 13) {
    problem("index count " + std::to_string(schema.indexCount) + " is outside 0..13");
    schema.usable = false;
    return schema;
  }
  const size_t expected = 520u * (1 + schema.fieldCount + schema.indexCount);
  if (bytes.size() != expected) {
    problem("the file holds " + std::to_string(bytes.size()) + " bytes, expected " + std::to_string(expected) +
            " for " + std::to_string(schema.fieldCount) + " fields and " + std::to_string(schema.indexCount) +
            " indexes");
    if (bytes.size() < expected) {
      schema.usable = false;
      return schema;
    }
  }
  int32_t end = 0;
  for (int32_t f = 0; f < schema.fieldCount; ++f) {
    const uint8_t *block = &bytes[520u * (1 + f)];
    Field field;
    field.name = BlockName(block, 64);
    field.type = static_cast<char>(block[65]);
    field.size = ReadInt32(block + 320);
    field.offset = ReadInt32(block + 324);
    const std::string label = "field " + std::to_string(f) + " (" + field.name + ")";
    if (TypeSize(field.type) < 0 && field.type != 'S') {
      problem(label + " has the unknown type letter '" + std::string(1, field.type) + "'");
      schema.usable = false;
    } else if (field.type == 'S' ? field.size < 1 || field.size > 32767 : field.size != TypeSize(field.type)) {
      problem(label + " has the storage size " + std::to_string(field.size) + ", wrong for its type");
      schema.usable = false;
    }
    if (field.offset < schema.fieldCount || field.size < 0 || field.offset > schema.recordSize - field.size) {
      problem(label + " at offset " + std::to_string(field.offset) + " does not fit the record of " +
              std::to_string(schema.recordSize) + " bytes");
      schema.usable = false;
    }
    end = std::max(end, field.offset + std::max(field.size, 0));
    schema.fields.push_back(field);
  }
  for (int32_t i = 0; i < schema.indexCount; ++i) {
    const uint8_t *block = &bytes[520u * (1 + schema.fieldCount + i)];
    SchemaIndex index;
    index.name = BlockName(block, 64);
    const int32_t n = ReadInt32(block + 320);
    const std::string label = "index " + std::string(1, static_cast<char>('A' + i)) + " (" + index.name + ")";
    if (n < 0 || n > 10) {
      problem(label + " has " + std::to_string(n) + " key fields, outside 0..10");
      schema.usable = false;
    } else {
      for (int32_t k = 0; k < n; ++k) {
        int32_t f = ReadInt32(block + 324 + 4 * k);
        if (f < 0 || f >= schema.fieldCount) {
          problem(label + " names field number " + std::to_string(f) + ", which the table does not have");
          schema.usable = false;
        } else {
          index.fields.push_back(f);
        }
      }
    }
    schema.indexes.push_back(index);
  }
  if (schema.recordSize <= 0) {
    problem("record size " + std::to_string(schema.recordSize) + " is not positive");
    schema.usable = false;
  }
  return schema;
}

LeafBlock IndexFiles::Block(size_t blockNo) const {
  LeafBlock block;
  const uint8_t *at = &leaf[32 * blockNo];
  block.count = ReadInt32(at);
  for (int s = 0; s < 7; ++s) block.slots[s] = ReadInt32(at + 4 + 4 * s);
  return block;
}

IndexFiles ReadIndexFiles(const std::string &schemaPath, int32_t indexNo) {
  IndexFiles files;
  files.leafPath = CompanionPath(schemaPath, IndexExtension(indexNo, 1));
  files.dirPath = CompanionPath(schemaPath, IndexExtension(indexNo, 2));
  ReadFileBytes(files.leafPath, &files.leaf, &files.leafError);
  ReadFileBytes(files.dirPath, &files.dir, &files.dirError);
  return files;
}

namespace {

// Sign of a - b as the indexes see it: a difference too small for a six-byte
// real (below 2^-128) is no difference.
int SignOfDifference(long double a, long double b) {
  long double d = a - b;
  if (std::isnan(d)) return 0;
  if (std::fabs(d) < std::ldexp(1.0L, -128)) return 0;
  return d < 0 ? -1 : 1;
}

}  // namespace

int CompareField(const Field &field, int32_t fieldNo, const uint8_t *a, const uint8_t *b) {
  const int fa = a[fieldNo], fb = b[fieldNo];
  if (fa != 1 || fb != 1) return fa - fb;
  const uint8_t *va = a + field.offset, *vb = b + field.offset;
  switch (field.type) {
    case 'B':
      return static_cast<int>(va[0]) - static_cast<int>(vb[0]);
    case 'C':
    case 'D':
    case 'F': {
      double x, y;
      std::memcpy(&x, va, 8);
      std::memcpy(&y, vb, 8);
      return SignOfDifference(x, y);
    }
    case 'I': {
      int32_t x = ReadInt32(va), y = ReadInt32(vb);
      return x < y ? -1 : x > y ? 1 : 0;
    }
    case 'R':
      return SignOfDifference(DecodeReal48(va), DecodeReal48(vb));
    case 'S':
      for (int32_t i = 0; i < field.size - 1; ++i) {
        if (va[i] != vb[i]) return static_cast<int>(va[i]) - static_cast<int>(vb[i]);
        if (va[i] == 0) return 0;
      }
      return 0;
    default:
      return 0;
  }
}

int CompareKeys(const Schema &schema, int32_t indexNo, const uint8_t *a, const uint8_t *b, bool tieBreak) {
  for (int32_t f : schema.indexes[indexNo].fields) {
    int r = CompareField(schema.fields[f], f, a, b);
    if (r != 0) return r;
  }
  if (tieBreak && indexNo != 0 && !schema.indexes.empty()) return CompareKeys(schema, 0, a, b, false);
  return 0;
}

}  // namespace vtool

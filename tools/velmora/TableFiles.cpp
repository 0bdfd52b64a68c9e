#include "TableFiles.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <velmora/velmora.hpp>

#include "Cli.h"
#include "Table.h"
#include "VRcomm/FieldOrder.h"
#include "VRcomm/FieldTypes.h"
#include "VRcomm/FileNames.h"
#include "VRcomm/LittleEndian.h"
#include "VRcomm/SchemaLayout.h"

namespace vtool {

namespace fs = std::filesystem;
namespace schema = velmora::schema;
namespace leaf = velmora::leaf;

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

int32_t ReadInt32(const uint8_t *at) { return velmora::GetInt32(at); }

std::string CompanionPath(const std::string &wanted) {
  std::error_code ec;
  if (fs::exists(wanted, ec)) return wanted;
  fs::path p(wanted);
  fs::path dir = p.parent_path().empty() ? fs::path(".") : p.parent_path();
  const std::string name = Lower(p.filename().string());
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (Lower(it->path().filename().string()) == name)
      return p.parent_path().empty() ? it->path().filename().string()
                                     : (p.parent_path() / it->path().filename()).string();
  }
  return wanted;
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
  if (bytes.size() < schema::kBlockSize)
    throw ToolError(path + ": the schema file holds " + std::to_string(bytes.size()) + " bytes, less than its " +
                    std::to_string(schema::kBlockSize) + "-byte header");
  Schema schema;
  schema.fieldCount = ReadInt32(&bytes[schema::kHeaderFieldCount]);
  schema.indexCount = ReadInt32(&bytes[schema::kHeaderIndexCount]);
  schema.recordSize = ReadInt32(&bytes[schema::kHeaderRecordSize]);
  schema.version = DecodeReal48(&bytes[schema::kHeaderVersion]);
  auto problem = [&](const std::string &text) { schema.problems.push_back("schema: " + text); };
  if (schema.fieldCount < 0 || schema.fieldCount > velmora::kMaxFields) {
    problem("field count " + std::to_string(schema.fieldCount) + " is outside 0..26");
    schema.usable = false;
    return schema;
  }
  if (schema.indexCount < 0 || schema.indexCount > velmora::kMaxIndexes) {
    problem("index count " + std::to_string(schema.indexCount) + " is outside 0..13");
    schema.usable = false;
    return schema;
  }
  const size_t expected = static_cast<size_t>(schema::FileSize(schema.fieldCount, schema.indexCount));
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
    const uint8_t *block = &bytes[schema::kBlockSize * schema::FieldBlock(f)];
    Field field;
    field.name = BlockName(block + schema::kFieldName, schema::kTextWidth);
    field.type = static_cast<char>(block[schema::kFieldType]);
    field.size = ReadInt32(block + schema::kFieldSize);
    field.offset = ReadInt32(block + schema::kFieldOffset);
    const std::string label = "field " + std::to_string(f) + " (" + field.name + ")";
    if (TypeSize(field.type) < 0 && field.type != 'S') {
      problem(label + " has the unknown type letter '" + std::string(1, field.type) + "'");
      schema.usable = false;
    } else if (field.type == 'S' ? field.size < 1 || field.size > schema::kMaxFieldPosition
                                 : field.size != TypeSize(field.type)) {
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
    const uint8_t *block = &bytes[schema::kBlockSize * schema::IndexBlock(schema.fieldCount, i)];
    SchemaIndex index;
    index.name = BlockName(block + schema::kIndexName, schema::kTextWidth);
    const int32_t n = ReadInt32(block + schema::kIndexFieldCount);
    const std::string label = "index " + std::string(1, static_cast<char>('A' + i)) + " (" + index.name + ")";
    if (n < 0 || n > velmora::kMaxIndexFields) {
      problem(label + " has " + std::to_string(n) + " key fields, outside 0..10");
      schema.usable = false;
    } else {
      for (int32_t k = 0; k < n; ++k) {
        int32_t f = ReadInt32(block + schema::kIndexFieldNos + 4 * k);
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
  const uint8_t *at = &leaf[leaf::kBlockBytes * blockNo];
  block.count = ReadInt32(at);
  for (int s = 0; s < leaf::kBlockCapacity; ++s) block.slots[s] = ReadInt32(at + 4 + 4 * s);
  return block;
}

IndexFiles ReadIndexFiles(const std::string &schemaPath, int32_t indexNo) {
  IndexFiles files;
  files.leafPath = CompanionPath(velmora::LeafFileName(schemaPath, indexNo));
  files.dirPath = CompanionPath(velmora::DirectoryFileName(schemaPath, indexNo));
  ReadFileBytes(files.leafPath, &files.leaf, &files.leafError);
  ReadFileBytes(files.dirPath, &files.dir, &files.dirError);
  return files;
}

int CompareField(const Field &field, int32_t fieldNo, const uint8_t *a, const uint8_t *b) {
  try {
    return velmora::CompareFieldValues({fieldNo, field.offset, field.type, field.size}, a, b).value_or(0);
  } catch (const velmora::EMathError &) {
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

#include "FileOps/SchemaImage.h"

#include <velmora/velmora.hpp>

#include "FileOps/MiscFileOps.h"
#include "VRcomm/FieldTypes.h"
#include "VRcomm/LittleEndian.h"
#include "VRcomm/ShortString.h"

namespace velmora {

using namespace schema;

namespace {}  // namespace

SchemaReader::SchemaReader(platform::File &file, const std::string &name, Raiser raise)
    : file_(file), name_(name), raise_(std::move(raise)), block_(kBlockSize) {}

void SchemaReader::Damaged(const std::string &what) const {
  raise_("The schema file " + name_ + " is damaged: " + what);
  throw EVelmoraDBError("The schema file " + name_ + " is damaged: " + what);
}

void SchemaReader::ReadBlock(int32_t blockNo) {
  std::fill(block_.begin(), block_.end(), 0);
  size_t got = file_.ReadAt(static_cast<int64_t>(blockNo) * kBlockSize, block_.data(), block_.size());
  if (got != block_.size()) platform::RaiseIoError(platform::kErrorReadBeyondEnd);
}

std::string SchemaReader::Text(int32_t offset, const std::string &what) const {
  if (block_[offset] > kTextMax)
    Damaged(what + " claims " + std::to_string(block_[offset]) + " characters, more than its 63");
  return FromShort(block_.data() + offset);
}

void SchemaReader::ReadHeader(SchemaImage &image) {
  ReadBlock(0);
  image.fieldCount = GetInt32(&block_[kHeaderFieldCount]);
  image.indexCount = GetInt32(&block_[kHeaderIndexCount]);
  image.recordSize = GetInt32(&block_[kHeaderRecordSize]);
  std::copy(block_.begin() + kHeaderVersion, block_.begin() + kHeaderVersion + 6, image.version);
  image.withParams = Real48ToLongDouble(image.version) >= kParamsVersion;
}

void SchemaReader::ReadBlocks(SchemaImage &image) {
  image.fields.assign(static_cast<size_t>(image.fieldCount), SchemaFieldImage());
  for (int32_t i = 0; i < image.fieldCount; ++i) {
    SchemaFieldImage &f = image.fields[static_cast<size_t>(i)];
    std::string what = "field " + std::to_string(i);
    ReadBlock(1 + i);
    f.name = Text(kFieldName, "the name of " + what);
    f.type = static_cast<char>(block_[kFieldType]);
    if (LookupFieldType(f.type) < 0)
      Damaged(what + " has an unknown type (character code " + std::to_string(block_[kFieldType]) + ")");
    f.size = GetInt32(&block_[kFieldSize]);
    if (f.type == 'S' && (f.size < 1 || f.size > kMaxFieldPosition))
      Damaged(what + " has an invalid size " + std::to_string(f.size));
    f.offset = GetInt32(&block_[kFieldOffset]);
    if (f.offset < 0 || f.offset > kMaxFieldPosition)
      Damaged(what + " has an invalid offset " + std::to_string(f.offset));
    if (image.withParams) {
      f.flagsWord = GetInt32(&block_[kFieldFlags]);
      for (int p = 0; p < 4; ++p) f.hasParam[p] = GetInt32(&block_[kFieldHasParam0 + 4 * p]);
      const int32_t at[3] = {kFieldParam1, kFieldParam2, kFieldParam3};
      for (int p = 0; p < 3; ++p) f.params[p] = Text(at[p], "parameter " + std::to_string(p + 1) + " of " + what);
    }
  }
  image.indexes.assign(static_cast<size_t>(image.indexCount), SchemaIndexImage());
  for (int32_t i = 0; i < image.indexCount; ++i) {
    SchemaIndexImage &x = image.indexes[static_cast<size_t>(i)];
    std::string what = "index " + std::to_string(i);
    ReadBlock(1 + image.fieldCount + i);
    x.name = Text(kIndexName, "the name of " + what);
    int32_t n = GetInt32(&block_[kIndexFieldCount]);
    if (n < 0 || n > kMaxIndexFields)
      Damaged(what + " gives " + std::to_string(n) + " key fields, where an index covers 0 to 10");
    for (int32_t j = 0; j < n; ++j) {
      int32_t no = GetInt32(&block_[kIndexFieldNos + 4 * j]);
      if (no < 0 || no >= image.fieldCount)
        Damaged(what + " names field " + std::to_string(no) + ", which the table does not have");
      x.fieldNos.push_back(no);
    }
  }
}

}  // namespace velmora

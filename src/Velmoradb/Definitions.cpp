// Queries on the loaded table definition.
#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "VRcomm/ShortString.h"
#include "Velmoradb/VelmoraDB.h"

namespace velmora {

int32_t TVRVelmoraDB::CurrentIndex() const { return PrimaryIndex->GetCurIndex(); }

int32_t TVRVelmoraDB::FindIndexName(const std::string &name) const {
  for (int32_t i = 0; i < IndexCount; ++i)
    if (FromShort(Indexes[i].Name) == name) return i;
  return -1;
}

TFieldDescriptor TVRVelmoraDB::GetFieldDescriptor(int32_t fieldNo) {
  if (fieldNo < 0 || fieldNo >= FieldCount) RaiseTableError(std::to_string(fieldNo) + " is not a valid field number.");
  return Fields[fieldNo];
}

TIndexDescriptor TVRVelmoraDB::GetIndexDescriptor(int32_t indexNo) const {
  if (indexNo < 0 || indexNo >= IndexCount)
    throw EVelmoraDBError(std::to_string(indexNo) + " is not a valid index number.");
  return Indexes[indexNo];
}

}  // namespace velmora

#include <velmora/velmora.hpp>

#include "Velmoradb/VelmoraDB.h"

namespace velmora {

int32_t TVRVelmoraDB::OpenTable(const std::string &, int32_t) {
  RaiseTableError("OpenTable is not available in this build of Velmora");
}

void TVRVelmoraDB::CloseTable() {
  FieldCount = 0;
  IndexCount = 0;
  Filtered = false;
  SchemaHandle = 0;
  std::unique_ptr<platform::File> schema = std::move(SchemaFile);
  if (schema) schema->Close();
  if (DataFileOpen()) CloseDataFile();
}

}  // namespace velmora

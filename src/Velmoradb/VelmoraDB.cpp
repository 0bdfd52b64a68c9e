#include "Velmoradb/VelmoraDB.h"

#include <velmora/velmora.hpp>

#include "Ind1/Index.h"
#include "VRcomm/ShortString.h"
#include "Velmoradb/FilterList.h"

namespace velmora {

TVRVelmoraDB::TVRVelmoraDB() : FilterList(std::make_unique<TFilterList>()), PrimaryIndex(std::make_unique<TIndex>()) {}

TVRVelmoraDB::~TVRVelmoraDB() = default;

void TVRVelmoraDB::RaiseTableError(const std::string &message) {
  LastError = Cut255(message);
  throw EVelmoraDBError(LastError);
}

}  // namespace velmora

#include <velmora/velmora.hpp>

#include "Velmoradb/RecBase.h"

namespace velmora {

TVRRecBase::~TVRRecBase() {
  try {
    if (DataFile.IsOpen()) DataFile.Close();
  } catch (...) {
  }
  delete[] RecordBlock;
}

void TVRRecBase::CloseDataFile() {
  DataFile.Close();
  delete[] RecordBlock;
  RecordBlock = nullptr;
}

}  // namespace velmora

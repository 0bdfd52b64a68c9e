#include "Velmoradb/FilterList.h"

#include <cstddef>

namespace velmora {

void TFilterList::Clear() {
  std::vector<uint8_t>().swap(States);
  PassCount = 0;
}

void TFilterList::Grow(int32_t n) {
  if (n < Capacity()) return;
  // trunc(n * 1.2) + 1, computed exactly in integers.
  int64_t bytes = static_cast<int64_t>(n) * 6 / 5 + 1;
  States.resize(static_cast<std::size_t>(bytes), 0);
}

void TFilterList::Reset(int32_t recordCount) {
  Clear();
  Grow(recordCount / 4 + 1);
}

int32_t TFilterList::GetState(int32_t recNo) const {
  if (recNo < 0 || recNo / 4 >= Capacity()) return kNotEvaluated;
  return (States[recNo / 4] >> (2 * (recNo % 4))) & 3;
}

void TFilterList::SetState(int32_t recNo, int32_t state) {
  if (recNo < 0) return;
  if (recNo / 4 >= Capacity()) Grow(recNo / 4);
  int shift = 2 * (recNo % 4);
  uint8_t &byte = States[recNo / 4];
  byte = static_cast<uint8_t>((byte & ~(3 << shift)) | ((state & 3) << shift));
}

bool TFilterList::Evaluate(int32_t recNo, const void *image, bool countIt) {
  bool second = SecondActive() ? AskSecond(image) : true;
  bool first = false;
  if (second && countIt) first = FirstActive() ? AskFirst(image) : true;
  SetState(recNo, second ? kPasses : kFails);
  if (second && first) ++PassCount;
  return second && first && countIt;
}

void TFilterList::SetProcs(TFilterProc first, intptr_t firstUser, TFilterProc second, intptr_t secondUser) {
  FirstProc = first;
  FirstUserValue = firstUser;
  SecondProc = second;
  SecondUserValue = secondUser;
}

void TFilterList::Enable(bool first, bool second) {
  FirstEnabled = first;
  SecondEnabled = second;
}

void TFilterList::RestoreStates(const std::vector<uint8_t> &states, int32_t passCount) {
  States = states;
  PassCount = passCount;
}

void TFilterList::MoveState(int32_t a, int32_t b) {
  int32_t s = GetState(b);
  SetState(b, kNotEvaluated);
  SetState(a, s);
  --PassCount;
}

}  // namespace velmora

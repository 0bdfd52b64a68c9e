// The recorded filter states of a table: two bits per record number, telling
// whether the second filter procedure has been asked about the record and what
// it answered, and the count of records of the range that pass both procedures.
#pragma once

#include <cstdint>
#include <vector>

#include <velmora/velmora.h>

namespace velmora {

// A client's filter procedure is called through its own type, TFilterProc: it
// returns one byte, and only that byte is read (non-zero: the record passes).

enum TFilterState : int32_t {
  kNotEvaluated = 0,
  kPasses = 1,  // passes the second procedure (or that procedure is switched off)
  kFails = 2,   // fails the second procedure
};

class TFilterList {
 public:
  // Forgets every recorded state and the pass count; procedures and switches stay.
  void Clear();
  // Makes room for at least n bytes of states: below Capacity nothing happens,
  // otherwise the capacity becomes trunc(n * 1.2) + 1 bytes, new bytes zero.
  void Grow(int32_t n);
  // Clear, then room for n records.
  void Reset(int32_t recordCount);
  int32_t GetState(int32_t recNo) const;
  void SetState(int32_t recNo, int32_t state);
  // Asks the procedures about a record and records the verdict (see Filters.cpp).
  bool Evaluate(int32_t recNo, const void *image, bool countIt);
  // The state of record b moves to record a; b becomes unevaluated; one fewer passes.
  void MoveState(int32_t a, int32_t b);

  bool AskFirst(const void *image) const { return FirstProc(FirstUserValue, image) != 0; }
  bool AskSecond(const void *image) const { return SecondProc(SecondUserValue, image) != 0; }

  // The client's procedures with their user values, and their switches.
  void SetProcs(TFilterProc first, intptr_t firstUser, TFilterProc second, intptr_t secondUser);
  void Enable(bool first, bool second);
  bool HasProcs() const { return FirstProc != nullptr || SecondProc != nullptr; }
  // The procedure is there and switched on.
  bool FirstActive() const { return FirstEnabled && FirstProc != nullptr; }
  bool SecondActive() const { return SecondEnabled && SecondProc != nullptr; }

  int32_t Capacity() const { return static_cast<int32_t>(States.size()); }
  // The records of the range that pass both procedures.
  int32_t GetPassCount() const { return PassCount; }
  // Recounting: starts the count anew, and counts one more record that passes.
  void ResetPassCount() { PassCount = 0; }
  void CountPass() { ++PassCount; }

  // The recorded states and pass count, kept aside and put back with the
  // table's state.
  const std::vector<uint8_t> &GetStates() const { return States; }
  void RestoreStates(const std::vector<uint8_t> &states, int32_t passCount);

 private:
  friend class EngineTestPeer;

  std::vector<uint8_t> States;
  int32_t PassCount = 0;
  TFilterProc FirstProc = nullptr;
  intptr_t FirstUserValue = 0;
  TFilterProc SecondProc = nullptr;
  intptr_t SecondUserValue = 0;
  bool FirstEnabled = false;
  bool SecondEnabled = false;
};

}  // namespace velmora

#include "Velmoradb/TableCall.h"

#include <exception>

#include "Velmoradb/CallState.h"

namespace velmora {

void TableCall::Begin(Kind kind) {
  TVRVelmoraDB &table = table_;
  TablePager &pager = table.Pager;
  std::vector<uint8_t> key;
  const bool changed = pager.Begin(posting_, [&] { table.KeepCursorKey(key); });
  active_ = true;
  try {
    if (changed) table.ResyncAfterChange(key, kind == kMoving);
    if (posting_) saved_.reset(table.SaveCallState().release());
  } catch (...) {
    active_ = false;
    try {
      pager.End(false);
    } catch (...) {
    }
    throw;
  }
}

void TableCall::DropState::operator()(TVRVelmoraDB::CallState *state) const { delete state; }

void TableCall::Abandon() {
  active_ = false;
  try {
    table_.Pager.End(false);
  } catch (...) {
  }
  PutBack();
}

void TableCall::PutBack() {
  if (!saved_) return;
  // The files are as they were before the call: so is the engine's state.
  table_.RestoreCallState(*saved_);
  table_.ResetCache();
  try {
    table_.LoadCurrentRecord();
  } catch (...) {
  }
}

void TableCall::FinishActive() {
  active_ = false;
  try {
    table_.Pager.End(true, framed_);
    // A call that put the cursor somewhere of its own choosing has left
    // behind whatever a change under it did to the old place.
    if (moving_) {
      table_.CursorLost = false;
      table_.PendingNext = false;
    }
  } catch (...) {
    PutBack();
    throw;
  }
}

void CallFrame::DropMore() {
  // Abandoned calls are undone, the latest first.
  while (!more_.empty()) more_.pop_back();
}

void CallFrame::EnterMore(TVRVelmoraDB &table, TableCall::Kind kind) {
  if (&first_->Table() == &table) return;
  for (const auto &call : more_)
    if (&call->Table() == &table) return;
  more_.push_back(std::make_unique<TableCall>(table, kind, true));
}

void CallFrame::FinishAll() {
  std::exception_ptr failure;
  auto finish = [&failure](TableCall &call) {
    try {
      call.Finish();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  if (first_) finish(*first_);
  for (auto &call : more_) finish(*call);
  more_.clear();
  first_.reset();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace velmora

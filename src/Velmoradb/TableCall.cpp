#include "Velmoradb/TableCall.h"

#include <exception>

#include "Velmoradb/CallState.h"

namespace velmora {

namespace {
thread_local CallFrame *currentFrame = nullptr;
}

TableCall::TableCall(TVRVelmoraDB &table, Kind kind, bool framed)
    : table_(table), posting_(kind == kPosting), moving_(kind == kMoving || kind == kPosting), framed_(framed) {
  TablePager &pager = table.Pager;
  if (!pager.IsOpen()) return;
  if (kind == kMoving || kind == kPosting) table.PendingNext = false;
  if (kind == kMoving) table.CursorLost = false;
  std::vector<uint8_t> key;
  const bool changed = pager.Begin(posting_, [&] { table.KeepCursorKey(key); });
  active_ = true;
  try {
    if (changed) table.ResyncAfterChange(key, kind == kMoving);
    if (posting_) saved_ = table.SaveCallState();
  } catch (...) {
    active_ = false;
    try {
      pager.End(false);
    } catch (...) {
    }
    throw;
  }
}

TableCall::~TableCall() {
  if (!active_) return;
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

void TableCall::Finish() {
  if (!active_) return;
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

CallFrame::CallFrame() : outer_(currentFrame) { currentFrame = this; }

CallFrame::~CallFrame() {
  // Abandoned calls are undone, the latest first.
  while (!more_.empty()) more_.pop_back();
  first_.reset();
  currentFrame = outer_;
}

void CallFrame::Enter(TVRVelmoraDB &table, TableCall::Kind kind) {
  CallFrame *frame = currentFrame;
  if (frame == nullptr) return;
  if (!frame->first_) {
    frame->first_.emplace(table, kind, true);
    return;
  }
  if (&frame->first_->Table() == &table) return;
  for (const auto &call : frame->more_)
    if (&call->Table() == &table) return;
  frame->more_.push_back(std::make_unique<TableCall>(table, kind, true));
}

void CallFrame::Finish() {
  if (more_.empty()) {
    // One table (most exports): its failure leaves as it is.
    if (first_) first_->Finish();
    first_.reset();
    return;
  }
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

// The table calls of one exported call.  Every table an export works on is
// entered once: its storage locked and revalidated (the engine's state found
// again when another opener changed the table), and, for a posting
// operation, the engine's state kept aside.  When the export returns, its
// changes are written through (or, after a failure, undone in the files and
// in the engine's state) and the locks are released.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "Velmoradb/VelmoraDB.h"

namespace velmora {

class TableCall {
 public:
  enum Kind {
    kPassive,  // reads only and leaves the cursor where it is
    kMoving,   // reads and may move the cursor
    kNext,     // moves to the next record (which may be the one the cursor
               // was re-found on after its own record went)
    kPosting,  // changes the table
  };
  // framed: made by an export's CallFrame, through which every later access
  // to the table comes as well.
  // (Inline up to an owner's reading call, which needs no more: most
  // exports are such calls, several per record a client walks.)
  TableCall(TVRVelmoraDB &table, Kind kind, bool framed = false)
      : table_(table), posting_(kind == kPosting), moving_(kind == kMoving || kind == kPosting), framed_(framed) {
    TablePager &pager = table.Pager;
    if (!pager.IsOpen()) return;
    if (kind == kMoving || kind == kPosting) table.PendingNext = false;
    if (kind == kMoving) table.CursorLost = false;
    if (!posting_ && pager.ResumeKeptImages()) {
      active_ = true;
      return;
    }
    Begin(kind);
  }
  ~TableCall() {
    if (active_) Abandon();
  }
  TableCall(const TableCall &) = delete;
  TableCall &operator=(const TableCall &) = delete;
  // Writes the changes through and releases the table; a failure to write
  // is raised after the files and the engine's state have been put back.
  void Finish();
  TVRVelmoraDB &Table() const { return table_; }

 private:
  void Begin(Kind kind);
  void Abandon();
  void FinishActive();
  void PutBack();

  TVRVelmoraDB &table_;
  bool posting_;
  bool moving_;
  bool framed_;
  bool active_ = false;
  // Deletes a kept state where its type is complete (TableCall.cpp).
  struct DropState {
    void operator()(TVRVelmoraDB::CallState *state) const;
  };
  std::unique_ptr<TVRVelmoraDB::CallState, DropState> saved_;
};

// The calls of the export running on this thread; exports enter tables
// through it and finish or abandon them all at once.  (Inline for the export
// of one table, the common case.)
class CallFrame {
 public:
  CallFrame() : outer_(current_) { current_ = this; }
  ~CallFrame() {
    if (!more_.empty()) DropMore();
    first_.reset();
    current_ = outer_;
  }
  CallFrame(const CallFrame &) = delete;
  CallFrame &operator=(const CallFrame &) = delete;
  // Enters the table for the current frame (once per frame and table); with
  // no frame running (the engine used directly) nothing happens.
  static void Enter(TVRVelmoraDB &table, TableCall::Kind kind) {
    CallFrame *frame = current_;
    if (frame == nullptr) return;
    if (!frame->first_) {
      frame->first_.emplace(table, kind, true);
      return;
    }
    frame->EnterMore(table, kind);
  }
  void Finish() {
    if (!more_.empty()) return FinishAll();
    // One table (most exports): its failure leaves as it is.
    if (first_) first_->Finish();
    first_.reset();
  }

 private:
  void DropMore();
  void EnterMore(TVRVelmoraDB &table, TableCall::Kind kind);
  void FinishAll();

  static inline thread_local CallFrame *current_ = nullptr;

  // Most exports work on one table: its call is kept in place, and only the
  // calls of further tables are allocated.
  std::optional<TableCall> first_;
  std::vector<std::unique_ptr<TableCall>> more_;
  CallFrame *outer_;
};

// Out of the class: inlined into an export's frame, where the compiler cannot
// tell that a call held in the frame's optional was made before it is finished.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
inline void TableCall::Finish() {
  if (active_) FinishActive();
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace velmora

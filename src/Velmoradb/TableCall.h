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
  TableCall(TVRVelmoraDB &table, Kind kind, bool framed = false);
  ~TableCall();
  TableCall(const TableCall &) = delete;
  TableCall &operator=(const TableCall &) = delete;
  // Writes the changes through and releases the table; a failure to write
  // is raised after the files and the engine's state have been put back.
  void Finish();
  TVRVelmoraDB &Table() const { return table_; }

 private:
  void PutBack();

  TVRVelmoraDB &table_;
  bool posting_;
  bool moving_;
  bool framed_;
  bool active_ = false;
  std::unique_ptr<TVRVelmoraDB::CallState> saved_;
};

// The calls of the export running on this thread; exports enter tables
// through it and finish or abandon them all at once.
class CallFrame {
 public:
  CallFrame();
  ~CallFrame();
  CallFrame(const CallFrame &) = delete;
  CallFrame &operator=(const CallFrame &) = delete;
  // Enters the table for the current frame (once per frame and table); with
  // no frame running (the engine used directly) nothing happens.
  static void Enter(TVRVelmoraDB &table, TableCall::Kind kind);
  void Finish();

 private:
  // Most exports work on one table: its call is kept in place, and only the
  // calls of further tables are allocated.
  std::optional<TableCall> first_;
  std::vector<std::unique_ptr<TableCall>> more_;
  CallFrame *outer_;
};

}  // namespace velmora

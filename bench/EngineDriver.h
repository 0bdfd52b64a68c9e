// The engine under measurement, driven through its exported functions as a
// client program drives them: the table is defined with the schema export,
// opened with an open mode, and records and keys cross as record buffers and
// short strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Driver.h"
#include "support/CountingPlatform.h"

namespace bench {

using velmora::testing::CountingPlatform;

class EngineDriver : public Driver {
 public:
  // Defines the benchmark table in `folder` and opens it with `openMode`
  // (34: read and write, others may only read; 64: others may also write).
  // The counting platform must be installed already and outlive the driver.
  EngineDriver(const std::string &folder, int32_t openMode, const CountingPlatform &counting);
  ~EngineDriver() override;

  Digest Run(Phase phase, const Workload &workload) override;
  Digest Contents() override;
  CallCounts Calls() const override { return counting_.counts(); }

 private:
  enum Field { kId, kName, kCity, kAmount, kScore, kFieldCount };

  void Define(const std::string &schemaPath);
  bool FindId(int32_t id);
  void Fill(const Row &row);
  Row Decode() const;
  // Visits the records of the current range in index order.
  template <typename Visit>
  void Walk(Visit visit);

  Digest Insert(const Workload &w);
  Digest FindIds(const Workload &w);
  Digest FindNames(const Workload &w);
  Digest Ranges(const Workload &w);
  Digest Scan();
  Digest UpdateScores(const Workload &w);
  Digest UpdateNames(const Workload &w);
  Digest Delete(const Workload &w);

  const CountingPlatform &counting_;
  int32_t h_ = 0;
  int32_t offsets_[kFieldCount] = {};
  std::vector<uint8_t> record_;
  std::vector<uint8_t> key_;  // one 256-byte key text
};

}  // namespace bench

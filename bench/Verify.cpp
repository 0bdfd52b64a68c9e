#include "Verify.h"

namespace bench {

std::vector<std::string> Differences(const std::vector<NamedPass> &passes, const Workload &workload) {
  std::vector<std::string> out;
  if (passes.empty()) return out;
  const NamedPass &reference = passes.front();
  for (size_t k = 1; k < passes.size(); ++k) {
    const NamedPass &other = passes[k];
    for (int i = 0; i < kPhaseCount; ++i) {
      const Digest &a = reference.pass.phases[static_cast<size_t>(i)].digest;
      const Digest &b = other.pass.phases[static_cast<size_t>(i)].digest;
      if (!(a == b))
        out.push_back(PhaseLabel(kPhases[i], workload) + ": " + reference.engine + " saw " + a.Text() + ", " +
                      other.engine + " saw " + b.Text());
    }
    if (!(reference.pass.contents == other.pass.contents))
      out.push_back("table contents after the last phase: " + reference.engine + " has " +
                    reference.pass.contents.Text() + ", " + other.engine + " has " + other.pass.contents.Text());
  }
  return out;
}

}  // namespace bench

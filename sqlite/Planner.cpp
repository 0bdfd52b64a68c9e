#include "Planner.h"

#include <cmath>
#include <string>

#include "FieldValues.h"

SQLITE_EXTENSION_INIT3

namespace vsql {
namespace {

struct Candidate {
  Plan plan;
  std::vector<int> argConstraints;  // constraint numbers in argument order
  double cost = 0;
  double rows = 0;
  bool orderConsumed = false;
  std::string text;
};

bool IsEq(unsigned char op) { return op == SQLITE_INDEX_CONSTRAINT_EQ; }
bool IsLower(unsigned char op) { return op == SQLITE_INDEX_CONSTRAINT_GT || op == SQLITE_INDEX_CONSTRAINT_GE; }
bool IsUpper(unsigned char op) { return op == SQLITE_INDEX_CONSTRAINT_LT || op == SQLITE_INDEX_CONSTRAINT_LE; }

const char *OpText(unsigned char op) {
  switch (op) {
    case SQLITE_INDEX_CONSTRAINT_GT: return ">";
    case SQLITE_INDEX_CONSTRAINT_GE: return ">=";
    case SQLITE_INDEX_CONSTRAINT_LT: return "<";
    case SQLITE_INDEX_CONSTRAINT_LE: return "<=";
    default: return "=";
  }
}

// A constraint the module can turn into part of a key: usable, on a field,
// and for text fields compared with the BINARY collation (the index order).
bool Keyable(const std::vector<FieldDef> &fields, sqlite3_index_info *info, int i) {
  const auto &c = info->aConstraint[i];
  if (!c.usable || c.iColumn < 0 || c.iColumn >= static_cast<int>(fields.size())) return false;
  if (IsTextField(fields[static_cast<size_t>(c.iColumn)].type)) {
    const char *collation = sqlite3_vtab_collation(info, i);
    if (collation != nullptr && sqlite3_stricmp(collation, "BINARY") != 0) return false;
  }
  return true;
}

int FindConstraint(const std::vector<FieldDef> &fields, sqlite3_index_info *info, int column,
                   bool (*wanted)(unsigned char)) {
  for (int i = 0; i < info->nConstraint; ++i) {
    if (info->aConstraint[i].iColumn == column && wanted(info->aConstraint[i].op) && Keyable(fields, info, i)) return i;
  }
  return -1;
}

bool IsNullTest(unsigned char op) { return op == SQLITE_INDEX_CONSTRAINT_ISNULL; }

// Whether the index delivers the rows in the ORDER BY's order, given the
// leading fields fixed by equal values; *descending tells the direction.
bool ConsumesOrder(const IndexDef &index, int32_t eqCount, sqlite3_index_info *info, bool *descending) {
  if (info->nOrderBy == 0) return false;
  size_t next = static_cast<size_t>(eqCount);
  bool desc = info->aOrderBy[0].desc != 0;
  for (int t = 0; t < info->nOrderBy; ++t) {
    const auto &term = info->aOrderBy[t];
    if ((term.desc != 0) != desc || term.iColumn < 0) return false;
    bool fixed = false;
    for (int32_t j = 0; j < eqCount; ++j) fixed = fixed || index.fields[static_cast<size_t>(j)] == term.iColumn;
    if (fixed) continue;
    if (next >= index.fields.size() || index.fields[next] != term.iColumn) return false;
    ++next;
  }
  *descending = desc;
  return true;
}

Candidate IndexCandidate(const std::vector<FieldDef> &fields, const std::vector<IndexDef> &indexes, int32_t i, double n,
                         sqlite3_index_info *info) {
  const IndexDef &index = indexes[static_cast<size_t>(i)];
  Candidate c;
  c.plan.index = i;
  std::string terms;
  auto term = [&](const std::string &t) { terms += (terms.empty() ? "" : " AND ") + t; };
  const size_t keyFields = index.fields.size();
  size_t k = 0;
  for (; k < keyFields; ++k) {
    int column = index.fields[k];
    const std::string &name = fields[static_cast<size_t>(column)].name;
    int eq = FindConstraint(fields, info, column, IsEq);
    if (eq >= 0) {
      c.argConstraints.push_back(eq);
      term(name + "=?");
      continue;
    }
    int isNull = FindConstraint(fields, info, column, IsNullTest);
    if (isNull < 0) break;
    c.plan.nullMask |= 1u << k;
    term(name + " IS NULL");
  }
  c.plan.eqCount = static_cast<int32_t>(k);
  double rows = n * std::pow(0.1, static_cast<double>(k));
  if (k < keyFields) {
    int column = index.fields[k];
    const std::string &name = fields[static_cast<size_t>(column)].name;
    int lo = FindConstraint(fields, info, column, IsLower);
    int hi = FindConstraint(fields, info, column, IsUpper);
    if (lo >= 0) {
      c.plan.lower = true;
      c.plan.lowerStrict = info->aConstraint[lo].op == SQLITE_INDEX_CONSTRAINT_GT;
      c.argConstraints.push_back(lo);
      term(name + OpText(info->aConstraint[lo].op) + "?");
    }
    if (hi >= 0) {
      c.plan.upper = true;
      c.plan.upperStrict = info->aConstraint[hi].op == SQLITE_INDEX_CONSTRAINT_LT;
      c.argConstraints.push_back(hi);
      term(name + OpText(info->aConstraint[hi].op) + "?");
    }
    if (lo >= 0 && hi >= 0) {
      rows *= 0.1;
    } else if (lo >= 0 || hi >= 0) {
      rows *= 0.3;
    }
  }
  c.plan.unique = i == 0 && k == keyFields && c.plan.nullMask == 0;
  if (c.plan.unique) rows = 1;
  c.rows = rows < 1 ? 1 : rows;
  bool keyed = k > 0 || c.plan.lower || c.plan.upper;
  // A search costs about one probe per halving; a scan reads every record.
  c.cost = keyed ? std::log2(n + 2) + c.rows : n + 10;
  bool desc = false;
  c.orderConsumed = ConsumesOrder(index, c.plan.eqCount, info, &desc);
  c.plan.descending = c.orderConsumed && desc;
  c.plan.anyIndex = !keyed && !c.orderConsumed;
  if (c.plan.anyIndex) {
    c.text = "full scan";
  } else {
    c.text = "index " + index.name;
    if (!terms.empty()) c.text += " (" + terms + ")";
    if (c.orderConsumed) c.text += c.plan.descending ? " in descending key order" : " in key order";
  }
  return c;
}

}  // namespace

int Plan::Encode() const {
  int v = index & 0xF;
  v |= (eqCount & 0xF) << 4;
  v |= static_cast<int>(nullMask & 0x3FF) << 8;
  v |= (lower ? 1 : 0) << 18 | (lowerStrict ? 1 : 0) << 19 | (upper ? 1 : 0) << 20 | (upperStrict ? 1 : 0) << 21 |
       (descending ? 1 : 0) << 22 | (unique ? 1 : 0) << 23 | (anyIndex ? 1 : 0) << 24 | (byRecord ? 1 : 0) << 25;
  return v;
}

Plan Plan::Decode(int v) {
  Plan p;
  p.index = v & 0xF;
  p.eqCount = (v >> 4) & 0xF;
  p.nullMask = static_cast<uint32_t>(v >> 8) & 0x3FF;
  p.lower = (v >> 18) & 1;
  p.lowerStrict = (v >> 19) & 1;
  p.upper = (v >> 20) & 1;
  p.upperStrict = (v >> 21) & 1;
  p.descending = (v >> 22) & 1;
  p.unique = (v >> 23) & 1;
  p.anyIndex = (v >> 24) & 1;
  p.byRecord = (v >> 25) & 1;
  return p;
}

int ChoosePlan(const std::vector<FieldDef> &fields, const std::vector<IndexDef> &indexes, int32_t recordCount,
               int32_t recnoColumn, sqlite3_index_info *info) {
  const double n = recordCount > 0 ? recordCount : 1;
  Candidate best;
  bool haveBest = false;
  double bestScore = 0;

  // One record by its number.
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto &c = info->aConstraint[i];
    if (c.usable && IsEq(c.op) && (c.iColumn == -1 || c.iColumn == recnoColumn)) {
      best.plan.byRecord = true;
      best.argConstraints = {i};
      best.cost = 1;
      best.rows = 1;
      best.text = "record number (rowid=?)";
      haveBest = true;
      break;
    }
  }
  if (!haveBest) {
    for (int32_t i = 0; i < static_cast<int32_t>(indexes.size()); ++i) {
      Candidate c = IndexCandidate(fields, indexes, i, n, info);
      // Rows that come out of order must be sorted afterwards.
      double score = c.cost + (info->nOrderBy > 0 && !c.orderConsumed ? c.rows * std::log2(c.rows + 1) : 0);
      if (!haveBest || score < bestScore) {
        best = c;
        bestScore = score;
        haveBest = true;
      }
    }
  }

  int arg = 1;
  for (int i : best.argConstraints) {
    info->aConstraintUsage[i].argvIndex = arg++;
    info->aConstraintUsage[i].omit = 0;  // SQLite tests every row again
  }
  info->idxNum = best.plan.Encode();
  info->idxStr = sqlite3_mprintf("%s", best.text.c_str());
  info->needToFreeIdxStr = 1;
  info->orderByConsumed = best.orderConsumed ? 1 : 0;
  info->estimatedCost = best.cost;
  info->estimatedRows = static_cast<sqlite3_int64>(best.rows);
  return info->idxStr == nullptr ? SQLITE_NOMEM : SQLITE_OK;
}

}  // namespace vsql

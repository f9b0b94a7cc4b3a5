// Helpers shared by the layout tests: an exact text image of a solver's state, so
// that "nothing changed" and "both walk modes agree" are plain string comparisons.
#pragma once

#include <cstdio>
#include <string>

#include "layout/solver.h"

namespace setup::layout::testing {

inline std::string symbolName(Symbol s) {
  if (!s.valid()) return "-";
  static const char* const kinds[] = {"v", "s", "e", "d"};
  return kinds[static_cast<int>(s.kind())] + std::to_string(s.id());
}

// Doubles in hexadecimal: exact.
inline std::string exact(double x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%a", x);
  return buffer;
}

inline std::string dumpRow(const Row& row) {
  std::string out = exact(row.constant());
  for (auto [s, c] : row.cells()) out += " " + symbolName(s) + ":" + exact(c);
  return out;
}

// Rows in walk order with their slots, the objective, the infeasible list, the ids.
inline std::string dumpSolver(const Solver& solver) {
  std::string out;
  for (auto it = solver.rows().begin(); it != solver.rows().end(); ++it) {
    auto [key, row] = *it;
    out += "[" + std::to_string(it.slot()) + "] " + symbolName(key) + " = " + dumpRow(*row) + "\n";
  }
  out += "objective = " + dumpRow(solver.objective()) + "\ninfeasible:";
  for (Symbol s : solver.infeasible()) out += " " + symbolName(s);
  out += "\nids: " + std::to_string(solver.idCounter()) + "\n";
  return out;
}

}  // namespace setup::layout::testing

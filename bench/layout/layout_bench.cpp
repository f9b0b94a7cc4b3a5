// The layout solver at scale: a form of N windows in label/field rows, each window
// with the four relations of the main window's rows (relations 13 to 20 of its layout:
// a label of fixed width at the left, a field from the label's width to the
// container's right edge, rows 10 pixels apart), the container's four edit variables
// at 1001000999 and every window's four at 0.01 and 0.05, added in the
// window layout's order: the container's edits, then per window its edits and relations.
//
//   BM_Build/N        build the whole solver: edit variables and 4N relations (each
//                     build is followed by one relations first for the paired ratio;
//                     relations_first_ms is their mean)
//   BM_BuildRelationsFirst/N
//                     the same system with the 4N relations added before the
//                     windows' edit variables
//   BM_Resize/N       one resize: suggest the container's four values, refresh
//   BM_LayoutPass/N   the window layout's whole pass: the container's and every window's
//                     suggestions, refresh
//   BM_Glpk/N         the system of one resize (the windows' edit values from the
//                     last pass, the container's new size) built and solved from
//                     scratch by GLPK's simplex
//
// Printed ratios: BM_Glpk / BM_Resize and BM_Glpk / BM_LayoutPass at N = 10 to 1,000,
// and BM_Build / BM_BuildRelationsFirst at N = 100, 1,000 and 10,000 as the median of
// back-to-back pairs.
//
// The builds run at N = 10 to 10,000 (10,000 once, with its partner: some 10^8 cells and
// 3.4 GB, most of them the dummies of the top chain, every top row holding those of the
// rows above it), resizes and layout passes at N = 10 to 1,000, GLPK also at 10,000.
//
// In the window layout's order every relation finds its variables basic already (their
// edit constraints made them so) and goes through the artificial symbol; added first,
// each relation solves for a variable of its own. The artificial path costs more per
// relation, but with a row's cells walked newest symbol first it pivots once, on the
// relation's own error symbol. Walked in hash order, the first negative cell was often
// the container's old error symbol, whose column holds every top row: each such relation
// pivoted down the chain and back, and the build grew about as N^4 (1,000 windows: 12 s
// against 0.08 s relations first).
#include <glpk.h>
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio_main.h"
#include "layout/solver.h"

namespace setup::layout {
namespace {

constexpr int kWidthA = 800, kHeightA = 600;   // the size of the last layout pass
constexpr int kWidthB = 1024, kHeightB = 700;  // the size a resize goes to
constexpr int kLabelWidth = 45, kLabelHeight = 17, kFieldHeight = 23;

// sum(coefficient * variable) + constant == 0; variable 4w + k is field k (left,
// top, width, height) of window w, and the container is window N.
struct Relation {
  std::vector<std::pair<int, double>> terms;
  double constant;
};

// The form's system as data: relations in the order of adding, edit strengths, and
// the edit values of the last layout pass (the geometry at size A).
struct FormSystem {
  int windows;
  std::vector<Relation> relations;
  std::vector<double> suggested;

  explicit FormSystem(int n) : windows(n), suggested(4 * (static_cast<std::size_t>(n) + 1)) {
    const int C = 4 * n;
    for (int i = 0; i < n; ++i) {
      const int me = 4 * i;
      const bool label = i % 2 == 0;
      const int row = i / 2;
      const int prevField = 4 * (2 * row - 1);
      if (label) {
        relations.push_back({{{me + 0, 1.0}}, 0.0});  // left = 0
        relations.push_back(
            {{{me + 0, 1.0}, {me + 2, 1.0}}, -(kLabelWidth + 10.0)});  // left + width = bw + 10
      } else {
        relations.push_back({{{me + 0, 1.0}, {me - 4 + 2, -1.0}}, 0.0});  // left = label width
        relations.push_back(
            {{{me + 0, 1.0}, {me + 2, 1.0}, {C + 2, -1.0}}, 0.0});  // left + width = P.width
      }
      if (row == 0)
        relations.push_back({{{C + 1, 1.0}, {me + 1, -1.0}}, 0.0});  // P.top = top
      else
        relations.push_back({{{prevField + 1, 1.0}, {prevField + 3, 1.0}, {me + 1, -1.0}}, 10.0});
      relations.push_back(
          {{{me + 3, 1.0}}, -double(label ? kLabelHeight : kFieldHeight)});  // height = bh
    }
    const std::vector<double> a = geometry(kWidthA, kHeightA);
    suggested.assign(a.begin(), a.end());
  }

  // The solution at a container size, in closed form.
  std::vector<double> geometry(int width, int height) const {
    std::vector<double> g(4 * (static_cast<std::size_t>(windows) + 1));
    for (int i = 0; i < windows; ++i) {
      const bool label = i % 2 == 0;
      const std::size_t me = 4 * static_cast<std::size_t>(i);
      g[me + 0] = label ? 0.0 : kLabelWidth + 10.0;
      g[me + 1] = (i / 2) * (kFieldHeight + 10.0);
      g[me + 2] = label ? kLabelWidth + 10.0 : width - kLabelWidth - 10.0;
      g[me + 3] = label ? kLabelHeight : kFieldHeight;
    }
    const std::size_t C = 4 * static_cast<std::size_t>(windows);
    g[C + 0] = 0.0;
    g[C + 1] = 0.0;
    g[C + 2] = width;
    g[C + 3] = height;
    return g;
  }

  double strength(int variable) const {
    if (variable >= 4 * windows) return kContainerEditStrength;
    return variable % 4 < 2 ? kChildPositionStrength : kChildSizeStrength;
  }
};

// The solver built from the system as the window layout builds it.
struct Form {
  const FormSystem& system;
  Solver solver;
  std::vector<Variable> variables;

  // relationsFirst: every relation before the windows' edit variables, so that
  // each relation finds a variable of its own to solve for.
  explicit Form(const FormSystem& s, bool relationsFirst = false)
      : system(s), variables(4 * (static_cast<std::size_t>(s.windows) + 1)) {
    const int C = 4 * s.windows;
    for (int f = 0; f < 4; ++f) solver.addEditVariable(variable(C + f), kContainerEditStrength);
    if (relationsFirst) {
      for (int r = 0; r < 4 * s.windows; ++r) addRelation(r);
      for (int v = 0; v < C; ++v) addEdit(v);
      return;
    }
    for (int i = 0; i < s.windows; ++i) {
      for (int f = 0; f < 4; ++f) addEdit(4 * i + f);
      for (int r = 4 * i; r < 4 * i + 4; ++r) addRelation(r);
    }
  }

  void addEdit(int index) {
    const Variable& v = variable(index);
    if (!solver.isEditVariable(v)) solver.addEditVariable(v, system.strength(index));
  }
  void addRelation(int index) {
    const Relation& relation = system.relations[static_cast<std::size_t>(index)];
    std::vector<Term> terms;
    for (auto [variableIndex, c] : relation.terms) terms.emplace_back(variable(variableIndex), c);
    solver.addConstraint(
        Constraint(Expression(terms, relation.constant), RelationalOperator::EQ, required));
  }

  const Variable& variable(int index) const { return variables[static_cast<std::size_t>(index)]; }

  void suggestContainer(int width, int height) {
    const int C = 4 * system.windows;
    const double values[] = {0.0, 0.0, double(width), double(height)};
    for (int f = 0; f < 4; ++f) solver.suggestValue(variable(C + f), values[f]);
  }
  // The placing step: every window's present geometry (its last solved value).
  void suggestWindows() {
    for (int i = 0; i < 4 * system.windows; ++i)
      solver.suggestValue(variable(i), variable(i).value());
  }
  void expect(int width, int height, const char* where) const {
    const std::vector<double> g = system.geometry(width, height);
    for (std::size_t i = 0; i < g.size(); ++i) {
      if (std::fabs(variables[i].value() - g[i]) > 1e-6) {
        std::fprintf(stderr, "%s: variable %zu is %g, not %g\n", where, i, variables[i].value(),
                     g[i]);
        std::abort();
      }
    }
  }
};

// The LP of one resize: minimise sum(strength * (e+ + e-)) subject to the relations
// and v - e+ + e- = suggested for every variable (the container at width x height).
// Returns the solution of the variables.
std::vector<double> solveWithGlpk(const FormSystem& system, int width, int height) {
  std::vector<double> suggested = system.suggested;
  const std::size_t C = 4 * static_cast<std::size_t>(system.windows);
  suggested[C + 2] = width;
  suggested[C + 3] = height;
  const int variables = static_cast<int>(suggested.size());

  glp_prob* lp = glp_create_prob();
  glp_set_obj_dir(lp, GLP_MIN);
  glp_add_cols(lp, 3 * variables);
  for (int v = 0; v < variables; ++v) {
    glp_set_col_bnds(lp, v + 1, GLP_FR, 0.0, 0.0);
    for (int e = 1; e <= 2; ++e) {
      const int column = variables + 2 * v + e;
      glp_set_col_bnds(lp, column, GLP_LO, 0.0, 0.0);
      glp_set_obj_coef(lp, column, system.strength(v));
    }
  }
  glp_add_rows(lp, static_cast<int>(system.relations.size()) + variables);
  std::vector<int> ia{0}, ja{0};
  std::vector<double> ar{0.0};
  int row = 0;
  for (const Relation& r : system.relations) {
    ++row;
    for (auto [index, c] : r.terms) {
      ia.push_back(row);
      ja.push_back(index + 1);
      ar.push_back(c);
    }
    glp_set_row_bnds(lp, row, GLP_FX, -r.constant, -r.constant);
  }
  for (int v = 0; v < variables; ++v) {
    ++row;
    const int columns[] = {v + 1, variables + 2 * v + 1, variables + 2 * v + 2};
    const double coefficients[] = {1.0, -1.0, 1.0};
    for (int k = 0; k < 3; ++k) {
      ia.push_back(row);
      ja.push_back(columns[k]);
      ar.push_back(coefficients[k]);
    }
    const double s = suggested[static_cast<std::size_t>(v)];
    glp_set_row_bnds(lp, row, GLP_FX, s, s);
  }
  glp_load_matrix(lp, static_cast<int>(ia.size()) - 1, ia.data(), ja.data(), ar.data());
  glp_smcp parameters;
  glp_init_smcp(&parameters);
  parameters.msg_lev = GLP_MSG_OFF;
  parameters.presolve = GLP_ON;
  if (glp_simplex(lp, &parameters) != 0 || glp_get_status(lp) != GLP_OPT) {
    std::fprintf(stderr, "GLPK did not solve the form\n");
    std::abort();
  }
  std::vector<double> solution(static_cast<std::size_t>(variables));
  for (int v = 0; v < variables; ++v)
    solution[static_cast<std::size_t>(v)] = glp_get_col_prim(lp, v + 1);
  glp_delete_prob(lp);
  return solution;
}

const FormSystem& formSystem(int n) {
  static std::map<int, std::unique_ptr<FormSystem>> systems;
  std::unique_ptr<FormSystem>& s = systems[n];
  if (!s) s = std::make_unique<FormSystem>(n);
  return *s;
}

// A form after a first layout pass at size A; cached per N (the large ones take a
// while to build).
Form& placedForm(int n) {
  static std::map<int, std::unique_ptr<Form>> forms;
  std::unique_ptr<Form>& form = forms[n];
  if (!form) {
    form = std::make_unique<Form>(formSystem(n));
    form->suggestContainer(kWidthA, kHeightA);
    form->solver.refreshVariables();
    form->suggestWindows();
    form->solver.refreshVariables();
    form->expect(kWidthA, kHeightA, "first pass");
  }
  return *form;
}

// Builds of gigabytes (10,000 windows) start from a trimmed heap: each pays for its own
// fresh pages, whichever ran before it. Smaller ones reuse pages that earlier builds of
// the same size freed (BM_Build warms the heap up first).
constexpr int kTrimmedHeap = 10000;

double threadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// One build, in this thread's CPU time: on a machine shared by several jobs, wall time
// also counts whatever else ran meanwhile. The result is checked and the solver
// destroyed outside the time.
double timedBuild(int n, bool relationsFirst) {
  if (n >= kTrimmedHeap) malloc_trim(0);
  const double start = threadSeconds();
  auto form = std::make_unique<Form>(formSystem(n), relationsFirst);
  benchmark::DoNotOptimize(form.get());
  const double seconds = threadSeconds() - start;
  form->suggestContainer(kWidthA, kHeightA);
  form->solver.refreshVariables();
  form->expect(kWidthA, kHeightA, relationsFirst ? "built relations first" : "built");
  return seconds;
}

// BM_Build / BM_BuildRelationsFirst of builds made back to back, per N: two builds made
// one right after the other see about the same load (and the same state of the heap), so
// the median of their ratios holds still where the ratio of separately timed benchmarks
// does not.
std::map<int, std::vector<double>> pairedRatios;

// Each build in the window layout's order is paired with one relations first, its partner
// in the paired ratio; only the first counts in the benchmark's time. Which of the two
// goes first alternates.
void BM_Build(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  if (n < kTrimmedHeap) timedBuild(n, true);  // warms the heap up
  double partners = 0;
  bool partnerFirst = false;
  for (auto _ : state) {
    const double before = partnerFirst ? timedBuild(n, true) : 0.0;
    const double seconds = timedBuild(n, false);
    state.SetIterationTime(seconds);
    const double partner = partnerFirst ? before : timedBuild(n, true);
    partnerFirst = !partnerFirst;
    partners += partner;
    pairedRatios[n].push_back(seconds / partner);
  }
  state.counters["relations_first_ms"] = 1e3 * partners / static_cast<double>(state.iterations());
}

void BM_BuildRelationsFirst(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(timedBuild(static_cast<int>(state.range(0)), true));
}

void BM_Resize(benchmark::State& state) {
  Form& form = placedForm(static_cast<int>(state.range(0)));
  bool toB = true;
  for (auto _ : state) {
    form.suggestContainer(toB ? kWidthB : kWidthA, toB ? kHeightB : kHeightA);
    form.solver.refreshVariables();
    toB = !toB;
  }
  form.suggestContainer(kWidthB, kHeightB);
  form.solver.refreshVariables();
  form.expect(kWidthB, kHeightB, "resize");
  form.suggestContainer(kWidthA, kHeightA);
  form.solver.refreshVariables();
}

void BM_LayoutPass(benchmark::State& state) {
  Form& form = placedForm(static_cast<int>(state.range(0)));
  bool toB = true;
  for (auto _ : state) {
    form.suggestContainer(toB ? kWidthB : kWidthA, toB ? kHeightB : kHeightA);
    form.suggestWindows();
    form.solver.refreshVariables();
    toB = !toB;
  }
  // Back to a pass at size A, as placedForm leaves it.
  form.suggestContainer(kWidthA, kHeightA);
  form.solver.refreshVariables();
  form.suggestWindows();
  form.solver.refreshVariables();
  form.expect(kWidthA, kHeightA, "layout pass");
}

void BM_Glpk(benchmark::State& state) {
  const FormSystem& system = formSystem(static_cast<int>(state.range(0)));
  std::vector<double> solution;
  for (auto _ : state) solution = solveWithGlpk(system, kWidthB, kHeightB);
  const std::vector<double> expected = system.geometry(kWidthB, kHeightB);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (std::fabs(solution[i] - expected[i]) > 1e-6) {
      std::fprintf(stderr, "GLPK: variable %zu is %g, not %g\n", i, solution[i], expected[i]);
      std::abort();
    }
  }
}

void solverSizes(benchmark::internal::Benchmark* b) {
  for (int n : {10, 100, 1000}) b->Arg(n);
}

// At 10,000 a build takes longer than the minimum time, so it runs once, with its partner;
// a separate BM_BuildRelationsFirst/10000 would add another build of a minute or so.
BENCHMARK(BM_Build)
    ->Apply(solverSizes)
    ->Arg(10000)
    ->UseManualTime()
    ->MinTime(1.0)  // several pairs at 1,000
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildRelationsFirst)
    ->Apply(solverSizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
// The ratios compare the next three: one unit for all of them.
BENCHMARK(BM_Resize)->Apply(solverSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LayoutPass)->Apply(solverSizes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Glpk)->Apply(solverSizes)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace setup::layout

int main(int argc, char** argv) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const char* n : {"10", "100", "1000"}) {
    pairs.push_back({std::string("BM_Glpk/") + n, std::string("BM_Resize/") + n});
    pairs.push_back({std::string("BM_Glpk/") + n, std::string("BM_LayoutPass/") + n});
  }
  const int status = setup::bench::runWithRatios(argc, argv, pairs);
  for (int n : {100, 1000, 10000}) {
    std::vector<double>& ratios = setup::layout::pairedRatios[n];
    if (ratios.empty()) continue;
    std::sort(ratios.begin(), ratios.end());
    std::printf(
        "ratio BM_Build/%d / BM_BuildRelationsFirst/%d = %.2f (median of %zu back-to-back "
        "pairs; quartiles %.2f and %.2f)\n",
        n, n, ratios[ratios.size() / 2], ratios.size(), ratios[ratios.size() / 4],
        ratios[ratios.size() * 3 / 4]);
  }
  return status;
}

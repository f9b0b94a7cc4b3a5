// The installation of the whole payload under wine against a plain write of
// the same 100 files from memory (no decompression, no comparison), side by
// side in one run, into empty directories and over the same files; and the
// peak memory of the headless install against an empty run of the same
// program.
//
// The timed work runs inside one long-lived wine process (install-bench-worker,
// from the Windows build), so that wine's process start-up stays out of the
// ratio; repetitions of the two are interleaved, and the ratio is of medians.
// Needs the Windows build (scripts/build.sh): build/win, or SETUP_WIN_BUILD.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kRoot = "C:\\setup-bench";
const std::string kPalette = kRoot + "\\Std\\Library\\MELDRA";
const std::string kScript = kRoot + "\\Std\\PythonPartsScripts\\MELDRA";
const std::string kLibraryRoot = kRoot + "\\Std";

// The environment of scripts/wine-env.sh: "export NAME=value" lines.
void loadWineEnvironment(const fs::path& dir) {
  const std::string start =
      "'" SETUP_SOURCE_DIR "/scripts/wine-env.sh' start '" + dir.string() + "'";
  if (std::system(start.c_str()) != 0) throw std::runtime_error("cannot start wine: " + start);
  std::ifstream env(dir / "env");
  for (std::string line; std::getline(env, line);) {
    if (!line.starts_with("export ")) continue;
    const std::size_t eq = line.find('=');
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    setenv(line.substr(7, eq - 7).c_str(), value.c_str(), 1);
  }
}

// The worker: one command a line in, one answer a line out.
class Worker {
 public:
  explicit Worker(const fs::path& exe) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0), dup2(out[1], 1);
      close(in[0]), close(in[1]), close(out[0]), close(out[1]);
      execlp("wine", "wine", exe.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]), close(out[1]);
    to_ = fdopen(in[1], "w");
    from_ = fdopen(out[0], "r");
  }
  ~Worker() {
    std::fclose(to_);
    std::fclose(from_);
    waitpid(pid_, nullptr, 0);
  }

  std::string ask(const std::string& command) {
    std::fprintf(to_, "%s\n", command.c_str());
    std::fflush(to_);
    char line[256];
    if (std::fgets(line, sizeof line, from_) == nullptr) {
      throw std::runtime_error("the worker stopped at: " + command);
    }
    return line;
  }
  // Seconds and peak heap bytes of a timed command.
  std::pair<double, double> timed(const std::string& command) {
    const std::string answer = ask(command);
    std::size_t end = 0;
    const double seconds = std::stod(answer, &end);
    return {seconds, std::stod(answer.substr(end))};
  }

 private:
  pid_t pid_ = -1;
  FILE* to_ = nullptr;
  FILE* from_ = nullptr;
};

Worker* worker = nullptr;
fs::path headlessExe;

const std::string kInstall = "install\t" + kPalette + "\t" + kScript + "\t" + kLibraryRoot;
const std::string kPlain = "plain\t" + kPalette + "\t" + kScript;

// install / plain of runs made back to back, for a first installation and for
// one over the same files. On a shared machine the load changes from second
// to second; two runs made one right after the other see about the same load,
// so the median of their ratios holds still where the ratio of separately
// timed medians does not.
std::vector<double> pairedRatios;
std::vector<double> pairedRepeatRatios;

// A first run starts from nothing; a repeated one over what the same command
// wrote just before.
double timedRun(const std::string& command, bool repeated, double* heap) {
  worker->ask("clean\t" + kRoot);
  if (repeated) worker->timed(command);
  const auto [seconds, peak] = worker->timed(command);
  *heap = std::max(*heap, peak);
  return seconds;
}

// Times command; with a partner, also runs the other of install and plain
// right after it for the paired ratio; manual time counts only the first.
void runTimed(benchmark::State& state, const std::string& command, bool paired,
              bool repeated = false) {
  double heap = 0;
  double ignored = 0;
  for (auto _ : state) {
    const double seconds = timedRun(command, repeated, &heap);
    state.SetIterationTime(seconds);
    if (!paired) continue;
    const bool install = command == kInstall;
    const double partner = timedRun(install ? kPlain : kInstall, repeated, &ignored);
    (repeated ? pairedRepeatRatios : pairedRatios)
        .push_back(install ? seconds / partner : partner / seconds);
  }
  state.counters["heap_peak_MB"] = heap / 1e6;
}

void BM_InstallUnderWine(benchmark::State& state) {
  runTimed(state, kInstall, true);
}

void BM_PlainWriteUnderWine(benchmark::State& state) {
  runTimed(state, kPlain, true);
}

// Over an installation of the same files: each one is read and compared,
// then replaced by a rename; the plain write overwrites them.
void BM_ReinstallUnderWine(benchmark::State& state) {
  runTimed(state, kInstall, true, true);
}

void BM_PlainRewriteUnderWine(benchmark::State& state) {
  runTimed(state, kPlain, true, true);
}

void BM_DecodeUnderWine(benchmark::State& state) {
  runTimed(state, "decode", false);
}

// Decoding with every entry's checksum verified, as the install does.
void BM_DecodeAndCheckUnderWine(benchmark::State& state) {
  runTimed(state, "check", false);
}

// A whole headless-install process; its peak resident set from wait4.
void runProcess(benchmark::State& state, const std::vector<std::string>& args) {
  long peakKb = 0;
  for (auto _ : state) {
    state.PauseTiming();
    worker->ask("clean\t" + kRoot);
    state.ResumeTiming();
    const pid_t pid = fork();
    if (pid == 0) {
      std::vector<const char*> argv = {"wine", headlessExe.c_str()};
      for (const std::string& arg : args) argv.push_back(arg.c_str());
      argv.push_back(nullptr);
      std::freopen("/dev/null", "w", stderr);
      execvp("wine", const_cast<char* const*>(argv.data()));
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    peakKb = std::max(peakKb, usage.ru_maxrss);
  }
  state.counters["peak_rss_MB"] = double(peakKb) / 1024.0;
}

void BM_HeadlessInstallProcess(benchmark::State& state) {
  runProcess(state, {kPalette, kScript, kLibraryRoot});
}

// The same program ending at its usage line: everything but the install.
void BM_EmptyRunProcess(benchmark::State& state) {
  runProcess(state, {"--usage"});
}

// Medians of the interleaved repetitions, by benchmark.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      times_[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
      for (const auto& [name, counter] : run.counters) {
        double& value = counters_[run.run_name.function_name + " " + name];
        value = std::max(value, double(counter));
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double median(const std::string& name) {
    std::vector<double>& t = times_[name];
    if (t.empty()) return 0;
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
  }
  double counter(const std::string& name) { return counters_[name]; }

 private:
  std::map<std::string, std::vector<double>> times_;
  std::map<std::string, double> counters_;
};

}  // namespace

int main(int argc, char** argv) {
  const char* winBuild = std::getenv("SETUP_WIN_BUILD");
  const fs::path build =
      winBuild != nullptr ? fs::path(winBuild) : fs::path(SETUP_SOURCE_DIR "/build/win");
  const fs::path workerExe = build / "installer/install-bench-worker.exe";
  headlessExe = build / "installer/headless-install.exe";
  if (!fs::exists(workerExe) || !fs::exists(headlessExe)) {
    std::printf("skipped: %s or %s is missing; scripts/build.sh builds them\n", workerExe.c_str(),
                headlessExe.c_str());
    return 0;
  }
  loadWineEnvironment(build / "wine");
  Worker running(workerExe);
  worker = &running;

  constexpr int kRepetitions = 7;
  struct Named {
    const char* name;
    void (*run)(benchmark::State&);
  };
  for (const Named& b : {Named{"BM_InstallUnderWine", BM_InstallUnderWine},
                         Named{"BM_PlainWriteUnderWine", BM_PlainWriteUnderWine},
                         Named{"BM_ReinstallUnderWine", BM_ReinstallUnderWine},
                         Named{"BM_PlainRewriteUnderWine", BM_PlainRewriteUnderWine},
                         Named{"BM_DecodeUnderWine", BM_DecodeUnderWine},
                         Named{"BM_DecodeAndCheckUnderWine", BM_DecodeAndCheckUnderWine}}) {
    benchmark::RegisterBenchmark(b.name, b.run)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(10)
        ->Repetitions(kRepetitions)
        ->ReportAggregatesOnly(false);
  }
  for (const Named& b : {Named{"BM_HeadlessInstallProcess", BM_HeadlessInstallProcess},
                         Named{"BM_EmptyRunProcess", BM_EmptyRunProcess}}) {
    benchmark::RegisterBenchmark(b.name, b.run)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3)
        ->Repetitions(3);
  }

  std::vector<char*> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  worker->ask("clean\t" + kRoot);

  const double install = reporter.median("BM_InstallUnderWine");
  const double plain = reporter.median("BM_PlainWriteUnderWine");
  const double decode = reporter.median("BM_DecodeUnderWine");
  const double check = reporter.median("BM_DecodeAndCheckUnderWine");
  std::printf("\nmedians: install %.1f ms, plain write %.1f ms, decode alone %.1f ms\n", install,
              plain, decode);
  if (check > 0 && decode > 0) {
    std::printf("ratio BM_DecodeAndCheckUnderWine / BM_DecodeUnderWine = %.2f (medians)\n",
                check / decode);
  }
  if (install > 0 && plain > 0) {
    std::printf("ratio BM_InstallUnderWine / BM_PlainWriteUnderWine = %.2f (medians)\n",
                install / plain);
  }
  const auto printPaired = [](std::vector<double>& ratios, const char* what) {
    if (ratios.empty()) return;
    std::sort(ratios.begin(), ratios.end());
    std::printf("ratio %s = %.2f (median of %zu back-to-back pairs; quartiles %.2f and %.2f)\n",
                what, ratios[ratios.size() / 2], ratios.size(), ratios[ratios.size() / 4],
                ratios[ratios.size() * 3 / 4]);
  };
  printPaired(pairedRatios, "BM_InstallUnderWine / BM_PlainWriteUnderWine");
  const double reinstall = reporter.median("BM_ReinstallUnderWine");
  const double rewrite = reporter.median("BM_PlainRewriteUnderWine");
  if (reinstall > 0 && rewrite > 0) {
    std::printf(
        "over the same files: install %.1f ms, plain write %.1f ms, ratio "
        "BM_ReinstallUnderWine / BM_PlainRewriteUnderWine = %.2f (medians)\n",
        reinstall, rewrite, reinstall / rewrite);
  }
  printPaired(pairedRepeatRatios, "BM_ReinstallUnderWine / BM_PlainRewriteUnderWine");
  const double installRss = reporter.counter("BM_HeadlessInstallProcess peak_rss_MB");
  const double emptyRss = reporter.counter("BM_EmptyRunProcess peak_rss_MB");
  if (installRss > 0 && emptyRss > 0) {
    std::printf(
        "peak resident set: headless install %.1f MB, empty run %.1f MB, difference %.1f MB\n",
        installRss, emptyRss, installRss - emptyRss);
  }
  std::printf("peak heap inside the install: %.2f MB\n",
              reporter.counter("BM_InstallUnderWine heap_peak_MB"));
  benchmark::Shutdown();
  return 0;
}

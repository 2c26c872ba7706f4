#pragma once
// What the benchmark programs of Qt controls share: the seconds measured, by name, for the
// summary after the run, and the run itself under an offscreen application.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <map>
#include <string>

inline std::map<std::string, double>& Results() {
  static std::map<std::string, double> r;
  return r;
}

// Runs the registered benchmarks with a Qt application on the offscreen platform.
inline void RunQtBenchmarks(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication qapp(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}

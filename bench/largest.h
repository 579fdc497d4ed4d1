// What both windows' benchmarks share: the largest DRM a session can hold,
// and the clock they report against.
#pragma once

#include <functional>
#include <string>

namespace zantrel::bench {

constexpr int Pictures = 999;
constexpr int Icons = 2000;

// Writes a raw code-group image whose DRM holds 2,999 items (999 pictures,
// 2,000 GIF and BMP icons).
void PrepareLargest(const std::string& path);

// Seconds from the process's start: bench/run.sh passes the time it started
// it (seconds since the epoch) in ZANTREL_BENCH_START, so loading counts too.
double Seconds();

// A window benchmark's command line: "prepare FILE" writes the largest DRM,
// "run" times the window (run's exit status); 2 for any other, 1 for an
// exception, said on the standard error under name.
int WindowBenchMain(int argc, char** argv, const char* name, const std::function<int()>& run);

} // namespace zantrel::bench

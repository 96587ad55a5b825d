// Message formatting and path joining, the foundation's hot helpers.
#include <benchmark/benchmark.h>

#include "foundation/format.h"
#include "foundation/path.h"

namespace CV {
namespace {

void FormatCounterLabel(benchmark::State& state) {
  int n = 0;
  for (auto _ : state) benchmark::DoNotOptimize(Format(u"%5i", ++n));
}
BENCHMARK(FormatCounterLabel);

void FormatAttachmentName(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Format(u"%s(%d)%s", u"Bericht", 12, u".pdf"));
}
BENCHMARK(FormatAttachmentName);

void AppendWithDotDot(benchmark::State& state) {
  const FS::CPath base(u"\\\\?\\C:\\Users\\archiv\\AppData\\Local\\Temp\\CV.0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9");
  for (auto _ : state) {
    FS::CPath path = base;
    path.Append(u"bilder\\..\\Content.html");
    benchmark::DoNotOptimize(path.String());
  }
}
BENCHMARK(AppendWithDotDot);

}  // namespace
}  // namespace CV

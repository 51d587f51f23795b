// Classifying one frame: the filter does this on the graphics thread for every processed
// frame (up to about ten a second).

#include "hud_test_frames.h"

#include "statreader/hud_classifier.h"
#include "statreader/hud_classifier_internal.h"

#include <benchmark/benchmark.h>

using ostrelo::test::Rgb;
using ostrelo::test::TestFrame;

namespace {

// A textured world with the whole HUD: what a match looks like.
TestFrame matchFrame(int32_t width, int32_t height)
{
	TestFrame f(width, height, Rgb{0, 0, 0});
	ostrelo::test::drawMatchFrame(f, true);
	return f;
}

// No HUD and nothing to find: every template is searched.
TestFrame emptyFrame(int32_t width, int32_t height)
{
	TestFrame f(width, height, Rgb{0, 0, 0});
	ostrelo::test::drawWorld(f, true);
	return f;
}

void classify(benchmark::State &state, const TestFrame &f, int32_t expect)
{
	if (f.classify() != expect) {
		state.SkipWithError("the frame does not classify as intended");
		return;
	}
	for (auto _ : state)
		benchmark::DoNotOptimize(ostrelo::classifyHudState(f.data(), f.width(), f.height(), f.lineSize()));
}

void BM_ClassifyMatch1080p(benchmark::State &state)
{
	static const TestFrame f = matchFrame(1920, 1080);
	classify(state, f, ostrelo::kHudInMatch);
}

void BM_ClassifyMatch4K(benchmark::State &state)
{
	static const TestFrame f = matchFrame(3840, 2160);
	classify(state, f, ostrelo::kHudInMatch);
}

void BM_ClassifyNoHud1080p(benchmark::State &state)
{
	static const TestFrame f = emptyFrame(1920, 1080);
	classify(state, f, ostrelo::kHudUnknown);
}

void BM_ClassifierImage1080p(benchmark::State &state)
{
	static const TestFrame f = matchFrame(1920, 1080);
	for (auto _ : state)
		benchmark::DoNotOptimize(ostrelo::hud::classifierImage(f.view(), 4));
}

} // namespace

BENCHMARK(BM_ClassifyMatch1080p)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_ClassifyMatch4K)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_ClassifyNoHud1080p)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_ClassifierImage1080p)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

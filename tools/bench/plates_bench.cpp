#include "bar_drawing.h"
#include "plates/plates_reader.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

using namespace ostrelo;
using namespace platestest;

namespace {

// Two and a half plates in a 220 x 40 crop, as the Warzone preset cuts it at 1920 x 1080.
RgbaImage straightBar()
{
	return drawBar(threeCells(1, 1, 0.5));
}

void expectReading(benchmark::State &state, const StatReading &r)
{
	if (!r.ok || r.exactValue != 2.5f)
		state.SkipWithError("the bar did not read 2.5");
}

void BM_ReadPlatesStraight(benchmark::State &state)
{
	const RgbaImage bar = straightBar();
	expectReading(state, readPlates(bar.view(), std::nullopt, 0.f));
	for (auto _ : state)
		benchmark::DoNotOptimize(readPlates(bar.view(), std::nullopt, 0.f));
}
BENCHMARK(BM_ReadPlatesStraight);

void BM_ReadPlatesOutline(benchmark::State &state)
{
	// The bar drawn in perspective inside the same 220 x 40 crop, read through its corners.
	const PlatesOutline outline = {PointF{6, 12}, {214, 6}, {215, 31}, {5, 35}};
	const RgbaImage crop = inPerspective(straightBar(), outline, 220, 40);
	expectReading(state, readPlates(crop.view(), outline, 0.f));
	for (auto _ : state)
		benchmark::DoNotOptimize(readPlates(crop.view(), outline, 0.f));
}
BENCHMARK(BM_ReadPlatesOutline);

void BM_ReadPlatesAngle(benchmark::State &state)
{
	// The bar turned 6 degrees counter-clockwise within the crop, read with the angle 6.
	const RgbaImage crop = turned(straightBar(), -6.0, 220, 40);
	expectReading(state, readPlates(crop.view(), std::nullopt, 6.f));
	for (auto _ : state)
		benchmark::DoNotOptimize(readPlates(crop.view(), std::nullopt, 6.f));
}
BENCHMARK(BM_ReadPlatesAngle);

void BM_ReadPlates2160p(benchmark::State &state)
{
	// The bar as a 2160p capture shows it: cells of 124 columns, 20 rows high.
	const RgbaImage bar = drawBar(hudBar(124, 8, 20, 2.5));
	expectReading(state, readPlates(bar.view(), std::nullopt, 0.f));
	for (auto _ : state)
		benchmark::DoNotOptimize(readPlates(bar.view(), std::nullopt, 0.f));
}
BENCHMARK(BM_ReadPlates2160p);

void BM_ReadPlates2160pOutline(benchmark::State &state)
{
	// The same bar read through its four corners, which allows for perspective.
	const RgbaImage bar = drawBar(hudBar(124, 8, 20, 2.5));
	const PlatesOutline outline = {PointF{0, 0},
				       {float(bar.width - 1), 0},
				       {float(bar.width - 1), float(bar.height - 1)},
				       {0, float(bar.height - 1)}};
	expectReading(state, readPlates(bar.view(), outline, 0.f));
	for (auto _ : state)
		benchmark::DoNotOptimize(readPlates(bar.view(), outline, 0.f));
}
BENCHMARK(BM_ReadPlates2160pOutline);

} // namespace

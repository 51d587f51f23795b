// Usage: tests/support/with-display.sh bench_filter_render [frames]
// Renders a 1920x1080 HUD image source paced at 30 frames a second, once with the stat reader
// on it and once without, and prints render-call times. Every sixth call or so the filter
// also maps a staged frame and processes it; those calls show in the upper percentiles. Then
// prints what the filter asked of the GPU over the calls, from its own counts (exact, unlike
// the times under a software renderer).

#include "statreader/stat_reader_filter.h"
#include "tests/support/obs_harness.h"
#include "tools/hudframes/hud_frame.h"

#include <gtest/gtest.h>
#include <obs.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace ostrelo;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<double> timeRenders(obs_source_t *source, int frames)
{
	std::vector<double> micros;
	obs_enter_graphics();
	gs_texrender_t *target = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
	obs_leave_graphics();
	for (int i = 0; i < frames; ++i) {
		const auto pace = Clock::now() + std::chrono::milliseconds(33);
		obs_enter_graphics();
		gs_texrender_reset(target);
		const auto start = Clock::now();
		if (gs_texrender_begin(target, 1920, 1080)) {
			gs_ortho(0.0f, 1920.0f, 0.0f, 1080.0f, -100.0f, 100.0f);
			obs_source_video_render(source);
			gs_texrender_end(target);
		}
		gs_flush();
		micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
		obs_leave_graphics();
		test::pumpEvents(std::chrono::milliseconds(1));
		std::this_thread::sleep_until(pace);
	}
	obs_enter_graphics();
	gs_texrender_destroy(target);
	obs_leave_graphics();
	return micros;
}

void report(const char *name, std::vector<double> v)
{
	std::sort(v.begin(), v.end());
	auto at = [&](double q) { return v[std::min(v.size() - 1, size_t(q * double(v.size())))]; };
	std::printf("%-16s n=%zu median=%.0f us p90=%.0f us p99=%.0f us max=%.0f us\n", name, v.size(), at(0.5),
		    at(0.9), at(0.99), v.back());
}

} // namespace

TEST(FilterRenderCost, WithAndWithoutTheFilter)
{
	const int frames = 300;
	hudframes::HudFrame hf;
	hf.kills = 5;
	hf.playersLeft = 97;
	hf.teamsLeft = 38;
	hf.plates = 2.5;
	const QImage image = hudframes::renderHudFrame(hf);
	const std::string file = test::writePng("bench-hud", image.width(), image.height(), image.constBits());

	OBSDataAutoRelease s = obs_data_create();
	obs_data_set_string(s, "file", file.c_str());
	OBSSourceAutoRelease plain = obs_source_create("image_source", "plain", s, nullptr);
	OBSSourceAutoRelease filtered = obs_source_create("image_source", "filtered", s, nullptr);
	OBSSourceAutoRelease filter = obs_source_create_private("vexmoor_stat_reader", "reader", nullptr);
	obs_source_filter_add(filtered, filter);

	report("without filter", timeRenders(plain, frames));
	report("with filter", timeRenders(filtered, frames));
	const CaptureCounts &n = static_cast<FilterRef *>(obs_obj_get_data(filter))->get()->capture.counts;
	std::printf("%llu render calls: %llu drawn straight through, %llu texture renderer passes, %llu stagings, "
		    "%llu maps, %llu unmaps, %llu frames processed, %llu snapshot copies\n",
		    (unsigned long long)n.renderCalls, (unsigned long long)n.passThroughs,
		    (unsigned long long)n.texrenderPasses, (unsigned long long)n.stagings, (unsigned long long)n.maps,
		    (unsigned long long)n.unmaps, (unsigned long long)n.processed,
		    (unsigned long long)n.snapshotCopies);
	obs_source_filter_remove(filtered, filter);
}

// The filter's render path in headless libobs, one render call at a time: what each call asks
// of the GPU, what it draws, and when the frame reaches the alignment window.

#include "align/vx_align_view.h"
#include "filter_test_support.h"
#include "render_calls.h"
#include "statreader/hud_classifier.h"
#include "tests/support/obs_harness.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <memory>
#include <new>

using namespace ostrelo;
using namespace ostrelo::test;
using namespace std::chrono_literals;

namespace {

// The module is a library of its own with its own copy of the window's meta-object, so the
// window is found by class name rather than by qobject_cast.
QWidget *openAlignWindow()
{
	for (QWidget *w : QApplication::topLevelWidgets())
		if (w->inherits("VxAlignWindow") && w->isVisible())
			return w;
	return nullptr;
}

// What one render call asked of the GPU, from the capture's counts before and after it.
struct CallWork {
	uint64_t passThroughs, texrenderPasses, stagings, maps, unmaps;
};

CallWork countsNow(const CaptureCounts &c)
{
	return {c.passThroughs, c.texrenderPasses, c.stagings, c.maps, c.unmaps};
}

CallWork operator-(const CallWork &a, const CallWork &b)
{
	return {a.passThroughs - b.passThroughs, a.texrenderPasses - b.texrenderPasses, a.stagings - b.stagings,
		a.maps - b.maps, a.unmaps - b.unmaps};
}

// Renders the filtered and the unfiltered source call by call, with a pause of more than the
// capture spacing before the calls listed, and checks every call: the output is the
// unfiltered output, drawn straight through once; a texture of the filter's own only on the
// calls that stage; every staged frame mapped (and unmapped) on the next call. Returns the
// work of each call.
std::vector<CallWork> renderAndCompare(const SourceWithReader &filtered, const SourceWithReader &plain, int width,
				       int height, int callCount, std::initializer_list<int> pausesBefore)
{
	RenderCalls calls(width, height);
	std::vector<CallWork> work;
	std::vector<uint8_t> out, expected;
	for (int i = 0; i < callCount; ++i) {
		if (std::find(pausesBefore.begin(), pausesBefore.end(), i) != pausesBefore.end())
			pumpEvents(250ms);
		const CallWork before = countsNow(filtered.counts());
		EXPECT_TRUE(calls.render(filtered.source, out));
		work.push_back(countsNow(filtered.counts()) - before);
		EXPECT_TRUE(calls.render(plain.source, expected));
		const long at = firstDifference(out, expected);
		EXPECT_EQ(at, -1) << "call " << i << ": pixel " << at / 4 << " channel " << at % 4 << " is "
				  << int(out[size_t(std::max(at, 0L))]) << ", without the filter "
				  << int(expected[size_t(std::max(at, 0L))]);
		const CallWork &w = work.back();
		EXPECT_EQ(w.passThroughs, 1u) << "call " << i << " draws the input once";
		EXPECT_EQ(w.texrenderPasses, w.stagings) << "call " << i;
		EXPECT_EQ(w.maps, w.unmaps) << "call " << i;
		if (i > 0) {
			EXPECT_EQ(w.maps, work[size_t(i) - 1].stagings) << "call " << i;
		}
	}
	return work;
}

} // namespace

TEST(StatReaderRender, OnlyCallsThatStageUseATextureOfTheirOwn)
{
	ASSERT_TRUE(obsReady());
	hudframes::HudFrame hud;
	hud.width = 640;
	hud.height = 360;
	const std::string file = hudPng("render-opaque", hud);
	SourceWithReader filtered("render-opaque-filtered", file, true);
	SourceWithReader plain("render-opaque-plain", file, false);

	const std::vector<CallWork> work = renderAndCompare(filtered, plain, 640, 360, 14, {7});
	// A pair of frames staged at the start and after the pause (more only if a call was held
	// up for 200 ms), and no texture of the filter's own on the calls between.
	uint64_t stagings = 0, passThroughs = 0, texrenderPasses = 0;
	for (const CallWork &w : work) {
		stagings += w.stagings;
		passThroughs += w.passThroughs;
		texrenderPasses += w.texrenderPasses;
	}
	EXPECT_GE(stagings, 4u);
	EXPECT_LE(stagings, 8u);
	EXPECT_EQ(texrenderPasses, stagings);
	EXPECT_EQ(passThroughs, 14u) << "the input drawn straight through on every call";
}

namespace {

// Three bands of alpha 0, 128 and 255 over a colour gradient.
std::string translucentBandsPng(int width, int height)
{
	std::vector<unsigned char> bands(size_t(width) * height * 4);
	for (int y = 0; y < height; ++y)
		for (int x = 0; x < width; ++x) {
			unsigned char *p = &bands[(size_t(y) * width + size_t(x)) * 4];
			p[0] = uint8_t(x * 255 / (width - 1));
			p[1] = uint8_t(y * 255 / (height - 1));
			p[2] = 200;
			p[3] = x < width / 3 ? 0 : x < 2 * width / 3 ? 128 : 255;
		}
	return writePng("render-translucent", width, height, bands.data());
}

// Readers that note the first pixel of every frame processing receives.
class FirstPixelReaders : public StatReaders {
public:
	std::vector<std::array<uint8_t, 4>> seen;
	int32_t classify(const FrameView &f) override
	{
		seen.push_back({f.data[0], f.data[1], f.data[2], f.data[3]});
		return kHudUnknown;
	}
	StatReading readDigitStat(const RgbaImage &, std::string_view, bool) override { return {}; }
	StatReading readPlates(const RgbaImage &, const std::optional<PlatesOutline> &, float) override { return {}; }
	StatReading readCardNumber(const RgbaImage &, std::string_view) override { return {}; }
};

} // namespace

TEST(StatReaderRender, TranslucentSourceLooksAsWithoutTheFilter)
{
	ASSERT_TRUE(obsReady());
	// An image in three bands of alpha 0, 128 and 255, and colour sources of those alphas.
	const int width = 384, height = 96;
	const std::string file = translucentBandsPng(width, height);
	const struct {
		const char *what;
		int alpha; // of a colour source; -1 for the image
	} cases[] = {{"image of alpha 0, 128 and 255", -1},
		     {"colour of alpha 0", 0},
		     {"colour of alpha 128", 128},
		     {"colour of alpha 255", 255}};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.what);
		OBSDataAutoRelease settings = obs_data_create();
		const char *id = "image_source";
		if (c.alpha < 0) {
			obs_data_set_string(settings, "file", file.c_str());
		} else {
			id = "color_source_v3";
			obs_data_set_int(settings, "color", uint32_t(c.alpha) << 24 | 0x30a0f0); // A B G R
			obs_data_set_int(settings, "width", width);
			obs_data_set_int(settings, "height", height);
		}
		SourceWithReader filtered(id, std::string("translucent ") + c.what, settings, true);
		SourceWithReader plain(id, std::string("plain ") + c.what, settings, false);
		auto readers = std::make_unique<FirstPixelReaders>();
		FirstPixelReaders *seen = readers.get();
		filtered.instance().shared.with(
			[&](StatReaderState &) { filtered.instance().readers = std::move(readers); });

		const std::vector<CallWork> work = renderAndCompare(filtered, plain, width, height, 10, {5});
		uint64_t stagings = 0;
		for (const CallWork &w : work)
			stagings += w.stagings;
		EXPECT_GE(stagings, 4u) << "the comparison covered calls that stage";
		// Processing receives the source's own pixels: its colour, not darkened by its alpha.
		ASSERT_FALSE(seen->seen.empty());
		if (c.alpha > 0) {
			const std::array<uint8_t, 4> px = seen->seen.back();
			EXPECT_EQ(px[3], c.alpha);
			EXPECT_NEAR(px[0], 0xf0, 1);
			EXPECT_NEAR(px[1], 0xa0, 1);
			EXPECT_NEAR(px[2], 0x30, 1);
		}
	}
}

namespace {

// Readers whose first frames fail as processing does when an allocation fails.
class FailingReaders : public StatReaders {
public:
	int failuresLeft;
	int processed = 0;
	explicit FailingReaders(int failures) : failuresLeft(failures) {}
	int32_t classify(const FrameView &) override
	{
		if (failuresLeft > 0) {
			--failuresLeft;
			throw std::bad_alloc();
		}
		++processed;
		return kHudUnknown;
	}
	StatReading readDigitStat(const RgbaImage &, std::string_view, bool) override { return {}; }
	StatReading readPlates(const RgbaImage &, const std::optional<PlatesOutline> &, float) override { return {}; }
	StatReading readCardNumber(const RgbaImage &, std::string_view) override { return {}; }
};

} // namespace

TEST(StatReaderRender, FailedProcessingUnmapsTheFrameAndDrawsOnce)
{
	ASSERT_TRUE(obsReady());
	// Translucent, so that the input drawn twice would show.
	const std::string file = translucentBandsPng(384, 96);
	SourceWithReader filtered("failing-filtered", file, true);
	SourceWithReader plain("failing-plain", file, false);
	auto readers = std::make_unique<FailingReaders>(2);
	FailingReaders *failing = readers.get();
	filtered.instance().shared.with([&](StatReaderState &) { filtered.instance().readers = std::move(readers); });

	// Every call: drawn once, as without the filter; every mapped frame unmapped.
	renderAndCompare(filtered, plain, 384, 96, 10, {5});
	EXPECT_EQ(failing->failuresLeft, 0);
	EXPECT_GE(failing->processed, 2) << "the frames after the failed ones are processed";
}

TEST(StatReaderRender, AlignWindowGetsTheCurrentFrameWithinTwoRenderCalls)
{
	ASSERT_TRUE(obsReady());
	const std::string red = solidPng("snapshot-red", 320, 180, 0xd02020ff);
	const std::string blue = solidPng("snapshot-blue", 320, 180, 0x2020d0ff);
	SourceWithReader scene("snapshot", red, true);
	RenderCalls calls(320, 180);
	std::vector<uint8_t> out;
	const CaptureCounts &counts = scene.counts();

	// Processing alone copies nothing.
	for (int i = 0; i < 4; ++i)
		ASSERT_TRUE(calls.render(scene.source, out));
	EXPECT_GE(counts.processed.load(), 1u);
	EXPECT_EQ(counts.snapshotCopies.load(), 0u);

	obs_properties_t *props = obs_source_properties(scene.filter);
	obs_property_button_clicked(obs_properties_get(props, "align"), scene.filter);
	obs_properties_destroy(props);
	pumpEvents(50ms);
	QWidget *window = openAlignWindow();
	ASSERT_NE(window, nullptr);
	const auto *view = static_cast<const VxAlignView *>(window->findChild<QWidget *>("view"));
	ASSERT_NE(view, nullptr);

	// Render calls until the window shows the colour; how many it took.
	const auto callsUntilShown = [&](QColor colour) {
		for (int used = 0; used < 6; ++used) {
			const QImage &shown = view->snapshot();
			if (!shown.isNull() && shown.pixelColor(10, 10) == colour)
				return used;
			EXPECT_TRUE(calls.render(scene.source, out));
			pumpEvents(20ms); // the hand-off is a queued call to this (the UI) thread
		}
		return 99;
	};
	EXPECT_LE(callsUntilShown(QColor(0xd0, 0x20, 0x20)), 2) << "after opening";
	EXPECT_EQ(counts.snapshotCopies.load(), 1u);

	// A new picture is processed, but copied only when the window asks for it. (The image
	// source takes its new file on a tick of the graphics thread.)
	scene.show(blue);
	const uint64_t processed = counts.processed;
	ASSERT_TRUE(waitFor(
		[&] { return calls.render(scene.source, out) && out[2] == 0xd0 && counts.processed > processed + 1; },
		5s));
	EXPECT_EQ(counts.snapshotCopies.load(), 1u);
	QPushButton *refresh = window->findChild<QPushButton *>("refreshButton");
	ASSERT_NE(refresh, nullptr);
	refresh->click();
	EXPECT_LE(callsUntilShown(QColor(0x20, 0x20, 0xd0)), 2) << "after refreshing";
	EXPECT_EQ(counts.snapshotCopies.load(), 2u);
	window->close();
	pumpEvents(50ms);
}

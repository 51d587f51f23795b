// The filter's render path in headless libobs, one render call at a time: what each call asks
// of the GPU, what it draws, and when the frame reaches the alignment window.

#include "align/vx_align_view.h"
#include "filter_test_support.h"
#include "render_calls.h"
#include "tests/support/obs_harness.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

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

} // namespace

TEST(StatReaderRender, AlignWindowGetsTheCurrentFrameWithinTwoRenderCalls)
{
	ASSERT_TRUE(obsReady());
	const std::string red = solidPng("snapshot-red", 320, 180, 0xd02020ff);
	const std::string blue = solidPng("snapshot-blue", 320, 180, 0x2020d0ff);
	ImageWithReader scene("snapshot", red, true);
	RenderCalls calls(320, 180);
	std::vector<uint8_t> out;
	const CaptureCounts &counts = scene.counts();

	// Processing alone copies nothing.
	for (int i = 0; i < 4; ++i)
		ASSERT_TRUE(calls.render(scene.image, out));
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
			EXPECT_TRUE(calls.render(scene.image, out));
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
		[&] { return calls.render(scene.image, out) && out[2] == 0xd0 && counts.processed > processed + 1; },
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

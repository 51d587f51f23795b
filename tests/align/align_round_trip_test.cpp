// The whole road in real libobs: a filter on an image source showing a synthetic HUD frame,
// its "Align regions…" button, the snapshot it hands to the window, a box drawn with the
// mouse, "Save regions", and the filter's settings and its update taking the new region.
//
// The window lives in the loaded module, which keeps its own copy of the align classes: the
// test reaches it only through Qt's own widgets and object names.

#include "align/view_mapping.h"
#include "statreader/stat_reader_filter.h"
#include "tests/support/obs_harness.h"
#include "tools/hudframes/hud_frame.h"

#include <gtest/gtest.h>
#include <obs.hpp>

#include <QApplication>
#include <QPointer>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <cstdlib>
#include <cstring>

using namespace ostrelo;

namespace {

QWidget *openAlignWindow()
{
	for (QWidget *w : QApplication::topLevelWidgets())
		if (w->isVisible() && std::strcmp(w->metaObject()->className(), "VxAlignWindow") == 0)
			return w;
	return nullptr;
}

std::string writeHudFrame(const char *name, int kills)
{
	hudframes::HudFrame f;
	f.kills = kills;
	f.wins = 4;
	const QImage image = hudframes::renderHudFrame(f);
	return test::writePng(name, image.width(), image.height(), image.constBits());
}

// The view draws the snapshot scaled to fit, centred, 4 pixels in from each side.
ViewMapping viewMapping(const QWidget *view, int sourceWidth, int sourceHeight)
{
	const QSize s =
		QSize(sourceWidth, sourceHeight).scaled(view->width() - 8, view->height() - 8, Qt::KeepAspectRatio);
	return ViewMapping{
		IntRect{(view->width() - s.width()) / 2, (view->height() - s.height()) / 2, s.width(), s.height()},
		sourceWidth, sourceHeight};
}

bool closeTo(const QColor &a, const QColor &b, int tolerance)
{
	return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
	       std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

TEST(AlignRoundTrip, ButtonSnapshotDrawSaveUpdate)
{
	ASSERT_TRUE(test::obsReady());
	const std::string first = writeHudFrame("align-round-trip-1", 12);
	const std::string second = writeHudFrame("align-round-trip-2", 87);
	ASSERT_FALSE(first.empty());
	OBSDataAutoRelease imageSettings = obs_data_create();
	obs_data_set_string(imageSettings, "file", first.c_str());
	OBSSourceAutoRelease image =
		obs_source_create("image_source", "align-round-trip-image", imageSettings, nullptr);
	ASSERT_NE(image.Get(), nullptr);
	OBSSourceAutoRelease filter = obs_source_create_private("vexmoor_stat_reader", "align-round-trip", nullptr);
	ASSERT_NE(filter.Get(), nullptr);
	obs_source_filter_add(image, filter);
	obs_set_output_source(0, image);
	auto *f = static_cast<std::shared_ptr<StatReaderFilter> *>(obs_obj_get_data(filter))->get();
	// The filter has processed a frame of the picture before the window opens.
	ASSERT_TRUE(test::waitFor([&] { return f->processedSize.load() == (uint64_t(1920) << 32 | 1080); },
				  std::chrono::seconds(10)));

	obs_properties_t *props = obs_source_properties(filter);
	obs_property_t *align = obs_properties_get(props, "align");
	ASSERT_NE(align, nullptr);
	EXPECT_STREQ(obs_property_description(align), "Align regions\xE2\x80\xA6");
	obs_property_button_clicked(align, filter);
	obs_properties_destroy(props);
	ASSERT_TRUE(test::waitFor([] { return openAlignWindow() != nullptr; }, std::chrono::seconds(5)));
	QWidget *window = openAlignWindow();
	ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
	window->resize(1100, 700);
	QWidget *view = window->findChild<QWidget *>(QStringLiteral("view"));
	ASSERT_NE(view, nullptr);
	ASSERT_TRUE(test::waitFor([&] { return view->width() > 1000; }, std::chrono::seconds(2)));

	// The processed frame reached the view: around the kills counter it shows the frame's
	// digits (compared with the other frame's, which differ only there), and elsewhere the
	// frame's scene rather than the hint on an empty surface.
	const QImage firstFrame(QString::fromStdString(first));
	const QImage secondFrame(QString::fromStdString(second));
	auto viewShows = [&](const QImage &frame, const QImage &other) {
		const ViewMapping m = viewMapping(view, 1920, 1080);
		const QImage shot = view->grab().toImage();
		// Each widget pixel shows the source pixel under its centre.
		auto sourceOf = [&](int wx, int wy) {
			return QPoint(int((wx - m.image.x + 0.5) * 1920 / m.image.w),
				      int((wy - m.image.y + 0.5) * 1080 / m.image.h));
		};
		const IntPoint topLeft = m.pointToWidget(1823, 80), bottomRight = m.pointToWidget(1865, 102);
		long long toFrame = 0, toOther = 0;
		for (int y = topLeft.y; y < bottomRight.y; ++y)
			for (int x = topLeft.x; x < bottomRight.x; ++x) {
				const int v = shot.pixelColor(x, y).green();
				toFrame += std::abs(v - frame.pixelColor(sourceOf(x, y)).green());
				toOther += std::abs(v - other.pixelColor(sourceOf(x, y)).green());
			}
		const IntPoint centre = m.pointToWidget(960, 540);
		return toFrame * 4 < toOther &&
		       closeTo(shot.pixelColor(centre.x, centre.y), frame.pixelColor(960, 540), 30);
	};
	EXPECT_TRUE(test::waitFor([&] { return viewShows(firstFrame, secondFrame); }, std::chrono::seconds(5)));

	// "Refresh snapshot" fetches a fresh frame: the picture changes, the view follows.
	obs_data_set_string(imageSettings, "file", second.c_str());
	obs_source_update(image, imageSettings);
	// The filter keeps processing frames but copies none for the window unless asked; once the
	// source shows the new picture, ask for it.
	auto sourceShows = [&](const QImage &frame) {
		std::vector<unsigned char> rgba;
		if (!test::renderOutput(image, 1920, 1080, rgba))
			return false;
		long long diff = 0;
		for (int y = 80; y < 102; ++y)
			for (int x = 1823; x < 1865; ++x)
				diff += std::abs(rgba[(size_t(y) * 1920 + size_t(x)) * 4 + 1] -
						 frame.pixelColor(x, y).green());
		return diff < 42 * 22 * 4;
	};
	ASSERT_TRUE(test::waitFor([&] { return sourceShows(secondFrame); }, std::chrono::seconds(10)));
	EXPECT_FALSE(viewShows(secondFrame, firstFrame)) << "the window shows a still, not a live view";
	QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("refreshButton")), Qt::LeftButton);
	EXPECT_TRUE(test::waitFor([&] { return viewShows(secondFrame, firstFrame); }, std::chrono::seconds(10)));

	// Draw a box around the wins counter.
	auto *stats = window->findChild<QComboBox *>(QStringLiteral("statList"));
	ASSERT_NE(stats, nullptr);
	stats->setCurrentIndex(stats->findText(QStringLiteral("Wins")));
	const ViewMapping m = viewMapping(view, 1920, 1080);
	const IntPoint from = m.pointToWidget(1765, 112), to = m.pointToWidget(1826, 146);
	QTest::mousePress(view, Qt::LeftButton, {}, QPoint(from.x, from.y));
	QTest::mouseMove(view, QPoint(to.x, to.y));
	QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(to.x, to.y));
	const auto drawn = m.rubberBandToSource(IntRect{from.x, from.y, to.x - from.x + 1, to.y - from.y + 1});
	ASSERT_TRUE(drawn.has_value());
	auto value = [&](const char *name) {
		return window->findChild<QSpinBox *>(QString::fromLatin1(name))->value();
	};
	EXPECT_EQ(value("x"), drawn->x);
	EXPECT_EQ(value("y"), drawn->y);
	EXPECT_EQ(value("w"), drawn->w);
	EXPECT_EQ(value("h"), drawn->h);

	QPointer<QWidget> alive(window);
	QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("saveButton")), Qt::LeftButton);
	EXPECT_TRUE(test::waitFor([&] { return alive.isNull(); }, std::chrono::seconds(2))) << "saved and closed";

	OBSDataAutoRelease settings = obs_source_get_settings(filter);
	EXPECT_EQ(obs_data_get_int(settings, "wins_x"), drawn->x);
	EXPECT_EQ(obs_data_get_int(settings, "wins_y"), drawn->y);
	EXPECT_EQ(obs_data_get_int(settings, "wins_w"), drawn->w);
	EXPECT_EQ(obs_data_get_int(settings, "wins_h"), drawn->h);
	EXPECT_FALSE(obs_data_get_bool(settings, "use_wz_preset"));
	EXPECT_TRUE(test::waitFor(
		[&] {
			return f->shared.with([&](StatReaderState &s) {
				return s.config.regions[kStatWins] == *drawn && !s.config.usePreset;
			});
		},
		std::chrono::seconds(5)));

	obs_set_output_source(0, nullptr);
	obs_source_filter_remove(image, filter);
}

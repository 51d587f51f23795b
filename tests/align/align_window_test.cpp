// The align dialog on a real filter in headless libobs: its controls, their reactions, the
// preset, saving, the preview reads on a synthetic HUD frame, and screenshots of it.

#include "align/vx_align_view.h"
#include "align/vx_align_window.h"
#include "align_obs_support.h"
#include "tests/support/obs_harness.h"
#include "tools/hudframes/hud_frame.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <limits>
#include <memory>

using namespace ostrelo;
using aligntest::FilterOnSource;
using aligntest::rgbaBytes;
using aligntest::storedRegion;

namespace {

const QString kGeneralHelp = QString::fromUtf8(
	"This window shows a still snapshot, not a live view, so OBS does not lose frames. Pick a stat, then draw the "
	"box tightly around the number only. Click Refresh snapshot to grab a new frame. Coordinates are in source "
	"pixels. The filter itself does not draw on your stream.");
const QString kPlatesHelp = QString::fromUtf8(
	"This window shows a still snapshot, not a live view, so OBS does not lose frames. For plates, turn on "
	"4-corner "
	"mode and click the four corners of the armor bar, starting at the top-left, then clockwise — handles stay "
	"draggable — or draw a box and use the rotate slider (-30° to +30°). Click Refresh snapshot to grab a new "
	"frame. The filter itself does not draw on your stream.");

// The window as the filter opens it: top-level, deleted on close, shown.
class OpenWindow {
public:
	explicit OpenWindow(obs_source_t *filter) : window_(new VxAlignWindow(filter))
	{
		window_->setAttribute(Qt::WA_DeleteOnClose);
		window_->show();
		EXPECT_TRUE(QTest::qWaitForWindowExposed(window_));
	}
	~OpenWindow() { delete window_.data(); }
	OpenWindow(const OpenWindow &) = delete;
	OpenWindow &operator=(const OpenWindow &) = delete;

	VxAlignWindow *operator->() const { return window_; }
	VxAlignWindow *get() const { return window_; }
	bool alive() const { return !window_.isNull(); }

	template <class T>
	T *child(const char *name) const
	{
		T *w = window_->findChild<T *>(QString::fromLatin1(name));
		EXPECT_NE(w, nullptr) << name;
		return w;
	}
	VxAlignView *view() const { return child<VxAlignView>("view"); }
	QComboBox *stats() const { return child<QComboBox>("statList"); }
	QLabel *help() const { return child<QLabel>("help"); }
	QCheckBox *corners() const { return child<QCheckBox>("cornerBox"); }
	QSlider *slider() const { return child<QSlider>("rotateSlider"); }
	QLabel *rotate() const { return child<QLabel>("rotateLabel"); }
	QSpinBox *field(const char *name) const { return child<QSpinBox>(name); }
	void click(const char *button) const { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
	AlignRegion &region(const std::string &key) const
	{
		for (AlignRegion &r : view()->regions())
			if (r.key == key)
				return r;
		throw std::out_of_range(key);
	}
	void choose(const char *label) const
	{
		const int index = stats()->findText(QString::fromUtf8(label));
		ASSERT_GE(index, 0) << label;
		stats()->setCurrentIndex(index);
	}
	std::vector<int> fields() const
	{
		return {field("x")->value(), field("y")->value(), field("w")->value(), field("h")->value()};
	}
	bool platesControlsShown() const
	{
		return corners()->isVisible() && slider()->isVisible() && rotate()->isVisible();
	}
	bool platesControlsHidden() const
	{
		return corners()->isHidden() && slider()->isHidden() && rotate()->isHidden();
	}

private:
	QPointer<VxAlignWindow> window_;
};

QImage hudFrame(int kills = 7, int players = 150, int teams = 50, int wins = 3, double plates = 2.0)
{
	hudframes::HudFrame f;
	f.kills = kills;
	f.playersLeft = players;
	f.teamsLeft = teams;
	f.wins = wins;
	f.plates = plates;
	return hudframes::renderHudFrame(f);
}

void setSnapshot(VxAlignWindow *window, const QImage &image)
{
	window->setSnapshot(image.width(), image.height(), rgbaBytes(image));
}

FilterOnSource *newFilter(std::initializer_list<std::pair<const char *, long long>> ints = {},
			  std::initializer_list<std::pair<const char *, double>> doubles = {})
{
	OBSDataAutoRelease s = obs_data_create();
	for (const auto &[k, v] : ints)
		obs_data_set_int(s, k, v);
	for (const auto &[k, v] : doubles)
		obs_data_set_double(s, k, v);
	return new FilterOnSource(s);
}

TEST(AlignWindow, ShowsTheFiltersRegionsAndReturnSaves)
{
	ASSERT_TRUE(test::obsReady());
	std::unique_ptr<FilterOnSource> f(newFilter({{"kills_x", 1800},
						     {"kills_y", 70},
						     {"kills_w", 60},
						     {"kills_h", 30},
						     {"wins_x", 1770},
						     {"wins_w", 46}}));
	OpenWindow w(f->filter());
	EXPECT_EQ(w->parentWidget(), nullptr);
	// One entry per region of the filter's game, carrying its key; the first one is shown.
	QStringList keys;
	for (int i = 0; i < w.stats()->count(); ++i)
		keys << w.stats()->itemData(i).toString();
	EXPECT_EQ(keys, (QStringList{"kills", "players_left", "teams_left", "wins", "plates"}));
	EXPECT_EQ(w.fields(), (std::vector<int>{1800, 70, 60, 30}));
	EXPECT_EQ(w.help()->text(), kGeneralHelp);
	EXPECT_TRUE(w.platesControlsHidden());
	EXPECT_TRUE(w.view()->snapshot().isNull());

	w.choose("Wins");
	EXPECT_EQ(w.fields(), (std::vector<int>{1770, 0, 46, 0}));
	w.field("w")->setValue(100000);
	EXPECT_EQ(w.region("wins").box.w, 8192) << "typed sizes stop at the largest frame side";
	// Return presses the default button: save and close.
	QTest::keyClick(w.get(), Qt::Key_Return);
	EXPECT_EQ(storedRegion(f->settings(), "wins"), (std::vector<long long>{1770, 0, 8192, 0}));
	EXPECT_TRUE(test::waitFor([&] { return !w.alive(); }, std::chrono::seconds(2)));
}

TEST(AlignWindow, PlatesChoiceSwitchesTheModeControls)
{
	std::unique_ptr<FilterOnSource> f(newFilter());
	OpenWindow w(f->filter());
	w.choose("Plates");
	EXPECT_TRUE(w.corners()->isChecked()) << "Plates always starts in 4-corner mode";
	EXPECT_TRUE(w.view()->cornerMode());
	EXPECT_TRUE(w.platesControlsShown());
	EXPECT_EQ(w.help()->text(), kPlatesHelp);
	EXPECT_EQ(w.view()->current(), 4);

	w.corners()->setChecked(false);
	EXPECT_FALSE(w.view()->cornerMode());

	w.choose("Kills");
	EXPECT_TRUE(w.platesControlsHidden());
	EXPECT_EQ(w.help()->text(), kGeneralHelp);
	EXPECT_FALSE(w.view()->cornerMode());
	EXPECT_EQ(w.view()->current(), 0);

	w.choose("Plates");
	EXPECT_TRUE(w.corners()->isChecked()) << "ticked again after it was turned off";
	EXPECT_TRUE(w.view()->cornerMode());
}

TEST(AlignWindow, SliderTurnsThePlatesBoxAndRereadsEveryPreview)
{
	std::unique_ptr<FilterOnSource> f(newFilter());
	OpenWindow w(f->filter());
	setSnapshot(w.get(), hudFrame());
	w.choose("Plates");
	for (AlignRegion &r : w.view()->regions())
		r.previewText = "stale";
	w.slider()->setValue(-15);
	EXPECT_EQ(w.rotate()->text(), QString::fromUtf8("Rotate -15°"));
	EXPECT_EQ(w.region("plates").angle, -15.0);
	for (const AlignRegion &r : w.view()->regions())
		EXPECT_NE(r.previewText, "stale") << r.key;
	EXPECT_EQ(w.region("kills").angle, 0.0);
}

TEST(AlignWindow, StoredAngleBeyondTheSliderIsShownLimited)
{
	struct Case {
		double stored;
		int shown;
	};
	const Case cases[] = {{45.0, 30},   {-90.0, -30}, {12.5, 13},
			      {-12.5, -13}, {1e300, 30},  {std::numeric_limits<double>::quiet_NaN(), 0}};
	for (const Case &c : cases) {
		std::unique_ptr<FilterOnSource> f(newFilter({}, {{"plates_angle", c.stored}}));
		OpenWindow w(f->filter());
		w.choose("Plates");
		EXPECT_EQ(w.slider()->value(), c.shown) << c.stored;
		EXPECT_EQ(w.rotate()->text(), QString::fromUtf8("Rotate %1°").arg(c.shown));
		if (c.stored == c.stored) {
			EXPECT_EQ(w.region("plates").angle, c.stored) << "kept until the slider moves";
		}
	}

	std::unique_ptr<FilterOnSource> f(newFilter({}, {{"plates_angle", 45.0}}));
	OpenWindow w(f->filter());
	w.click("saveButton");
	EXPECT_EQ(obs_data_get_double(f->settings(), "plates_angle"), 45.0);
}

TEST(AlignWindow, ClosingOtherwiseDiscardsTheEdits)
{
	std::unique_ptr<FilterOnSource> f(newFilter());
	OpenWindow w(f->filter());
	w.field("w")->setValue(77);
	QTest::keyClick(w.get(), Qt::Key_Escape);
	EXPECT_TRUE(test::waitFor([&] { return !w.alive(); }, std::chrono::seconds(2)));
	EXPECT_EQ(storedRegion(f->settings(), "kills"), (std::vector<long long>{0, 0, 0, 0}));
	EXPECT_FALSE(obs_data_has_user_value(f->settings(), "use_wz_preset"));
}

TEST(AlignWindow, PresetWaitsForASnapshot)
{
	std::unique_ptr<FilterOnSource> f(newFilter({{"kills_x", 5}, {"kills_w", 50}, {"kills_h", 20}}));
	obs_data_set_bool(f->settings(), "use_wz_preset", false);
	OpenWindow w(f->filter());
	w.click("presetButton");
	EXPECT_EQ(w.help()->text(),
		  QString::fromUtf8("Refresh the snapshot first, then apply the 16:9 Warzone preset."));
	EXPECT_EQ(w.region("kills").box, (StatRegion{5, 0, 50, 20}));
	EXPECT_FALSE(obs_data_get_bool(f->settings(), "use_wz_preset")) << "nothing saved";
	EXPECT_EQ(storedRegion(f->settings(), "kills"), (std::vector<long long>{5, 0, 50, 20}));
	EXPECT_TRUE(w.alive());
}

TEST(AlignWindow, PresetPlacesSavesAndStaysOpen)
{
	std::unique_ptr<FilterOnSource> f(newFilter({{"wins_x", 1770},
						     {"wins_y", 118},
						     {"wins_w", 46},
						     {"wins_h", 23},
						     {"plates_quad_n", 4},
						     {"plates_qx1", 300}},
						    {{"plates_angle", 12.0}}));
	obs_data_set_bool(f->settings(), "use_wz_preset", false);
	OpenWindow w(f->filter());
	setSnapshot(w.get(), hudFrame());
	w.click("presetButton");
	EXPECT_EQ(w.region("kills").box, (StatRegion{1823, 80, 42, 22}));
	EXPECT_EQ(w.region("plates").outlineCount, 0);
	EXPECT_EQ(w.region("plates").angle, 0.0);
	EXPECT_EQ(w.region("wins").box, (StatRegion{1770, 118, 46, 23}));
	EXPECT_EQ(w.fields(), (std::vector<int>{1823, 80, 42, 22})) << "fields follow the current region";
	EXPECT_EQ(w.help()->text(), QString::fromUtf8("Warzone 16:9 preset applied and saved. Tweak a box and Save "
						      "regions to keep a manual layout."));
	EXPECT_TRUE(obs_data_get_bool(f->settings(), "use_wz_preset"));
	EXPECT_EQ(storedRegion(f->settings(), "kills"), (std::vector<long long>{1823, 80, 42, 22}));
	EXPECT_EQ(storedRegion(f->settings(), "wins"), (std::vector<long long>{1770, 118, 46, 23}));
	EXPECT_EQ(obs_data_get_int(f->settings(), "plates_quad_n"), 0);
	EXPECT_EQ(obs_data_get_double(f->settings(), "plates_angle"), 0.0);
	EXPECT_EQ(obs_data_get_int(f->settings(), "plates_qx1"), 300) << "corner coordinates stay";
	EXPECT_TRUE(w.alive());
	EXPECT_TRUE(w->isVisible());
	w.choose("Plates"); // the message stays until the mode controls set the help again
	EXPECT_EQ(w.help()->text(), kPlatesHelp);
}

TEST(AlignWindow, PresetAfterTheFilterWentSaysItWasNotSaved)
{
	std::unique_ptr<FilterOnSource> f(newFilter());
	OpenWindow w(f->filter());
	setSnapshot(w.get(), hudFrame());
	f->remove();
	w.click("presetButton");
	EXPECT_EQ(w.region("kills").box, (StatRegion{1823, 80, 42, 22})) << "applied in the window";
	EXPECT_EQ(w.help()->text(), QString::fromUtf8("Warzone 16:9 preset applied here, but not saved: the Vexmoor "
						      "Stat Reader filter is gone."));
	EXPECT_EQ(storedRegion(f->settings(), "kills"), (std::vector<long long>{0, 0, 0, 0}));
	EXPECT_TRUE(w.alive());
}

TEST(AlignWindow, SaveWritesTheRegionsTurnsThePresetOffAndCloses)
{
	std::unique_ptr<FilterOnSource> f(newFilter());
	OpenWindow w(f->filter());
	QSignalSpy finished(w.get(), &QDialog::finished);
	w.field("x")->setValue(1700);
	w.field("y")->setValue(60);
	w.field("w")->setValue(80);
	w.field("h")->setValue(32);
	EXPECT_EQ(w.region("kills").box, (StatRegion{1700, 60, 80, 32}));
	EXPECT_TRUE(obs_data_get_bool(f->settings(), "use_wz_preset"));
	w.click("saveButton");
	EXPECT_EQ(storedRegion(f->settings(), "kills"), (std::vector<long long>{1700, 60, 80, 32}));
	EXPECT_TRUE(obs_data_has_user_value(f->settings(), "use_wz_preset"));
	EXPECT_FALSE(obs_data_get_bool(f->settings(), "use_wz_preset"));
	EXPECT_EQ(finished.count(), 1);
	EXPECT_EQ(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
	EXPECT_TRUE(test::waitFor([&] { return !w.alive(); }, std::chrono::seconds(2))) << "deleted on close";
}

TEST(AlignWindow, SaveAfterTheFilterWentWritesNothingAndCloses)
{
	std::unique_ptr<FilterOnSource> f(newFilter());
	OpenWindow w(f->filter());
	w.field("x")->setValue(1234);
	w.field("w")->setValue(50);
	f->remove();
	w.click("saveButton");
	EXPECT_EQ(storedRegion(f->settings(), "kills"), (std::vector<long long>{0, 0, 0, 0}));
	EXPECT_FALSE(obs_data_has_user_value(f->settings(), "use_wz_preset"));
	EXPECT_TRUE(test::waitFor([&] { return !w.alive(); }, std::chrono::seconds(2)));
}

TEST(AlignWindow, TypedCoordinatesLeaveACompleteOutline)
{
	std::unique_ptr<FilterOnSource> f(newFilter({{"plates_quad_n", 4},
						     {"plates_qx0", 70},
						     {"plates_qy0", 960},
						     {"plates_qx1", 290},
						     {"plates_qy1", 960},
						     {"plates_qx2", 290},
						     {"plates_qy2", 998},
						     {"plates_qx3", 70},
						     {"plates_qy3", 998},
						     {"plates_x", 70},
						     {"plates_y", 960},
						     {"plates_w", 220},
						     {"plates_h", 38}}));
	OpenWindow w(f->filter());
	setSnapshot(w.get(), hudFrame());
	w.choose("Plates");
	EXPECT_EQ(w.region("plates").previewText, "2");
	QSpinBox *width = w.field("w");
	width->setFocus();
	width->selectAll();
	QTest::keyClicks(width, "40");
	EXPECT_EQ(w.region("plates").box, (StatRegion{70, 960, 40, 38}));
	EXPECT_EQ(w.region("plates").outlineCount, 4);
	EXPECT_EQ(w.region("plates").points[2], (OutlinePoint{290, 998}));
	// The preview crops the typed box: the outline now reaches far outside the crop and reads
	// something else than the two plates of the full bar.
	EXPECT_NE(w.region("plates").previewText, "2");
}

TEST(AlignWindow, ClickingABoxFollowsItWithoutSwitchingTheMode)
{
	std::unique_ptr<FilterOnSource> f(
		newFilter({{"kills_x", 960}, {"kills_y", 540}, {"kills_w", 480}, {"kills_h", 240}}));
	OpenWindow w(f->filter());
	w->resize(1000, 700);
	setSnapshot(w.get(), hudFrame());
	w.choose("Plates");
	ASSERT_TRUE(w.platesControlsShown());
	VxAlignView *view = w.view();
	const QPoint inKills = view->sourceToWidget(StatRegion{960, 540, 480, 240}).center();
	QTest::mouseClick(view, Qt::LeftButton, {}, inKills);
	EXPECT_EQ(view->current(), 0);
	EXPECT_EQ(w.stats()->currentIndex(), 0);
	EXPECT_EQ(w.fields(), (std::vector<int>{960, 540, 480, 240}));
	EXPECT_TRUE(w.platesControlsShown()) << "only the stat list switches the mode controls";
	EXPECT_EQ(w.help()->text(), kPlatesHelp);
	EXPECT_FALSE(w.corners()->isChecked());
}

TEST(AlignWindow, ClearEmptiesTheCurrentRegionOnly)
{
	std::unique_ptr<FilterOnSource> f(
		newFilter({{"kills_x", 100}, {"kills_w", 50}, {"kills_h", 20}, {"wins_w", 40}}));
	OpenWindow w(f->filter());
	w.click("clearButton");
	EXPECT_EQ(w.region("kills").box, StatRegion{});
	EXPECT_EQ(w.fields(), (std::vector<int>{0, 0, 0, 0}));
	EXPECT_EQ(w.region("wins").box.w, 40);
	EXPECT_EQ(storedRegion(f->settings(), "kills"), (std::vector<long long>{100, 0, 50, 20})) << "not saved";
}

TEST(AlignWindow, RefreshAsksTheFilterForAFrame)
{
	std::unique_ptr<FilterOnSource> f(newFilter());
	OpenWindow w(f->filter());
	QSignalSpy requested(w.get(), &VxAlignWindow::snapshotRequested);
	w.click("refreshButton");
	w.click("refreshButton");
	EXPECT_EQ(requested.count(), 2);
}

TEST(AlignWindow, UnusableSnapshotsLeaveThePreviousOne)
{
	std::unique_ptr<FilterOnSource> f(newFilter());
	OpenWindow w(f->filter());
	const QImage frame = hudFrame();
	setSnapshot(w.get(), frame);
	ASSERT_EQ(w.view()->sourceWidth(), 1920);
	std::vector<uint8_t> small(size_t(64) * 48 * 4, 200);
	struct Case {
		const char *name;
		int width, height;
		size_t bytes;
	};
	const Case cases[] = {
		{"one byte short", 64, 48, small.size() - 1},
		{"zero width", 0, 48, small.size()},
		{"negative height", 64, -48, small.size()},
		{"byte count past 32 bits", 65536, 65536, small.size()},
		{"largest sides", INT32_MAX, INT32_MAX, small.size()},
	};
	for (const Case &c : cases) {
		w->setSnapshot(c.width, c.height, std::vector<uint8_t>(small.begin(), small.begin() + long(c.bytes)));
		EXPECT_EQ(w.view()->sourceWidth(), 1920) << c.name;
		EXPECT_EQ(w.view()->snapshot(), frame) << c.name;
	}
	w->setSnapshot(64, 48, small);
	EXPECT_EQ(w.view()->sourceWidth(), 64);
	EXPECT_EQ(w.view()->snapshot().pixelColor(63, 47), QColor(200, 200, 200, 200));
}

TEST(AlignWindow, PreviewShowsWhatTheHudReads)
{
	std::unique_ptr<FilterOnSource> f(
		newFilter({{"wins_x", 1773}, {"wins_y", 119}, {"wins_w", 45}, {"wins_h", 22}}));
	OpenWindow w(f->filter());
	// Counters the digit reader reads in the synthetic HUD font; it declines some others
	// (many 2s, 3s and 5s), which then show the dash.
	const QImage frame = hudFrame(12, 87, 17, 4, 2.0);
	setSnapshot(w.get(), frame);
	for (const AlignRegion &r : w.view()->regions())
		EXPECT_EQ(r.previewText, r.key == "wins" ? "4" : "") << r.key << ": only wins has a box yet";
	w.click("presetButton");
	EXPECT_EQ(w.region("kills").previewText, "12");
	EXPECT_EQ(w.region("players_left").previewText, "87");
	EXPECT_EQ(w.region("teams_left").previewText, "17");
	EXPECT_EQ(w.region("wins").previewText, "4");
	EXPECT_EQ(w.region("plates").previewText, "2");

	// A box over the dark scene reads nothing: the dash.
	w.choose("Wins");
	w.field("y")->setValue(400);
	EXPECT_EQ(w.region("wins").previewText, "\u2014");
}

} // namespace

// Pictures of the window for the README, drawn the way a user draws: the preset for the
// counters, a dragged box for wins, four clicked corners for the plates bar.
TEST(AlignWindow, Screenshots)
{
	std::unique_ptr<FilterOnSource> f(newFilter());
	OpenWindow w(f->filter());
	w->resize(1280, 800);
	ASSERT_TRUE(test::waitFor([&] { return w->width() == 1280; }, std::chrono::seconds(2)));
	setSnapshot(w.get(), hudFrame(12, 87, 31, 4, 2.5));
	w.click("presetButton");
	VxAlignView *view = w.view();

	w.choose("Wins");
	const QRect winsAt = view->sourceToWidget(StatRegion{1760, 114, 70, 34});
	QTest::mousePress(view, Qt::LeftButton, {}, winsAt.topLeft());
	QTest::mouseMove(view, winsAt.bottomRight());
	QTest::mouseRelease(view, Qt::LeftButton, {}, winsAt.bottomRight());
	EXPECT_EQ(w.region("wins").previewText, "4");
	EXPECT_EQ(w.region("kills").previewText, "12");
	EXPECT_EQ(w.region("players_left").previewText, "87");
	w.choose("Kills");
	const QDir dir(QStringLiteral(OSTRELO_ALIGN_SHOTS_DIR));
	ASSERT_TRUE(dir.mkpath(QStringLiteral(".")));
	const QImage whole = w->grab().toImage();
	EXPECT_EQ(whole.size(), w->size() * w->devicePixelRatio());
	EXPECT_TRUE(whole.save(dir.filePath(QStringLiteral("align-window.png"))));

	// The plates bar outlined by its four corners, slightly off square as a user clicks them.
	w.choose("Plates");
	const StatRegion bar = w.region("plates").box;
	const QPoint corners[4] = {view->sourceToWidget(bar.x + 2, bar.y + 6),
				   view->sourceToWidget(bar.x + bar.w - 2, bar.y + 5),
				   view->sourceToWidget(bar.x + bar.w - 1, bar.y + bar.h - 6),
				   view->sourceToWidget(bar.x + 1, bar.y + bar.h - 5)};
	for (const QPoint &p : corners)
		QTest::mouseClick(view, Qt::LeftButton, {}, p);
	EXPECT_EQ(w.region("plates").outlineCount, 4);
	EXPECT_EQ(w.region("plates").previewText, "3") << "2.5 plates, rounded";
	const QImage plates = w->grab().toImage();
	EXPECT_TRUE(plates.save(dir.filePath(QStringLiteral("align-plates.png"))));
	// The handles are drawn where they were clicked.
	const QImage surface = view->grab().toImage();
	EXPECT_EQ(surface.pixelColor(corners[0] + QPoint(1, 1)), VxAlignView::regionColor(4));
}

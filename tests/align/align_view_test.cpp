// The align view under real mouse events on the offscreen platform: a 1920 x 1080 snapshot in
// an 808 x 468 view, drawn at 800 x 450 from (4, 9), so a widget pixel is 2.4 source pixels.

#include "align/vx_align_view.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using ostrelo::AlignRegion;
using ostrelo::OutlinePoint;
using ostrelo::StatRegion;

Q_DECLARE_METATYPE(StatRegion)

namespace {

AlignRegion region(const char *key, StatRegion box)
{
	AlignRegion r = ostrelo::makeAlignRegion(key);
	r.box = box;
	return r;
}

QImage blackFrame(int w, int h)
{
	QImage image(w, h, QImage::Format_RGBA8888);
	image.fill(Qt::black);
	return image;
}

QString boxText(const StatRegion &b)
{
	return QStringLiteral("(%1, %2, %3, %4)").arg(b.x).arg(b.y).arg(b.w).arg(b.h);
}

} // namespace

class AlignViewTest : public QObject {
	Q_OBJECT

	VxAlignView *view_ = nullptr;
	int changes_ = 0;

	void press(QPoint p) { QTest::mousePress(view_, Qt::LeftButton, {}, p); }
	void move(QPoint p) { QTest::mouseMove(view_, p); }
	void release(QPoint p) { QTest::mouseRelease(view_, Qt::LeftButton, {}, p); }
	void drag(QPoint from, QPoint to)
	{
		press(from);
		move(to);
		release(to);
	}
	AlignRegion &at(int i) { return view_->regions()[size_t(i)]; }
	// Kills, then plates with the corners given, plates current and in corner mode.
	void platesWith(std::vector<OutlinePoint> points)
	{
		view_->regions() = {region("kills", {100, 100, 200, 100}), region("plates", {})};
		for (size_t i = 0; i < points.size(); ++i)
			at(1).points[i] = points[i];
		at(1).outlineCount = int32_t(points.size());
		ostrelo::fitBoxToOutline(at(1));
		view_->setCurrent(1);
		view_->setCornerMode(true);
	}

private slots:
	void init()
	{
		view_ = new VxAlignView();
		view_->resize(808, 468);
		view_->setSnapshot(blackFrame(1920, 1080));
		view_->setOnChanged([this] { ++changes_; });
		changes_ = 0;
		view_->show();
		QVERIFY(QTest::qWaitForWindowExposed(view_));
		QCOMPARE(view_->size(), QSize(808, 468));
	}

	void cleanup()
	{
		delete view_;
		view_ = nullptr;
	}

	void fitsTheSnapshotAndMapsItsPixels()
	{
		QCOMPARE(view_->imageRect(), QRect(4, 9, 800, 450));
		QCOMPARE(view_->widgetToSource(QPoint(404, 234)), QPoint(960, 540));
		QCOMPARE(view_->widgetToSource(QPoint(804, 234)).x(), 1920);
		QCOMPARE(view_->widgetToSource(QPoint(807, 467)), QPoint(1920, 1080));
		QCOMPARE(view_->sourceToWidget(StatRegion{1823, 80, 42, 22}), QRect(763, 42, 17, 9));

		VxAlignView empty;
		empty.resize(808, 468);
		QCOMPARE(empty.imageRect(), QRect(4, 4, 800, 460));
		QVERIFY(empty.sourceToWidget(StatRegion{0, 0, 100, 100}).isNull());
	}

	void draggedBoxesBecomeSourceBoxes_data()
	{
		QTest::addColumn<QPoint>("from");
		QTest::addColumn<QPoint>("to");
		QTest::addColumn<StatRegion>("box");
		QTest::newRow("from the centre")
			<< QPoint(404, 234) << QPoint(504, 284) << StatRegion{960, 540, 242, 122};
		QTest::newRow("dragged up and left")
			<< QPoint(504, 284) << QPoint(404, 234) << StatRegion{960, 540, 242, 122};
		QTest::newRow("past the right edge, not clipped")
			<< QPoint(700, 100) << QPoint(807, 200) << StatRegion{1670, 218, 259, 242};
		QTest::newRow("smallest kept: 4 x 7")
			<< QPoint(100, 100) << QPoint(101, 102) << StatRegion{230, 218, 4, 7};
		// Smaller than 4 x 6 source pixels: the region keeps its box.
		QTest::newRow("2 wide") << QPoint(100, 100) << QPoint(100, 140) << StatRegion{10, 20, 30, 40};
		QTest::newRow("4 high") << QPoint(100, 100) << QPoint(160, 101) << StatRegion{10, 20, 30, 40};
		QTest::newRow("a click") << QPoint(100, 100) << QPoint(100, 100) << StatRegion{10, 20, 30, 40};
	}

	void draggedBoxesBecomeSourceBoxes()
	{
		QFETCH(QPoint, from);
		QFETCH(QPoint, to);
		QFETCH(StatRegion, box);
		view_->regions() = {region("kills", {10, 20, 30, 40})};
		press(from);
		QVERIFY(view_->rubberBandActive());
		move(to);
		QCOMPARE(view_->rubberBand(), QRect(QPoint(std::min(from.x(), to.x()), std::min(from.y(), to.y())),
						    QPoint(std::max(from.x(), to.x()), std::max(from.y(), to.y()))));
		QCOMPARE(changes_, 0);
		release(to);
		QVERIFY(!view_->rubberBandActive());
		QVERIFY(view_->rubberBand().isNull());
		QCOMPARE(boxText(at(0).box), boxText(box));
		QCOMPARE(changes_, 1); // also when the box was too small
	}

	void pressPicksTheLastRegionHit()
	{
		view_->regions() = {region("kills", {960, 540, 480, 240}),
				    region("players_left", {1080, 600, 480, 240}),
				    region("teams_left", {0, 0, 0, 500})};
		view_->setCurrent(2);
		// (454, 259) is inside both boxes: the later one wins.
		press(QPoint(454, 259));
		QCOMPARE(view_->current(), 1);
		release(QPoint(454, 259));
		press(QPoint(410, 240)); // only the first
		QCOMPARE(view_->current(), 0);
		release(QPoint(410, 240));
		press(QPoint(700, 60)); // nothing there: current stays
		QCOMPARE(view_->current(), 0);
		release(QPoint(700, 60));
		press(QPoint(6, 12)); // a box of width 0 is never hit
		QCOMPARE(view_->current(), 0);
		release(QPoint(6, 12));
		QCOMPARE(changes_, 4);
		QCOMPARE(boxText(at(0).box), boxText(StatRegion{960, 540, 480, 240}));
	}

	void cornerModeGrabsWithinTenAndAddsBeyond_data()
	{
		QTest::addColumn<QPoint>("click");
		QTest::addColumn<int>("grabbed");
		QTest::addColumn<int>("count");
		// The first corner is at source (960, 540), widget (404, 234).
		QTest::newRow("6 right, 4 down: distance 10") << QPoint(410, 238) << 0 << 2;
		QTest::newRow("10 up") << QPoint(404, 224) << 0 << 2;
		QTest::newRow("6 right, 5 down: distance 11") << QPoint(410, 239) << -1 << 3;
		QTest::newRow("on the second corner") << QPoint(454, 234) << 1 << 2;
	}

	void cornerModeGrabsWithinTenAndAddsBeyond()
	{
		QFETCH(QPoint, click);
		QFETCH(int, grabbed);
		QFETCH(int, count);
		platesWith({{960, 540}, {1080, 540}});
		press(click);
		QCOMPARE(view_->dragHandle(), grabbed);
		QCOMPARE(at(1).outlineCount, count);
		QVERIFY(!view_->rubberBandActive());
		QCOMPARE(view_->current(), 1);
		if (grabbed >= 0) {
			QCOMPARE(changes_, 0); // told on release
		} else {
			QCOMPARE(changes_, 1); // an added point is complete at once
			QCOMPARE(at(1).points[2], (OutlinePoint{974, 552}));
			QCOMPARE(boxText(at(1).box), boxText(StatRegion{960, 540, 120, 12}));
		}
		release(click);
		QCOMPARE(view_->dragHandle(), -1);
		QCOMPARE(changes_, 1);
	}

	void cornersNeedTheModeAndThePlatesRegion()
	{
		platesWith({{960, 540}, {1080, 540}});
		view_->setCornerMode(false);
		press(QPoint(410, 239));
		QVERIFY(view_->rubberBandActive());
		release(QPoint(410, 239));
		QCOMPARE(at(1).outlineCount, 2);

		view_->setCornerMode(true);
		view_->setCurrent(0);
		press(QPoint(150, 100)); // kills is current and hit: no corner editing
		QVERIFY(view_->rubberBandActive());
		release(QPoint(150, 100));
		QCOMPARE(at(1).outlineCount, 2);
	}

	void fifthClickDrawsABoxAndKeepsTheOutline()
	{
		const std::vector<OutlinePoint> corners = {{960, 540}, {1200, 540}, {1200, 600}, {960, 600}};
		platesWith(corners);
		press(QPoint(440, 250)); // inside the outline, 20 from every handle
		QVERIFY(view_->rubberBandActive());
		QCOMPARE(view_->dragHandle(), -1);
		move(QPoint(540, 290));
		release(QPoint(540, 290));
		QCOMPARE(boxText(at(1).box), boxText(StatRegion{1046, 578, 242, 98}));
		QCOMPARE(at(1).outlineCount, 4);
		for (size_t i = 0; i < 4; ++i)
			QCOMPARE(at(1).points[i], corners[i]);
		QCOMPARE(changes_, 1);
	}

	void draggedHandlesFollowTheMouseAndStopAtTheBorder()
	{
		platesWith({{960, 540}, {1200, 540}, {1200, 600}, {960, 600}});
		press(QPoint(404, 234));
		QCOMPARE(view_->dragHandle(), 0);
		move(QPoint(304, 184));
		QCOMPARE(at(1).points[0], (OutlinePoint{720, 420}));
		QCOMPARE(boxText(at(1).box), boxText(StatRegion{720, 420, 480, 180})); // the box follows
		move(QPoint(-50, 600));
		QCOMPARE(at(1).points[0], (OutlinePoint{0, 1080}));
		move(QPoint(2000, -40));
		QCOMPARE(at(1).points[0], (OutlinePoint{1920, 0}));
		QCOMPARE(changes_, 0);
		release(QPoint(2000, -40));
		QCOMPARE(changes_, 1);
		move(QPoint(300, 300)); // no button, no handle: nothing moves
		QCOMPARE(at(1).points[0], (OutlinePoint{1920, 0}));
	}

	void withoutASnapshotNothingIsPlaced()
	{
		view_->setSnapshot(QImage());
		QCOMPARE(view_->sourceWidth(), 0);
		platesWith({});
		press(QPoint(300, 200)); // a corner at (0, 0): there is no picture to map onto
		QCOMPARE(at(1).outlineCount, 1);
		QCOMPARE(at(1).points[0], (OutlinePoint{0, 0}));
		release(QPoint(300, 200));

		view_->setCurrent(0);
		drag(QPoint(100, 100), QPoint(300, 300));
		QCOMPARE(boxText(at(0).box), boxText(StatRegion{100, 100, 200, 100})); // dragged box discarded
		QVERIFY(!view_->rubberBandActive());
		QCOMPARE(changes_, 2);
	}

	void onlyTheLeftButtonEdits()
	{
		view_->regions() = {region("kills", {10, 20, 30, 40})};
		QTest::mousePress(view_, Qt::RightButton, {}, QPoint(100, 100));
		QVERIFY(!view_->rubberBandActive());
		QTest::mouseRelease(view_, Qt::RightButton, {}, QPoint(200, 200));
		QCOMPARE(changes_, 0);

		view_->regions().clear();
		press(QPoint(100, 100)); // an empty list takes no presses
		QVERIFY(!view_->rubberBandActive());
		release(QPoint(100, 100));
		QCOMPARE(changes_, 0);
	}

	void paintsRegionsInTheirColours()
	{
		view_->regions() = {region("kills", {240, 240, 480, 240}),
				    region("players_left", {1200, 480, 480, 240}), region("plates", {})};
		at(2).points = {OutlinePoint{240, 840}, OutlinePoint{720, 840}, OutlinePoint{720, 960},
				OutlinePoint{240, 960}};
		at(2).outlineCount = 4;
		view_->setCurrent(0);
		const QImage shot = view_->grab().toImage();
		QCOMPARE(shot.pixelColor(1, 1), QColor(10, 18, 16));
		// players_left (not current) at widget (504, 209, 200, 100), a 1-pixel pen of colour 1.
		QCOMPARE(shot.pixelColor(504, 260), VxAlignView::regionColor(1));
		// Inside it, the black snapshot under the colour at alpha 28.
		const QColor inside = shot.pixelColor(600, 300);
		QVERIFY2(inside.blue() > 20 && inside.blue() < 40, qPrintable(inside.name()));
		// The plates outline's handles are filled opaque in colour 2 (corner at (104, 359)).
		QCOMPARE(shot.pixelColor(104 + 2, 359 + 2), VxAlignView::regionColor(2));
		// Every region of a game, up to Warzone's five, can be told apart by its colour.
		for (int a = 0; a < 5; ++a)
			for (int b = a + 1; b < 5; ++b)
				QVERIFY(VxAlignView::regionColor(a) != VxAlignView::regionColor(b));
	}
};

QTEST_MAIN(AlignViewTest)
#include "align_view_test.moc"

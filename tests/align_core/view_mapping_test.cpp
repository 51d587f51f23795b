// The align view's conversions between widget and source pixels.

#include "align/view_mapping.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <optional>

namespace ostrelo {

inline void PrintTo(const StatRegion &r, std::ostream *os)
{
	*os << "(" << r.x << ", " << r.y << ", " << r.w << ", " << r.h << ")";
}
inline void PrintTo(const IntRect &r, std::ostream *os)
{
	*os << "(" << r.x << ", " << r.y << ", " << r.w << ", " << r.h << ")";
}
inline void PrintTo(const IntPoint &p, std::ostream *os)
{
	*os << "(" << p.x << ", " << p.y << ")";
}

namespace {

// A 1920 x 1080 snapshot drawn at 800 x 450 from (4, 9): an 808 x 468 view.
const ViewMapping kFullHd{IntRect{4, 9, 800, 450}, 1920, 1080};

TEST(ViewMapping, WidgetPointsToSourcePixels)
{
	struct Case {
		IntPoint widget;
		IntPoint source;
	};
	const Case cases[] = {
		{{404, 234}, {960, 540}},   // the centre
		{{4, 9}, {0, 0}},           // the image's top-left pixel
		{{804, 459}, {1920, 1080}}, // just past the drawn image: the size itself, not size - 1
		{{900, 600}, {1920, 1080}}, // far beyond: clamped to the size
		{{0, 0}, {0, 0}},           // left of and above the image: clamped to 0
		{{5, 10}, {2, 2}},          // 1920 / 800 = 2.4 truncates
		{{-2000, 40}, {0, 74}},
	};
	for (const Case &c : cases)
		EXPECT_EQ(kFullHd.widgetToSource(c.widget), c.source) << c.widget.x << "," << c.widget.y;
}

TEST(ViewMapping, SourceBoxesAndPointsToWidget)
{
	struct Case {
		StatRegion box;
		IntRect widget;
	};
	const Case cases[] = {
		{{1823, 80, 42, 22}, {763, 42, 17, 9}},
		{{0, 0, 1920, 1080}, {4, 9, 800, 450}},
		{{10, 10, 1, 1}, {8, 13, 1, 1}},         // at least one pixel each way
		{{-240, -120, 0, -5}, {-96, -41, 1, 1}}, // negative stored values stay negative
	};
	for (const Case &c : cases) {
		const auto r = kFullHd.boxToWidget(c.box);
		ASSERT_TRUE(r.has_value());
		EXPECT_EQ(*r, c.widget) << c.box.x << "," << c.box.y;
	}
	EXPECT_EQ(kFullHd.pointToWidget(960, 540), (IntPoint{404, 234}));
	EXPECT_EQ(kFullHd.pointToWidget(1920, 1080), (IntPoint{804, 459}));
}

TEST(ViewMapping, NothingMapsWithoutASnapshotOrRoom)
{
	const ViewMapping cases[] = {
		{IntRect{4, 4, 800, 450}, 0, 0}, // no snapshot yet
		{IntRect{4, 4, 800, 450}, 1920, 0},
		{IntRect{4, 9, 0, 450}, 1920, 1080}, // a view too small to draw in
		{IntRect{4, 9, 800, -3}, 1920, 1080},
	};
	for (const ViewMapping &m : cases) {
		EXPECT_FALSE(m.possible());
		EXPECT_FALSE(m.boxToWidget(StatRegion{10, 10, 50, 50}).has_value());
		EXPECT_EQ(m.pointToWidget(10, 10), (IntPoint{0, 0}));
		EXPECT_EQ(m.widgetToSource(IntPoint{300, 200}), (IntPoint{0, 0}));
		EXPECT_FALSE(m.rubberBandToSource(IntRect{100, 100, 50, 50}).has_value());
	}
}

TEST(ViewMapping, RubberBandsToSourceBoxes)
{
	struct Case {
		IntRect band;
		StatRegion box;
	};
	const Case cases[] = {
		{{404, 234, 100, 50}, {960, 540, 240, 120}},
		{{0, 0, 10, 10}, {0, 0, 24, 24}},               // left and top kept non-negative
		{{790, 450, 100, 100}, {1886, 1058, 240, 240}}, // not clipped on the right or bottom
		{{100, 100, 1, 1}, {230, 218, 2, 2}},           // a click: 1 x 1 widget pixels
		{{100, 100, 0, 0}, {230, 218, 1, 1}},           // at least one pixel
	};
	for (const Case &c : cases) {
		const auto r = kFullHd.rubberBandToSource(c.band);
		ASSERT_TRUE(r.has_value());
		EXPECT_EQ(*r, c.box) << c.band.x << "," << c.band.y;
	}
}

TEST(ViewMapping, HugeValuesNeitherOverflowNorWrap)
{
	// Stored regions far outside any frame, and sizes no frame has: every result is a
	// rectangle whose far edges still fit in 32 bits.
	const StatRegion boxes[] = {{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},
				    {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
				    {2147483000, 5, 1000, 1000}};
	const ViewMapping mappings[] = {
		kFullHd, {IntRect{4, 9, 800, 450}, 1, 1}, {IntRect{INT32_MAX, 0, INT32_MAX, 1}, 1, 1}};
	for (const ViewMapping &m : mappings) {
		for (const StatRegion &b : boxes) {
			const auto r = m.boxToWidget(b);
			ASSERT_TRUE(r.has_value());
			EXPECT_LE(int64_t(r->x) + r->w, INT32_MAX);
			EXPECT_GE(r->x, -kWidgetCoordLimit);
			EXPECT_LE(r->x, kWidgetCoordLimit);
			EXPECT_LE(r->w, kWidgetCoordLimit);
			EXPECT_GE(r->w, 1);
		}
		const IntPoint p = m.pointToWidget(INT32_MAX, INT32_MIN);
		EXPECT_LE(p.x, kWidgetCoordLimit);
		EXPECT_GE(p.y, -kWidgetCoordLimit);
	}
	const ViewMapping tinyImage{IntRect{0, 0, 1, 1}, INT32_MAX, INT32_MAX};
	EXPECT_EQ(tinyImage.widgetToSource(IntPoint{INT32_MAX, INT32_MAX}), (IntPoint{INT32_MAX, INT32_MAX}));
	const auto band = tinyImage.rubberBandToSource(IntRect{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX});
	ASSERT_TRUE(band.has_value());
	EXPECT_EQ(*band, (StatRegion{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX})) << "saturated, not wrapped";
}

TEST(ViewMapping, MousePositionsRoundHalfAwayFromZero)
{
	struct Case {
		double in;
		int32_t out;
	};
	const Case cases[] = {{10.5, 11},
			      {10.49, 10},
			      {-10.5, -11},
			      {-0.4, 0},
			      {1e300, kWidgetCoordLimit},
			      {-1e300, -kWidgetCoordLimit}};
	for (const Case &c : cases)
		EXPECT_EQ(roundToWidgetPixel(c.in), c.out) << c.in;
	EXPECT_EQ(roundToWidgetPixel(std::numeric_limits<double>::quiet_NaN()), 0);
}

} // namespace
} // namespace ostrelo

// The edits the align window makes to one region, and the preset over the whole list.

#include "align/align_region.h"
#include "statreader/stat_table.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace ostrelo {

inline void PrintTo(const StatRegion &r, std::ostream *os)
{
	*os << "(" << r.x << ", " << r.y << ", " << r.w << ", " << r.h << ")";
}

namespace {

AlignRegion platesWith(std::vector<OutlinePoint> points)
{
	AlignRegion r = makeAlignRegion("plates");
	for (size_t i = 0; i < points.size(); ++i)
		r.points[i] = points[i];
	r.outlineCount = int32_t(points.size());
	return r;
}

TEST(RegionEdits, RecordsCarryTheirLabels)
{
	EXPECT_EQ(makeAlignRegion("players_left").label, "Players left");
	EXPECT_EQ(makeAlignRegion("plates").label, "Plates");
	EXPECT_EQ(makeAlignRegion("mystery").label, "mystery");
	EXPECT_TRUE(makeAlignRegion("plates").isPlates());
	EXPECT_FALSE(makeAlignRegion("Plates").isPlates()) << "the key is compared exactly";
}

TEST(RegionEdits, BoxFollowsTheSetCorners)
{
	struct Case {
		const char *name;
		std::vector<OutlinePoint> points;
		StatRegion box;
	};
	const Case cases[] = {
		{"one point", {{40, 30}}, {40, 30, 0, 0}},
		{"three clicks", {{100, 50}, {180, 52}, {181, 60}}, {100, 50, 81, 10}},
		{"clockwise from top-left", {{10, 20}, {110, 15}, {112, 40}, {8, 44}}, {8, 15, 104, 29}},
		{"span wider than 32 bits", {{INT32_MIN, -5}, {INT32_MAX, 5}}, {INT32_MIN, -5, INT32_MAX, 10}},
	};
	for (const Case &c : cases) {
		AlignRegion r = platesWith(c.points);
		r.box = StatRegion{1, 2, 3, 4};
		fitBoxToOutline(r);
		EXPECT_EQ(r.box, c.box) << c.name;
	}

	AlignRegion none = platesWith({});
	none.box = StatRegion{1, 2, 3, 4};
	fitBoxToOutline(none);
	EXPECT_EQ(none.box, (StatRegion{1, 2, 3, 4})) << "no corners leave the box alone";

	// Points beyond the count do not take part.
	AlignRegion partial = platesWith({{10, 10}, {20, 30}, {900, 900}});
	partial.outlineCount = 2;
	fitBoxToOutline(partial);
	EXPECT_EQ(partial.box, (StatRegion{10, 10, 10, 20}));
}

TEST(RegionEdits, CornersAreAddedUpToFourAndMovedOnlyWhenSet)
{
	AlignRegion r = makeAlignRegion("plates");
	const OutlinePoint clicks[] = {{100, 50}, {180, 52}, {181, 60}, {99, 61}, {500, 500}};
	for (const OutlinePoint &p : clicks)
		addOutlinePoint(r, p);
	EXPECT_EQ(r.outlineCount, 4);
	EXPECT_EQ(r.points[3], (OutlinePoint{99, 61}));
	EXPECT_EQ(r.box, (StatRegion{99, 50, 82, 11})) << "the fifth click is not a corner";

	moveOutlinePoint(r, 1, OutlinePoint{200, 40});
	EXPECT_EQ(r.box, (StatRegion{99, 40, 101, 21}));
	for (int bad : {-1, 4, 7}) {
		moveOutlinePoint(r, bad, OutlinePoint{0, 0});
		EXPECT_EQ(r.box, (StatRegion{99, 40, 101, 21})) << "index " << bad;
	}

	AlignRegion two = platesWith({{5, 5}, {50, 9}});
	two.points[2] = OutlinePoint{777, 777};
	moveOutlinePoint(two, 2, OutlinePoint{0, 0});
	EXPECT_EQ(two.points[2], (OutlinePoint{777, 777})) << "a point past the count is not moved";
}

TEST(RegionEdits, DrawnBoxKeepsOnlyACompleteOutline)
{
	struct Case {
		int32_t count;
		int32_t countAfter;
	};
	for (const Case c : {Case{0, 0}, Case{1, 0}, Case{2, 0}, Case{3, 0}, Case{4, 4}}) {
		AlignRegion r = platesWith({{10, 10}, {60, 10}, {60, 20}, {10, 20}});
		r.outlineCount = c.count;
		const auto points = r.points;
		setDrawnBox(r, 300, 200, 90, 25);
		EXPECT_EQ(r.box, (StatRegion{300, 200, 90, 25})) << c.count << " corners";
		EXPECT_EQ(r.outlineCount, c.countAfter) << c.count << " corners";
		EXPECT_EQ(r.points, points) << "the coordinates stay in the record";
	}
}

TEST(RegionEdits, ClearKeepsTheCornerCoordinates)
{
	AlignRegion r = platesWith({{10, 10}, {60, 10}, {60, 20}, {10, 20}});
	r.angle = -12.0;
	r.previewText = "3";
	clearRegion(r);
	EXPECT_EQ(r.box, StatRegion{});
	EXPECT_EQ(r.outlineCount, 0);
	EXPECT_EQ(r.angle, 0.0);
	EXPECT_TRUE(r.previewText.empty());
	EXPECT_EQ(r.points[2], (OutlinePoint{60, 20}));
}

TEST(RegionEdits, PresetPlacesTheWarzoneRows)
{
	struct Case {
		const char *game;
		int32_t width, height;
		std::vector<std::pair<std::string, StatRegion>> expected;
	};
	const StatRegion mine{7, 8, 9, 10};
	const Case cases[] = {
		{kGameWarzone,
		 1920,
		 1080,
		 {{"kills", {1823, 80, 42, 22}},
		  {"players_left", {1773, 80, 45, 22}},
		  {"teams_left", {1729, 80, 39, 22}},
		  {"wins", mine},
		  {"plates", {70, 959, 220, 40}}}},
		{kGameMw4, 1920, 1080, {{"kills", {1823, 80, 42, 22}}, {"deaths", mine}, {"score", mine}}},
		// Too small for the preset: nothing moves.
		{kGameWarzone, 7, 1080, {{"kills", mine}, {"plates", mine}}},
	};
	for (const Case &c : cases) {
		std::vector<AlignRegion> regions;
		for (const std::string &key : gameStatKeys(c.game)) {
			AlignRegion r = makeAlignRegion(key);
			r.box = mine;
			if (r.isPlates()) {
				r.outlineCount = 4;
				r.angle = 12.5;
			}
			regions.push_back(r);
		}
		applyPresetToRegions(regions, c.width, c.height);
		for (const auto &[key, box] : c.expected) {
			const auto it = std::find_if(regions.begin(), regions.end(),
						     [&](const AlignRegion &r) { return r.key == key; });
			ASSERT_NE(it, regions.end()) << key;
			EXPECT_EQ(it->box, box) << c.game << " " << c.width << "x" << c.height << " " << key;
			if (it->isPlates()) {
				const bool moved = !(box == mine);
				EXPECT_EQ(it->outlineCount, moved ? 0 : 4) << "outline dropped only with the box";
				EXPECT_EQ(it->angle, moved ? 0.0 : 12.5);
			}
		}
	}
}

TEST(RegionEdits, SaturationKeepsTheNearestValue)
{
	EXPECT_EQ(saturate32(int64_t(INT32_MAX) + 1), INT32_MAX);
	EXPECT_EQ(saturate32(int64_t(1) << 40), INT32_MAX);
	EXPECT_EQ(saturate32(-(int64_t(1) << 40)), INT32_MIN);
	EXPECT_EQ(saturate32(-17), -17);
}

} // namespace
} // namespace ostrelo

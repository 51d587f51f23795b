// The region list against a real filter's settings in libobs: what loads, what a save writes,
// and that the filter's own update takes it.

#include "align/region_settings.h"
#include "align_obs_support.h"
#include "statreader/stat_reader_filter.h"
#include "tests/support/obs_harness.h"

#include <gtest/gtest.h>

#include <climits>

using namespace ostrelo;
using aligntest::FilterOnSource;
using aligntest::storedRegion;
using aligntest::userKeys;

namespace {

struct WeakRef {
	explicit WeakRef(obs_source_t *s) : weak(obs_source_get_weak_source(s)) {}
	OBSWeakSourceAutoRelease weak;
	operator obs_weak_source_t *() const { return weak.Get(); }
};

std::vector<std::string> keysOf(const std::vector<AlignRegion> &regions)
{
	std::vector<std::string> keys;
	for (const AlignRegion &r : regions)
		keys.push_back(r.key);
	return keys;
}

const AlignRegion &byKey(const std::vector<AlignRegion> &regions, const std::string &key)
{
	for (const AlignRegion &r : regions)
		if (r.key == key)
			return r;
	throw std::out_of_range(key);
}

// The region the filter instance holds for a stat (its update has run when it matches).
StatRegion filterRegion(obs_source_t *filter, int stat)
{
	auto *f = static_cast<std::shared_ptr<StatReaderFilter> *>(obs_obj_get_data(filter))->get();
	return f->shared.with([stat](StatReaderState &s) { return s.config.regions[size_t(stat)]; });
}

TEST(RegionSettings, ProfilesDecideTheList)
{
	ASSERT_TRUE(test::obsReady());
	struct Case {
		const char *game;
		std::vector<std::string> keys;
	};
	const Case cases[] = {
		{"warzone", {"kills", "players_left", "teams_left", "wins", "plates"}},
		{"mw4-multiplayer", {"kills", "deaths", "score"}},
		{"", {"kills", "players_left", "teams_left", "wins", "plates"}},
		{"another-game", {"kills", "players_left", "teams_left", "wins", "plates"}},
	};
	for (const Case &c : cases) {
		OBSDataAutoRelease s = obs_data_create();
		obs_data_set_string(s, "game", c.game);
		FilterOnSource f(s);
		WeakRef weak(f.filter());
		const auto regions = loadRegions(weak);
		EXPECT_EQ(keysOf(regions), c.keys) << c.game;
		if (!regions.empty()) {
			EXPECT_EQ(regions[0].label, "Kills");
		}
	}
}

TEST(RegionSettings, Mw4SaveWritesOnlyItsRegions)
{
	OBSDataAutoRelease s = obs_data_create();
	obs_data_set_string(s, "game", "mw4-multiplayer");
	obs_data_set_int(s, "deaths_x", 300);
	obs_data_set_int(s, "deaths_h", 30);
	FilterOnSource f(s);
	WeakRef weak(f.filter());
	auto regions = loadRegions(weak);
	ASSERT_EQ(regions.size(), 3u);
	EXPECT_EQ(byKey(regions, "deaths").box, (StatRegion{300, 0, 0, 30}));
	regions[2].box = StatRegion{40, 50, 60, 70};

	const auto before = userKeys(f.settings());
	ASSERT_TRUE(saveRegions(weak, regions, false));
	std::set<std::string> added;
	for (const std::string &k : userKeys(f.settings()))
		if (!before.count(k))
			added.insert(k);
	const std::set<std::string> expected = {"use_wz_preset", "kills_x", "kills_y", "kills_w", "kills_h", "deaths_y",
						"deaths_w",      "score_x", "score_y", "score_w", "score_h"};
	EXPECT_EQ(added, expected) << "no plates or Warzone key is touched";
	EXPECT_EQ(storedRegion(f.settings(), "score"), (std::vector<long long>{40, 50, 60, 70}));
	EXPECT_FALSE(obs_data_get_bool(f.settings(), "use_wz_preset"));
}

TEST(RegionSettings, StoredValuesLoadWithoutWrapping)
{
	struct Case {
		long long quadN;
		int32_t count;
	};
	for (const Case c : {Case{5, 0}, Case{-1, 0}, Case{1LL << 40, 0}, Case{4, 4}, Case{3, 3}, Case{0, 0}}) {
		OBSDataAutoRelease s = obs_data_create();
		obs_data_set_int(s, "plates_quad_n", c.quadN);
		obs_data_set_double(s, "plates_angle", 45.0);
		obs_data_set_int(s, "plates_qx2", 1LL << 40);
		obs_data_set_int(s, "plates_qy3", -(1LL << 40));
		obs_data_set_int(s, "plates_qx1", 77);
		obs_data_set_int(s, "kills_x", (1LL << 32) + 5); // not 5
		obs_data_set_int(s, "kills_w", -(1LL << 33));
		FilterOnSource f(s);
		WeakRef weak(f.filter());
		const auto regions = loadRegions(weak);
		const AlignRegion &plates = byKey(regions, "plates");
		EXPECT_EQ(plates.outlineCount, c.count) << c.quadN;
		EXPECT_EQ(plates.angle, 45.0) << "kept as stored";
		EXPECT_EQ(plates.points[1].x, 77) << "all four points are read whatever the count";
		EXPECT_EQ(plates.points[2].x, INT32_MAX);
		EXPECT_EQ(plates.points[3].y, INT32_MIN);
		EXPECT_EQ(byKey(regions, "kills").box, (StatRegion{INT32_MAX, 0, INT32_MIN, 0}));
		EXPECT_EQ(byKey(regions, "wins").outlineCount, 0) << "only plates has an outline";
	}
}

TEST(RegionSettings, ClearedPlatesSaveZerosAndKeepCorners)
{
	OBSDataAutoRelease s = obs_data_create();
	obs_data_set_int(s, "plates_x", 70);
	obs_data_set_int(s, "plates_y", 959);
	obs_data_set_int(s, "plates_w", 220);
	obs_data_set_int(s, "plates_h", 40);
	obs_data_set_int(s, "plates_quad_n", 4);
	obs_data_set_double(s, "plates_angle", -7.5);
	const int corners[4][2] = {{70, 960}, {290, 958}, {291, 999}, {69, 998}};
	for (int i = 0; i < 4; ++i) {
		obs_data_set_int(s, ("plates_qx" + std::to_string(i)).c_str(), corners[i][0]);
		obs_data_set_int(s, ("plates_qy" + std::to_string(i)).c_str(), corners[i][1]);
	}
	FilterOnSource f(s);
	WeakRef weak(f.filter());
	auto regions = loadRegions(weak);
	AlignRegion &plates = regions.back();
	ASSERT_TRUE(plates.isPlates());
	EXPECT_EQ(plates.outlineCount, 4);
	EXPECT_EQ(plates.angle, -7.5);
	clearRegion(plates);
	ASSERT_TRUE(saveRegions(weak, regions, false));
	EXPECT_EQ(storedRegion(f.settings(), "plates"), (std::vector<long long>{0, 0, 0, 0}));
	EXPECT_EQ(obs_data_get_int(f.settings(), "plates_quad_n"), 0);
	EXPECT_EQ(obs_data_get_double(f.settings(), "plates_angle"), 0.0);
	EXPECT_TRUE(obs_data_has_user_value(f.settings(), "plates_angle"));
	for (int i = 0; i < 4; ++i) {
		EXPECT_EQ(obs_data_get_int(f.settings(), ("plates_qx" + std::to_string(i)).c_str()), corners[i][0]);
		EXPECT_EQ(obs_data_get_int(f.settings(), ("plates_qy" + std::to_string(i)).c_str()), corners[i][1]);
	}
}

TEST(RegionSettings, FilterTakesTheSavedRegionsThroughItsUpdate)
{
	FilterOnSource f(nullptr);
	WeakRef weak(f.filter());
	auto regions = loadRegions(weak);
	ASSERT_EQ(regions.size(), 5u);
	regions[0].box = StatRegion{1500, 60, 90, 30};
	regions[3].box = StatRegion{1700, 118, 45, 22};
	ASSERT_TRUE(saveRegions(weak, regions, false));
	EXPECT_EQ(storedRegion(f.settings(), "kills"), (std::vector<long long>{1500, 60, 90, 30}));
	EXPECT_EQ(storedRegion(f.settings(), "wins"), (std::vector<long long>{1700, 118, 45, 22}));

	// Video filters take updates on the graphics thread's next tick.
	obs_set_output_source(0, f.source());
	EXPECT_TRUE(test::waitFor(
		[&] {
			return filterRegion(f.filter(), kStatKills) == StatRegion{1500, 60, 90, 30};
		},
		std::chrono::seconds(5)));
	EXPECT_EQ(filterRegion(f.filter(), kStatWins), (StatRegion{1700, 118, 45, 22}));

	// And again: a second save is a second update.
	regions[0].box = StatRegion{10, 20, 30, 40};
	ASSERT_TRUE(saveRegions(weak, regions, true));
	EXPECT_TRUE(test::waitFor(
		[&] {
			return filterRegion(f.filter(), kStatKills) == StatRegion{10, 20, 30, 40};
		},
		std::chrono::seconds(5)));
	EXPECT_TRUE(obs_data_get_bool(f.settings(), "use_wz_preset"));
	obs_set_output_source(0, nullptr);
}

TEST(RegionSettings, GoneFilterLoadsNothingAndTakesNoSave)
{
	FilterOnSource f(nullptr);
	WeakRef weak(f.filter());
	auto regions = loadRegions(weak);
	ASSERT_FALSE(regions.empty());
	regions[0].box = StatRegion{1, 2, 30, 40};
	f.remove();
	EXPECT_TRUE(loadRegions(weak).empty());
	EXPECT_FALSE(saveRegions(weak, regions, false));
	EXPECT_EQ(storedRegion(f.settings(), "kills"), (std::vector<long long>{0, 0, 0, 0}));
	EXPECT_TRUE(loadRegions(nullptr).empty());
	EXPECT_FALSE(saveRegions(nullptr, regions, false));
}

} // namespace

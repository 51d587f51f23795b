// Loads the built module into real libobs and checks what it registers.

#include "statreader/settings_keys.h"
#include "statreader/stat_reader_filter.h"
#include "tests/support/obs_harness.h"

#include <gtest/gtest.h>
#include <obs.hpp>

#include <cstring>
#include <dlfcn.h>

using namespace ostrelo;

namespace {

bool filterTypeRegistered(const char *id)
{
	const char *type = nullptr;
	for (size_t i = 0; obs_enum_filter_types(i, &type); ++i)
		if (std::strcmp(type, id) == 0)
			return true;
	return false;
}

OBSSourceAutoRelease makeColorSource(const char *name)
{
	OBSDataAutoRelease s = obs_data_create();
	obs_data_set_int(s, "width", 320);
	obs_data_set_int(s, "height", 180);
	obs_data_set_int(s, "color", 0xff336699);
	return obs_source_create("color_source_v3", name, s, nullptr);
}

} // namespace

TEST(ModuleLoad, RegistersTheStatReaderFilter)
{
	ASSERT_TRUE(test::obsReady());
	EXPECT_TRUE(filterTypeRegistered("vexmoor_stat_reader"));
	EXPECT_STREQ(obs_source_get_display_name("vexmoor_stat_reader"), "Vexmoor Stat Reader");
	EXPECT_EQ(obs_get_source_output_flags("vexmoor_stat_reader"), uint32_t(OBS_SOURCE_VIDEO));
}

TEST(ModuleLoad, EntryPointsAnswerAsDocumented)
{
	void *lib = dlopen(test::modulePath().c_str(), RTLD_NOW | RTLD_NOLOAD);
	ASSERT_NE(lib, nullptr);
	auto ver = reinterpret_cast<uint32_t (*)()>(dlsym(lib, "obs_module_ver"));
	auto description = reinterpret_cast<const char *(*)()>(dlsym(lib, "obs_module_description"));
	auto setLocale = reinterpret_cast<void (*)(const char *)>(dlsym(lib, "obs_module_set_locale"));
	auto getString = reinterpret_cast<bool (*)(const char *, const char **)>(dlsym(lib, "obs_module_get_string"));
	auto freeLocale = reinterpret_cast<void (*)()>(dlsym(lib, "obs_module_free_locale"));
	ASSERT_TRUE(ver && description && setLocale && getString && freeLocale);
	EXPECT_EQ(ver(), 0x1F010001u);
	EXPECT_STREQ(description(), "Ostrelo 4.4.1: Glasswing layouts, Vexmoor Stat Reader, in-app updates, and local "
				    "scene/stream/recording controls by Pellworth");
	// Setting the locale twice releases the first lookup (the leak check at shutdown
	// would catch a lost one); looking up a missing key answers false, not a crash.
	setLocale("en-US");
	setLocale("de-DE");
	const char *out = nullptr;
	EXPECT_FALSE(getString("NoSuchKey", &out));
	freeLocale();
	EXPECT_FALSE(getString("NoSuchKey", &out));
	setLocale("en-US");
	dlclose(lib);
}

TEST(ModuleLoad, DefaultsMatchTheSettingsTable)
{
	OBSDataAutoRelease d = obs_get_source_defaults("vexmoor_stat_reader");
	ASSERT_NE(d.Get(), nullptr);
	EXPECT_STREQ(obs_data_get_default_string(d, "game"), "warzone");
	EXPECT_STREQ(obs_data_get_default_string(d, "api_url"), settings::defaultApiUrl().c_str());
	EXPECT_STREQ(obs_data_get_default_string(d, "token"), "");
	EXPECT_STREQ(obs_data_get_default_string(d, "game_nos"), "{}");
	EXPECT_EQ(obs_data_get_default_int(d, "event_id"), 0);
	EXPECT_EQ(obs_data_get_default_int(d, "game_no"), 1);
	EXPECT_EQ(obs_data_get_default_int(d, "game_no_event"), 0);
	EXPECT_EQ(obs_data_get_default_int(d, "game_start_ns"), 0);
	EXPECT_FALSE(obs_data_get_default_bool(d, "wz_match_live"));
	EXPECT_FALSE(obs_data_get_default_bool(d, "wz_saw_full_lobby"));
	EXPECT_TRUE(obs_data_get_default_bool(d, "use_wz_preset"));
	EXPECT_TRUE(obs_data_get_default_bool(d, "send"));
	EXPECT_DOUBLE_EQ(obs_data_get_default_double(d, "plates_angle"), 0.0);
	EXPECT_EQ(obs_data_get_default_int(d, "plates_quad_n"), 0);
	for (const auto &def : settings::settingDefaults())
		EXPECT_TRUE(obs_data_has_default_value(d, def.key.c_str())) << def.key;
	EXPECT_TRUE(obs_data_has_default_value(d, "plates_qy3"));
	EXPECT_TRUE(obs_data_has_default_value(d, "wins_h"));
}

TEST(ModuleLoad, FilterLivesOnARealSource)
{
	OBSSourceAutoRelease source = makeColorSource("module-load-color");
	ASSERT_NE(source.Get(), nullptr);
	OBSDataAutoRelease settings = obs_data_create();
	obs_data_set_string(settings, "token", "  https://x.example/o?token=abc&y=2\n");
	obs_data_set_int(settings, "event_id", 12);
	obs_data_set_string(settings, "game_nos", "{\"12\":3}");
	obs_data_set_int(settings, "kills_x", 2147483000LL);
	obs_data_set_int(settings, "kills_w", 1000);
	obs_data_set_double(settings, "plates_angle", 45.0);
	OBSSourceAutoRelease filter = obs_source_create_private("vexmoor_stat_reader", "reader", settings);
	ASSERT_NE(filter.Get(), nullptr);
	obs_source_filter_add(source, filter);
	// The instance OBS holds for the filter (same struct layout as the module's build).
	auto *f = static_cast<std::shared_ptr<StatReaderFilter> *>(obs_obj_get_data(filter))->get();
	f->shared.with([](StatReaderState &s) {
		EXPECT_EQ(s.config.token, "abc");
		EXPECT_EQ(s.gameNo, 3);
		EXPECT_EQ(s.config.regions[kStatKills].x, kRegionCoordLimit);
		EXPECT_EQ(s.config.regions[kStatKills].w, 1000);
		EXPECT_DOUBLE_EQ(s.config.plates.angle, 30.0);
		EXPECT_NE(s.gameStartNs, 0u);
	});

	OBSDataAutoRelease update = obs_data_create();
	obs_data_set_int(update, "event_id", 40);
	obs_data_set_string(update, "game_nos", "not json");
	obs_source_update(filter, update);
	// Video filters take their updates on the graphics thread's next tick.
	obs_set_output_source(0, source);
	EXPECT_TRUE(
		test::waitFor([&] { return f->shared.with([](StatReaderState &s) { return s.config.eventId == 40; }); },
			      std::chrono::seconds(5)));
	EXPECT_EQ(f->shared.with([](StatReaderState &s) { return s.gameNo; }), 1)
		<< "an event never seen starts at game 1";

	// The stored settings keep what the user wrote; clamps apply only in memory.
	OBSDataAutoRelease now = obs_source_get_settings(filter);
	EXPECT_EQ(obs_data_get_int(now, "kills_x"), 2147483000LL);
	EXPECT_DOUBLE_EQ(obs_data_get_double(now, "plates_angle"), 45.0);
	EXPECT_EQ(obs_data_get_int(now, "event_id"), 40);

	obs_set_output_source(0, nullptr);

	obs_source_filter_remove(source, filter);
}

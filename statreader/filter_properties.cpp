// The filter's properties panel and its buttons (UI thread).

#include "statreader/hud_classifier.h"
#include "statreader/numbering.h"
#include "statreader/presets.h"
#include "statreader/settings_keys.h"
#include "statreader/stat_reader_filter.h"

#include <obs.hpp>
#include <util/platform.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace ostrelo {

namespace {

namespace k = settings;

FilterRef refOf(void *data)
{
	return data ? *static_cast<FilterRef *>(data) : FilterRef();
}

constexpr const char *kTokenRefusedStatus =
	"Failed: the overlay token holds a line break or another control character.";

// What the panel shows, copied out under the state lock.
struct PanelInfo {
	std::string status;
	bool tokenRefused = false;
	int32_t gameNo = 1;
	int32_t hudState = 0;
	bool final = false;
	std::array<StatRegion, kStatCount> regions{};
	std::array<StatTracker, kStatCount> trackers{};
};

// Tenths as "%.1f" writes them in the C locale ("2.5"), the way the posted update has them,
// whatever number format the user's locale has.
std::string tenthsText(int32_t tenths)
{
	const int64_t magnitude = std::abs(int64_t(tenths));
	return (tenths < 0 ? "-" : "") + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
}

std::string lastReadSuffix(int index, const StatRegion &region, const StatTracker &tracker)
{
	if (!region.isSet())
		return {};
	if (!tracker.valid)
		return " \xE2\x80\x94 last read: \xE2\x80\x94";
	return " \xE2\x80\x94 last read: " +
	       (index == kStatPlates ? tenthsText(tracker.value) : std::to_string(tracker.value));
}

bool applyVisibility(obs_properties_t *props, obs_data_t *settings)
{
	const char *game = settings ? obs_data_get_string(settings, k::kGame) : nullptr;
	const std::string effective = game && *game ? game : kGameWarzone;
	for (int i = 0; i < kStatCount; ++i) {
		const bool visible = statApplies(i, effective);
		const std::string key = kStatTable[size_t(i)].key;
		const std::string names[] = {key + "_lab", k::regionKey(i, k::kRegionX), k::regionKey(i, k::kRegionY),
					     k::regionKey(i, k::kRegionW), k::regionKey(i, k::kRegionH)};
		for (const std::string &name : names)
			if (obs_property_t *p = obs_properties_get(props, name.c_str()))
				obs_property_set_visible(p, visible);
	}
	return true;
}

bool on_game_modified(obs_properties_t *props, obs_property_t *, obs_data_t *settings)
{
	return applyVisibility(props, settings);
}

bool on_test_clicked(obs_properties_t *, obs_property_t *, void *data)
{
	if (FilterRef ref = refOf(data))
		postTestConnection(ref);
	return false;
}

bool on_apply_preset_clicked(obs_properties_t *, obs_property_t *, void *data)
{
	FilterRef ref = refOf(data);
	if (!ref || !ref->source)
		return false;
	StatReaderFilter &f = *ref;
	OBSDataAutoRelease s = obs_source_get_settings(f.source);
	obs_data_set_bool(s, k::kUseWzPreset, true);

	const uint64_t processed = f.processedSize.load();
	int32_t width = int32_t(processed >> 32), height = int32_t(processed & 0xffffffffu);
	if (width < 16 || height < 16) {
		if (obs_source_t *target = obs_filter_get_target(f.source)) {
			width = int32_t(obs_source_get_base_width(target));
			height = int32_t(obs_source_get_base_height(target));
		}
	}

	const auto regions = f.shared.with([&](StatReaderState &st) {
		st.config.usePreset = true;
		applyWarzonePreset(st.config, width, height);
		return st.config.regions;
	});
	for (int i = 0; i < kStatCount; ++i) {
		const StatRegion &r = regions[size_t(i)];
		if (!r.isSet())
			continue;
		obs_data_set_int(s, k::regionKey(i, k::kRegionX).c_str(), r.x);
		obs_data_set_int(s, k::regionKey(i, k::kRegionY).c_str(), r.y);
		obs_data_set_int(s, k::regionKey(i, k::kRegionW).c_str(), r.w);
		obs_data_set_int(s, k::regionKey(i, k::kRegionH).c_str(), r.h);
	}
	obs_source_update(f.source, s);
	obs_source_update_properties(f.source);
	return true;
}

bool on_align_clicked(obs_properties_t *, obs_property_t *, void *data)
{
	FilterRef ref = refOf(data);
	if (!ref || !ref->source)
		return false;
	ensureDispatch(*ref);
	postOpenAlignWindow(ref);
	return false;
}

template <typename Press>
bool numberingButton(void *data, Press press)
{
	FilterRef ref = refOf(data);
	if (!ref || ref->destroying)
		return false;
	std::optional<PendingSend> send = ref->shared.with([&](StatReaderState &s) {
		// A number the service gave for the game before is not the new game's.
		ref->pendingSiteGameNo.store(0);
		// Until the write below lands, update must keep these numbers.
		s.numberingUnsaved = true;
		return press(s, os_gettime_ns());
	});
	writeNumbering(*ref);
	if (send)
		postSend(ref, std::move(*send));
	obs_source_update_properties(ref->source);
	return true;
}

bool on_new_game_clicked(obs_properties_t *, obs_property_t *, void *data)
{
	return numberingButton(data, pressNewGame);
}

bool on_reset_game_no_clicked(obs_properties_t *, obs_property_t *, void *data)
{
	return numberingButton(data, pressResetGameNumber);
}

void addInfo(obs_properties_t *props, const char *name, const std::string &text)
{
	obs_properties_add_text(props, name, text.c_str(), OBS_TEXT_INFO);
}

} // namespace

obs_properties_t *buildProperties(const FilterRef &ref)
{
	PanelInfo info;
	if (ref)
		info = ref->shared.with([](StatReaderState &s) {
			return PanelInfo{s.statusText, s.config.tokenRefused, s.gameNo,  s.hudState,
					 s.final,      s.config.regions,      s.trackers};
		});

	obs_properties_t *props = obs_properties_create();
	obs_properties_set_flags(props, OBS_PROPERTIES_DEFER_UPDATE);

	obs_property_t *game =
		obs_properties_add_list(props, k::kGame, "Game", OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_STRING);
	for (const GameProfile &profile : gameProfiles())
		obs_property_list_add_string(game, profile.displayName, profile.id);
	obs_property_set_modified_callback(game, on_game_modified);

	obs_properties_add_int(props, k::kEventId, "Vexmoor event ID", 0, 1000000, 1);
	obs_properties_add_text(props, k::kToken, "Overlay token or Browser Source URL", OBS_TEXT_PASSWORD);
	obs_properties_add_text(props, k::kApiUrl, "API URL", OBS_TEXT_DEFAULT);
	obs_properties_add_bool(props, k::kSend, "Send updates when a value changes");
	obs_properties_add_button(props, "test", "Test connection", on_test_clicked);
	obs_properties_add_bool(props, k::kUseWzPreset, "Use Warzone 16:9 HUD preset");
	obs_properties_add_button(props, "apply_preset", "Apply Warzone 16:9 preset", on_apply_preset_clicked);
	obs_properties_add_button(props, "align", "Align regions\xE2\x80\xA6", on_align_clicked);
	obs_properties_add_button(props, "new_game", "New game", on_new_game_clicked);
	obs_properties_add_button(props, "reset_game_no", "Reset game #", on_reset_game_no_clicked);

	std::string status = info.status.empty() ? std::string("Not connected yet") : info.status;
	if (info.tokenRefused)
		status = kTokenRefusedStatus;
	addInfo(props, "net_status", "Status: " + status);
	addInfo(props, "game_no_lab", "Game #" + std::to_string(info.gameNo));
	if (ref)
		addInfo(props, "hud_state_lab",
			std::string("HUD state: ") + hudStateName(info.hudState) + (info.final ? " (final)" : ""));

	for (int i = 0; i < kStatCount; ++i) {
		const StatDef &def = kStatTable[size_t(i)];
		const std::string lab = std::string(def.key) + "_lab";
		const std::string suffix =
			ref ? lastReadSuffix(i, info.regions[size_t(i)], info.trackers[size_t(i)]) : "";
		addInfo(props, lab.c_str(), def.label + suffix);
		obs_properties_add_int(props, k::regionKey(i, k::kRegionX).c_str(), "  X", 0, 8192, 1);
		obs_properties_add_int(props, k::regionKey(i, k::kRegionY).c_str(), "  Y", 0, 8192, 1);
		obs_properties_add_int(props, k::regionKey(i, k::kRegionW).c_str(), "  Width", 0, 8192, 1);
		obs_properties_add_int(props, k::regionKey(i, k::kRegionH).c_str(), "  Height", 0, 8192, 1);
	}

	if (ref && ref->source) {
		OBSDataAutoRelease s = obs_source_get_settings(ref->source);
		applyVisibility(props, s);
	}
	return props;
}

} // namespace ostrelo

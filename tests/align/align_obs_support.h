#pragma once

// A real "Vexmoor Stat Reader" on a colour source in the headless libobs session, and the
// little readers the align tests use on its settings.

#include <obs.hpp>

#include <QImage>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace aligntest {

class FilterOnSource {
public:
	// settings: what the user stored before the window opens (may be null).
	explicit FilterOnSource(obs_data_t *settings);
	~FilterOnSource();
	FilterOnSource(const FilterOnSource &) = delete;
	FilterOnSource &operator=(const FilterOnSource &) = delete;

	obs_source_t *filter() const { return filter_; }
	obs_source_t *source() const { return source_; }
	// The filter's own settings object (a reference to it).
	obs_data_t *settings() const { return settings_; }
	// Takes the filter off its source and lets it go; the settings object stays readable.
	void remove();

private:
	OBSSourceAutoRelease source_;
	OBSSourceAutoRelease filter_;
	OBSDataAutoRelease settings_;
};

// Keys that hold a value of their own (not just a default).
std::set<std::string> userKeys(obs_data_t *data);

// The four stored values of a stat's region.
std::vector<long long> storedRegion(obs_data_t *data, const char *key);

// A frame as the filter hands it over: RGBA rows, tightly packed.
std::vector<uint8_t> rgbaBytes(const QImage &image);

} // namespace aligntest

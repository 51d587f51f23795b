#pragma once

// Building blocks of the filter's libobs tests: an image source showing synthetic HUD frames,
// the stat reader on it, and access to the filter's instance.

#include "statreader/stat_reader_filter.h"
#include "tools/hudframes/hud_frame.h"

#include <obs.hpp>

#include <QJsonObject>

#include <string>

namespace ostrelo::test {

// Writes the frame as a PNG and returns its path.
std::string hudPng(const std::string &name, const hudframes::HudFrame &frame);
std::string solidPng(const std::string &name, int width, int height, uint32_t rgba);

struct ReaderScene {
	OBSSourceAutoRelease image;
	OBSSourceAutoRelease filter;

	// The image source shows file; the filter gets settings (released by the caller).
	ReaderScene(const std::string &file, obs_data_t *filterSettings);
	~ReaderScene();

	void show(const std::string &file);
	StatReaderFilter &instance() const;
	template <typename F>
	decltype(auto) state(F &&f) const
	{
		return instance().shared.with(std::forward<F>(f));
	}
};

// The filter settings of a test: event 7, token "tok", the given endpoint.
OBSDataAutoRelease readerSettings(const std::string &apiUrl);

QJsonObject jsonBody(const std::string &body);

} // namespace ostrelo::test

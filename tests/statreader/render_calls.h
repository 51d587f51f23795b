#pragma once

// Render calls made by a test itself, one at a time: the source is not an output, so nothing
// else renders it and every call is exactly one call of its filters' video_render. Each call
// draws onto an opaque background under OBS's usual blend state and reads the result back.

#include "statreader/stat_reader_filter.h"

#include <obs.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace ostrelo::test {

class RenderCalls {
public:
	RenderCalls(int width, int height);
	~RenderCalls();
	RenderCalls(const RenderCalls &) = delete;
	RenderCalls &operator=(const RenderCalls &) = delete;

	// One render call of source; rgba receives width x height pixels, rows top to bottom.
	bool render(obs_source_t *source, std::vector<uint8_t> &rgba);

private:
	int width_, height_;
	gs_texrender_t *texrender_ = nullptr;
	gs_stagesurf_t *stage_ = nullptr;
};

// A source, optionally with the stat reader on it; neither is an output.
struct SourceWithReader {
	OBSSourceAutoRelease source;
	OBSSourceAutoRelease filter; // null without the reader

	SourceWithReader(const char *id, const std::string &name, obs_data_t *settings, bool withReader);
	// An image source showing file.
	SourceWithReader(const std::string &name, const std::string &file, bool withReader);
	~SourceWithReader();
	void show(const std::string &file);
	StatReaderFilter &instance() const;
	const CaptureCounts &counts() const { return instance().capture.counts; }
};

// Index of the first pixel that differs, or -1.
long firstDifference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b);

} // namespace ostrelo::test

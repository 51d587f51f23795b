#pragma once

#include "statreader/filter_state.h"

#include <QString>

namespace ostrelo::replay {

struct RunOptions {
	QString input;     // a folder of images or a video file
	QString timesFile; // when the images show; else each is held `holdSeconds`
	double holdSeconds = 1.0;
	double fps = 30.0;
	FilterSettings settings; // game, regions, event id, token, game number
	QString postUrl;         // post the updates there instead of only printing them
	int postTimeoutMs = 20000;
	QString expectFile;
	double latencySeconds = 1.5;
	bool progress = true;
};

// Replays the footage through frame processing and prints what the filter would do. Returns
// the exit code: 0, 1 when a confirmed value contradicts the expectation file, 2 on bad
// input.
int runReplay(const RunOptions &options);

} // namespace ostrelo::replay

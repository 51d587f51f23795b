#pragma once

#include <QString>

namespace ostrelo::replay {

struct GenerateOptions {
	QString folder;
	int width = 1920;
	int height = 1080;
	QString format = QStringLiteral("png"); // png or jpg
	unsigned seed = 1;
	QString video; // also encode the match into this video file (needs ffmpeg)
};

// Writes the frames of one scripted Warzone match and the start of the next (lobby, the
// counters falling, a downed phase, red players left, the placement card, a new game), the
// times file that says when each frame shows, and the expectation file of what is on
// screen. Returns an error text, empty on success.
QString generateMatch(const GenerateOptions &options);

} // namespace ostrelo::replay

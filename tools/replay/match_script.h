#pragma once

#include "tools/hudframes/hud_frame.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace ostrelo::replay {

// One stretch of a scripted match: a frame shown for `seconds`, and what the footage shows
// from its start on ("key=value ...", the expectation file's form).
struct MatchStep {
	double seconds = 0;
	hudframes::HudFrame frame;
	QString expect;
};

// The scripted matches by name. "basic" is a short match on a dim scene in the bundled HUD
// face; the others play a whole match (lobby, counters falling through the teens with red
// players left late, a downed phase, the placement card, the start of the next game) in
// other condensed faces over game-like grounds, at 720p to 1440p, some with the whole world
// turning bright for a while (sand haze, snow, a flash).
QStringList matchNames();
// The steps of a named match at its own size (or width x height when both are given), with
// frame seeds from seed on; empty for an unknown name or a face that is not installed.
std::vector<MatchStep> matchScript(const QString &name, unsigned seed = 1, int width = 0, int height = 0);
// The font files a match draws its counters in (empty for the bundled face).
QString matchFaceFile(const QString &name);

struct GenerateOptions {
	QString folder;
	QString match = QStringLiteral("basic");
	int width = 0; // 0: the match's own size
	int height = 0;
	QString format = QStringLiteral("png"); // png or jpg
	unsigned seed = 1;
	QString video; // also encode the match into this video file (needs ffmpeg)
};

// Writes the frames of a scripted match, the times file that says when each frame shows, and
// the expectation file of what is on screen. Returns an error text, empty on success.
QString generateMatch(const GenerateOptions &options);

} // namespace ostrelo::replay

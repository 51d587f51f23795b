#pragma once

#include "tools/replay/match_script.h"

#include <QString>

#include <map>
#include <string>
#include <vector>

namespace ostrelo::replay {

// What the filter made of a scripted match replayed in memory: the expectation check of
// `run --expect`, what the HUD classifier said about the frames it processed, and how often
// the Warzone match gate dropped readings that were right.
struct MatchReport {
	QString name;
	int matched = 0; // shown values the replay confirmed in time
	int missed = 0;
	int wrong = 0;                   // confirmed values the footage did not show
	std::vector<std::string> wrongs; // one line per wrong value
	int processed = 0;               // frames processed

	// The classifier on processed frames, by what the frame shows.
	int matchFrames = 0;                    // in-match or downed
	int matchFramesAsCard = 0;              // of those, classified "placement-card" or "after-action"
	int cardFrames = 0;                     // the placement card
	int cardFramesAsCard = 0;               // of those, classified as an end card
	int finalFromOtherFrame = 0;            // final results taken on a frame that shows no end card
	std::vector<std::string> misclassified; // "12.3s interior in-match as placement-card"

	// The gate, on processed in-match frames (downed included).
	struct Reads {
		int right = 0;   // readings that processing accepts and that equal what is shown
		int blocked = 0; // of those, dropped by the gate
	};
	std::map<std::string, Reads> reads; // by stat key
	int gatedFrames = 0;                // in-match frames whose readings the gate dropped
	int gatedFramesWithRightPlates = 0; // of those, frames whose plates reading was right
};

// Renders the steps once each and replays them as `ostrelo-replay run --expect` does, at fps
// render frames a second, confirmed values allowed `latency` seconds behind the screen.
MatchReport replayMatch(const QString &name, const std::vector<MatchStep> &steps, double fps = 30.0,
			double latency = 1.5);

// The report as lines of text.
std::string formatReport(const MatchReport &report);

} // namespace ostrelo::replay

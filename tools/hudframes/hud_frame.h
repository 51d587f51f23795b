#pragma once

#include <QImage>
#include <QRectF>
#include <QString>

#include <cstdint>

// Synthetic frames of the game's HUD for tests, the demo and the replay tool: the in-match
// counters and plates bar at the Warzone 16:9 positions, the downed tint, and the end card.
// Everything is drawn from a seed, so the same frame comes out byte for byte every time.
namespace ostrelo::hudframes {

enum class Screen { InMatch, Downed, PlacementCard, Lobby };

struct HudFrame {
	Screen screen = Screen::InMatch;
	int width = 1920;
	int height = 1080;
	int kills = 0;
	int playersLeft = 150;
	int teamsLeft = 50;
	int wins = -1;           // drawn at winsRect() when 0 or more
	double plates = 3.0;     // 0 to 3 in halves
	bool redPlayers = false; // the players-left counter drawn in red, as the game does late in a match
	int placement = 1;       // end card
	int cardKills = 0;       // end card
	uint32_t seed = 1;
};

QImage renderHudFrame(const HudFrame &frame);

// Where the wins counter is drawn, in fractions of the frame (it has no preset position).
QRectF winsRect();

// Loads the bundled HUD font (a bold condensed sans from the system's font packages) once;
// returns its family, or an empty string when none of the candidates is installed.
QString hudFontFamily();

} // namespace ostrelo::hudframes

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

// What the game world behind the HUD looks like. Dim is a plain dark scene; the others are
// busier, and Sand, Snow and Flash wash the whole world out towards a bright colour by
// `haze`.
enum class Ground { Dim, Interior, Terrain, Street, Sand, Snow, Flash };

// Blocks: a high-contrast checkerboard, opaque. Map: terrain, roads and water drawn
// translucent over the world, as a live minimap is, so that a bright world shows through.
enum class Minimap { Blocks, Map };

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
	Ground ground = Ground::Dim;
	double haze = 0.0; // Sand, Snow, Flash: 0 (clear) to 1 (all one colour)
	Minimap minimap = Minimap::Blocks;
	QString face;               // family of the counters' face; empty: hudFontFamily()
	double tracking = -0.09;    // letter spacing of the counters, in box heights
	bool counterShadow = false; // a dark drop shadow under the counters
};

QImage renderHudFrame(const HudFrame &frame);

// Where the wins counter is drawn, in fractions of the frame (it has no preset position).
QRectF winsRect();

// Loads the bundled HUD font (a bold condensed sans from the system's font packages) once;
// returns its family, or an empty string when none of the candidates is installed.
QString hudFontFamily();

// Registers a font file once and returns its family; empty when the file is missing.
QString faceFamily(const QString &fontFile);

// Ground names for command lines and reports: "dim", "interior", "terrain", "street", "sand",
// "snow", "flash".
const char *groundName(Ground ground);
bool groundFromName(const QString &name, Ground &ground);

} // namespace ostrelo::hudframes

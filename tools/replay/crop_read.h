#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace ostrelo::replay {

struct CropOptions {
	QString key;                  // a stat key, or "placement"
	QString game;                 // "warzone" or "mw4-multiplayer"
	std::optional<int> region[4]; // x, y, w, h; unset: the whole image (or the preset)
	bool preset = false;          // the Warzone preset row of the key for the image's size
	QString card;                 // "placement" or "aar": read as an end-card number
	double angle = 0;             // plates
	bool explain = false;         // the reader's trace on stderr
	QStringList images;
};

// Reads one stat from each image the way frame processing reads it and prints one line per
// image: value, text and confidence, or that nothing was read. Returns the exit code.
int readCrops(const CropOptions &options);

} // namespace ostrelo::replay

#pragma once

#include <QImage>
#include <QString>

#include <array>
#include <optional>
#include <vector>

// A deterministic corpus of HUD-like crops for measuring the readers: counters in several
// condensed bold fonts, sizes, colours, outlines, backgrounds and degradations; plates
// bars straight, turned and in perspective; end-card placements. Every crop comes from a
// seed, so the same build makes the same corpus byte for byte.
namespace ostrelo::corpus {

enum class Kind {
	Counter, // a HUD counter, read as the Warzone counters are
	Card,    // an end-card number, read as the placement is
	Plates,  // a plates bar
};

struct Item {
	QString slice;
	Kind kind = Kind::Counter;
	double truth = 0;                         // the number drawn; plates: 0 to 3 in halves
	QImage image;                             // RGBA8888
	float angle = 0;                          // plates: the angle the reader is given
	std::optional<std::array<float, 8>> quad; // plates: the corners the reader is given (x0, y0, ... x3, y3)
};

// The slices in corpus order.
const std::vector<QString> &sliceNames();

// Draws every crop of one slice.
std::vector<Item> generateSlice(const QString &slice);

// The fonts the counters are drawn in: family names of the installed ones, and how many
// there are in all.
QStringList corpusFonts();
int corpusFontCount();

const char *kindName(Kind kind);
std::optional<Kind> kindFromName(const QString &name);

// The image after a JPEG round trip at quality (0-100), as a stream or a screenshot tool
// leaves a frame; RGBA8888.
QImage jpegged(const QImage &src, int quality);

} // namespace ostrelo::corpus

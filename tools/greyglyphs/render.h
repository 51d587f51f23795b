#pragma once

#include "glyph_grid.h"

#include <QRawFont>
#include <QString>

namespace greyglyphs {

// How one sample is drawn. The HUD shows its digits at a few sizes and through the stream's
// scaling and compression, so samples of one digit differ a little in weight and softness.
struct Style {
	double pixelSize; // font size in HUD pixels
	double embolden;  // pixels added around the outline (negative: taken off)
	double blur;      // Gaussian sigma in HUD pixels, 0 for none
	double dx, dy;    // sub-pixel placement
	bool antialias;   // hard-edged when false
	double slant;     // horizontal shear of the outline
};

// Draws the digit bright on black at HUD scale.
Picture renderDigit(const QRawFont &font, int digit, const Style &style);

// A picture from an image file (a crop of a capture): the brightest channel of every pixel, so
// white and red digits both come out bright.
bool loadPicture(const QString &path, Picture &picture);

} // namespace greyglyphs

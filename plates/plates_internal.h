#pragma once

// The steps of the plates reader, open to the tests. Nothing here is part of the interface
// the filter and the align window use.

#include "plates/plates_reader.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace ostrelo::plates {

// A bar image larger than this on a side, or holding more pixels than the budget, is never
// made: a plates bar is a thin strip a few hundred pixels long even on an 8K frame, and an
// outline or crop that asks for more is nonsense that would otherwise allocate gigabytes.
constexpr int32_t kMaxBarSide = 8192;
constexpr int64_t kMaxBarPixels = int64_t(1) << 24;

// std::lround of a float whose rounded value fits 32 bits, without the library call it takes
// on every pixel: truncation leaves the fraction exact, and a fraction of at least one half
// rounds away from zero as lround does.
inline int32_t roundHalfAway(float v)
{
	const int32_t whole = int32_t(v);
	const float fraction = v - float(whole);
	return whole + (fraction >= 0.5f ? 1 : fraction <= -0.5f ? -1 : 0);
}

// A pointer, positive sizes and rows at least width * 4 bytes apart.
bool isReadableCrop(const RgbaCrop &image);

// ---- Straightening ------------------------------------------------------------------------

bool isQuadUsable(const std::optional<PlatesOutline> &outline);

// The outline's quadrilateral mapped onto an upright rectangle of at least 48 x 16. Empty when
// the map cannot be solved or the rectangle would exceed the size limits.
std::optional<RgbaImage> rectifyQuad(const RgbaCrop &image, const PlatesOutline &outline);

// The crop turned clockwise by angleDegrees on a canvas that holds all of it. An empty image
// (0 x 0) when that canvas would exceed the size limits, which the reader treats like a canvas
// too small to read.
RgbaImage rotateBar(const RgbaCrop &image, float angleDegrees);

// Bilinear sample of the four bytes at (x, y); neighbours outside the image count as zero.
std::array<uint8_t, 4> sampleBilinear(const RgbaCrop &image, float x, float y);
// The same for a readable image and a point within (-1, width) x (-1, height).
std::array<uint8_t, 4> sampleInside(const RgbaCrop &image, float x, float y);

// ---- Counting -----------------------------------------------------------------------------

bool isPlateBlue(uint8_t r, uint8_t g, uint8_t b);
// The same rules as hue, saturation and value in floats: what isPlateBlue must decide.
bool isPlateBlueByFloats(uint8_t r, uint8_t g, uint8_t b);

// A byte per pixel, 1 where the pixel is plate blue.
struct Mask {
	int32_t width = 0;
	int32_t height = 0;
	std::vector<uint8_t> bits;
	int64_t setCount = 0; // as plateMask made it

	uint8_t at(int32_t x, int32_t y) const { return bits[size_t(y) * size_t(width) + size_t(x)]; }
};

Mask plateMask(const RgbaCrop &image);

// d(x) of the column shear s: (x - width / 2) * s rounded half away from zero.
inline int32_t shearOffset(int32_t x, int32_t width, float s)
{
	// |x - width / 2| < 2^31 and |s| <= 0.1, so the rounded value always fits.
	return roundHalfAway((float(x) - float(width) * 0.5f) * s);
}
// The mask with column x moved down by d(x); what leaves the rows is lost.
Mask shearMask(const Mask &mask, float s);

struct RowBand {
	int32_t first = 0;
	int32_t last = -1;
	int32_t peakCount = 0; // rmax
	int32_t height() const { return last - first + 1; }
};
// The run of rows holding at least 60 % of the fullest row's count that holds the most pixels.
RowBand findRowBand(const Mask &sheared);
// The same from the rows' counts.
RowBand rowBandOf(const std::vector<int32_t> &rows);

std::vector<int32_t> columnProfile(const Mask &sheared, const RowBand &band);
int32_t columnThreshold(const RowBand &band);

// The mask's row counts under any shear without making the sheared mask: a shear moves whole
// runs of columns by one offset, so each run adds the running counts of its rows at once.
class ShearedRows {
public:
	explicit ShearedRows(const Mask &mask);
	// rows[y]: the set pixels of row y of shearMask(mask, s).
	void countAt(float s, std::vector<int32_t> &rows) const;
	int32_t width() const { return width_; }

private:
	int32_t width_ = 0, height_ = 0;
	std::vector<int32_t> before_; // before_[x * height + y]: set pixels of row y left of column x
};
// columnProfile(shearMask(mask, s), band), without making the sheared mask.
std::vector<int32_t> shearedProfile(const Mask &mask, float s, const RowBand &band);

// The shear that gathers most set pixels into one row, k * 0.01 for k = -10 ... 10, the most
// negative on equal scores.
float findShear(const Mask &mask);
struct ShearSearch {
	float shear = 0.f;
	RowBand band; // findRowBand(shearMask(mask, shear))
};
ShearSearch searchShear(const ShearedRows &rows);
// The shear that straightens the bar along its own slope: a line fitted through the set
// pixels of the band that the searched shear gathers (searchedBand), limited to -0.1 ... 0.1.
float barShear(const Mask &mask, float searched, const RowBand &searchedBand);

struct Segment {
	int32_t first;
	int32_t last;
	int32_t length;
	bool operator==(const Segment &o) const { return first == o.first && last == o.last && length == o.length; }
};
// Runs of at least 6 columns with p(x) >= threshold.
std::vector<Segment> findSegments(const std::vector<int32_t> &profile, int32_t threshold);
// Cells that touch come out as one long segment: cut such segments at their deepest inner
// valley, and keep the cuts only when they add segments.
std::vector<Segment> splitMergedCells(const std::vector<Segment> &segments, const std::vector<int32_t> &profile);
// The typical cell width: the upper median of the lengths of at least 40 % of the longest.
int32_t plateWidth(const std::vector<Segment> &segments);

struct PlateScore {
	float sum = 0.f;         // S
	int32_t scored = 0;      // M: segments that scored above 0
	int32_t lastFilled = -1; // R: index of the last segment filled at least 30 %
};
// Fill of each segment over w columns from its first; only the last filled cell may count half.
PlateScore scorePlates(const std::vector<Segment> &segments, const std::vector<int32_t> &profile, int32_t w,
		       int32_t bandHeight);
// What the columns just past the last filled cell add: a cell the segment search missed
// (too short, or cut off by the crop's edge) still counts when enough of it is lit.
float tailProbe(const std::vector<int32_t> &profile, int32_t lastColumn, int32_t w, int32_t threshold);

// ---- The bar's cells ------------------------------------------------------------------------

using Rgb = std::array<float, 3>;
// The mean colour of every column over the band rows, read along the chosen shear.
std::vector<Rgb> columnColours(const RgbaCrop &bar, float shear, const RowBand &band);

// The three cells of the bar: first and last column of each, gaps between them.
struct CellGrid {
	std::array<int32_t, 3> first{};
	std::array<int32_t, 3> last{};
};
// The plates the grid shows when the bar is lit from its first cell up to column litEnd: a cell
// lit over three quarters or more is a plate, over a quarter a half plate.
float gridCount(const CellGrid &grid, int32_t litEnd);
struct LitSpan {
	int32_t first = 0;       // first lit column
	int32_t end = 0;         // last lit column
	int32_t firstRunEnd = 0; // last column of the first run of lit columns
};
struct GridSearch {
	int32_t bandHeight = 0;
	bool perspective = false; // the bar may be drawn in a slight perspective (read through an outline)
};
// The grid of the bar whose lit part spans span, from the colours of the whole bar; none when
// what it rests on does not show or a grid that counts differently explains the colours about
// as well.
std::optional<CellGrid> fitCellGrid(const std::vector<Rgb> &colours, const std::vector<bool> &lit, const LitSpan &span,
				    const GridSearch &search);

struct PlateCount {
	bool found = false;
	float count = 0.f;
};
// perspective: the bar was read through an outline, which may leave a little perspective in it.
PlateCount countPlates(const RgbaCrop &bar, bool perspective = false);

} // namespace ostrelo::plates

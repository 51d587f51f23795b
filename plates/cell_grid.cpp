// The bar's three cells found from the whole bar: lit and unlit cells and the gaps between them.
//
// A game draws the bar as three cells of one width with equal gaps; plates light them from the
// left, a half plate the left half of its cell. Where the lit part starts is therefore where the
// first cell starts, and what remains unknown is the cell width and the gap. A gap shows in the
// band's column colours as a narrow run whose colour lies off the line between the colours on
// its two sides: darker or brighter than both, or of another hue. Blur, glow and compression
// only blend neighbouring colours, and a blend lies on that line, so a lit cell fading into its
// unlit half is no gap. Every candidate grid is scored by the gaps it finds where it puts its
// gaps, less the gaps it finds inside its cells; unlit cells that differ from the gaps pin the
// grid down even when a single lit cell is all that is blue. When no grid stands out against
// those that count differently (unlit cells that look like the ground, nothing visible between
// them), no grid is claimed.

#include "plates/plates_internal.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define OSTRELO_PLATES_SSE2 1
#endif

namespace ostrelo::plates {

namespace {

float distance(const Rgb &a, const Rgb &b)
{
	const float dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
	return std::sqrt(dr * dr + dg * dg + db * db);
}

// Distance of p from the straight line segment between a and b in colour space.
float offSegment(const Rgb &p, const Rgb &a, const Rgb &b)
{
	const float ab[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
	const float ap[3] = {p[0] - a[0], p[1] - a[1], p[2] - a[2]};
	const float len2 = ab[0] * ab[0] + ab[1] * ab[1] + ab[2] * ab[2];
	float t = len2 > 0.f ? (ap[0] * ab[0] + ap[1] * ab[1] + ap[2] * ab[2]) / len2 : 0.f;
	t = std::clamp(t, 0.f, 1.f);
	return distance(p, Rgb{a[0] + t * ab[0], a[1] + t * ab[1], a[2] + t * ab[2]});
}

// a with some of the light of b added, as a glow adds it, up to all of it.
Rgb lightened(const Rgb &a, const Rgb &b)
{
	return {std::min(255.f, a[0] + b[0]), std::min(255.f, a[1] + b[1]), std::min(255.f, a[2] + b[2])};
}

// How far p lies from what blur, compression and glow make between neighbours a and b: their
// blends, and, next to a lit neighbour, the other one lightened by its glow.
float offBlend(const Rgb &p, const Rgb &a, bool aLit, const Rgb &b, bool bLit)
{
	float d = offSegment(p, a, b);
	if (bLit && !aLit)
		d = std::min(d, offSegment(p, a, lightened(a, b)));
	if (aLit && !bLit)
		d = std::min(d, offSegment(p, b, lightened(b, a)));
	return d;
}

// The column colours and lit flags, and the same as planes of four-column vectors can load.
struct Columns {
	const std::vector<Rgb> &colours;
	const std::vector<bool> &lit;
	std::vector<float> r, g, b;
	std::vector<int32_t> litMask; // all bits set where lit

	Columns(const std::vector<Rgb> &c, const std::vector<bool> &l)
	    : colours(c), lit(l), r(c.size()), g(c.size()), b(c.size()), litMask(c.size())
	{
		for (size_t x = 0; x < c.size(); ++x) {
			r[x] = c[x][0];
			g[x] = c[x][1];
			b[x] = c[x][2];
			litMask[x] = l[x] ? -1 : 0;
		}
	}
};

#ifdef OSTRELO_PLATES_SSE2
// Colours of four columns, one per lane.
struct Rgb4 {
	__m128 c[3];
};

Rgb4 loadRgb4(const Columns &cols, size_t x)
{
	return {{_mm_loadu_ps(cols.r.data() + x), _mm_loadu_ps(cols.g.data() + x), _mm_loadu_ps(cols.b.data() + x)}};
}

// offSegment in each lane, with its operations in its order: IEEE rounds a lane as it rounds a
// scalar. Clamping by min and max gives t, or +0 for a t of -0, which leaves a + t * ab as it
// is.
__m128 offSegment4(const Rgb4 &p, const Rgb4 &a, const Rgb4 &b)
{
	__m128 ab[3], ap[3];
	for (int c = 0; c < 3; ++c) {
		ab[c] = _mm_sub_ps(b.c[c], a.c[c]);
		ap[c] = _mm_sub_ps(p.c[c], a.c[c]);
	}
	const __m128 len2 =
		_mm_add_ps(_mm_add_ps(_mm_mul_ps(ab[0], ab[0]), _mm_mul_ps(ab[1], ab[1])), _mm_mul_ps(ab[2], ab[2]));
	const __m128 dot =
		_mm_add_ps(_mm_add_ps(_mm_mul_ps(ap[0], ab[0]), _mm_mul_ps(ap[1], ab[1])), _mm_mul_ps(ap[2], ab[2]));
	const __m128 some = _mm_cmpgt_ps(len2, _mm_setzero_ps());
	__m128 t = _mm_and_ps(some, _mm_div_ps(dot, len2));
	t = _mm_min_ps(_mm_max_ps(t, _mm_setzero_ps()), _mm_set1_ps(1.f));
	__m128 sum = _mm_setzero_ps();
	for (int c = 0; c < 3; ++c) {
		const __m128 d = _mm_sub_ps(p.c[c], _mm_add_ps(a.c[c], _mm_mul_ps(t, ab[c])));
		sum = c == 0 ? _mm_mul_ps(d, d) : _mm_add_ps(sum, _mm_mul_ps(d, d));
	}
	return _mm_sqrt_ps(sum);
}

Rgb4 lightened4(const Rgb4 &a, const Rgb4 &b)
{
	Rgb4 out;
	for (int c = 0; c < 3; ++c)
		out.c[c] = _mm_min_ps(_mm_add_ps(a.c[c], b.c[c]), _mm_set1_ps(255.f));
	return out;
}
#endif

// Per column, how much it stands out from the blends of its neighbours h columns away on
// either side, raised into gapness (the same for every h below): high inside a gap (or a thin
// line) up to 2h - 1 columns wide, near the noise in a plain run or a blend.
void widenGapness(std::vector<float> &gapness, const Columns &cols, int32_t h)
{
	const int32_t width = int32_t(cols.colours.size());
	int32_t x = h;
#ifdef OSTRELO_PLATES_SSE2
	// Four columns at a time: offBlend's three distances in every lane, and the ones its
	// neighbours' lit flags call for taken (std::min(d, e) is e < d ? e : d, as min(e, d) is).
	for (; x + 3 + h < width; x += 4) {
		const size_t l = size_t(x - h), m = size_t(x), r = size_t(x + h);
		const Rgb4 p = loadRgb4(cols, m), a = loadRgb4(cols, l), b = loadRgb4(cols, r);
		const __m128 aLit =
			_mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i *>(cols.litMask.data() + l)));
		const __m128 bLit =
			_mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i *>(cols.litMask.data() + r)));
		__m128 d = offSegment4(p, a, b);
		const __m128 towardsB = _mm_andnot_ps(aLit, bLit), towardsA = _mm_andnot_ps(bLit, aLit);
		// Only columns beside a lit edge take a glow into account; away from the edges, which
		// is nearly everywhere, no lane would keep those distances.
		if (_mm_movemask_ps(towardsB) != 0) {
			const __m128 dB = _mm_min_ps(offSegment4(p, a, lightened4(a, b)), d);
			d = _mm_or_ps(_mm_and_ps(towardsB, dB), _mm_andnot_ps(towardsB, d));
		}
		if (_mm_movemask_ps(towardsA) != 0) {
			const __m128 dA = _mm_min_ps(offSegment4(p, b, lightened4(b, a)), d);
			d = _mm_or_ps(_mm_and_ps(towardsA, dA), _mm_andnot_ps(towardsA, d));
		}
		// std::max(g, d) is g < d ? d : g, as max(d, g) is.
		_mm_storeu_ps(gapness.data() + m, _mm_max_ps(d, _mm_loadu_ps(gapness.data() + m)));
	}
#endif
	for (; x + h < width; ++x) {
		const size_t l = size_t(x - h), r = size_t(x + h);
		gapness[size_t(x)] = std::max(gapness[size_t(x)], offBlend(cols.colours[size_t(x)], cols.colours[l],
									   cols.lit[l], cols.colours[r], cols.lit[r]));
	}
}

// Mean colour over any range of columns in constant time.
class ColourSums {
public:
	explicit ColourSums(const std::vector<Rgb> &colours) : sums_(colours.size() + 1)
	{
		for (size_t x = 0; x < colours.size(); ++x)
			for (size_t c = 0; c < 3; ++c)
				sums_[x + 1][c] = sums_[x][c] + double(colours[x][c]);
	}

	// Over columns a..b, which must lie inside the colours with a <= b.
	Rgb mean(int32_t a, int32_t b) const
	{
		const double n = double(b - a + 1);
		Rgb out{};
		for (size_t c = 0; c < 3; ++c)
			out[c] = float((sums_[size_t(b) + 1][c] - sums_[size_t(a)][c]) / n);
		return out;
	}

private:
	std::vector<std::array<double, 3>> sums_;
};

// Where the levels of a sparse table over n values lie: level k holds, for every start i, the
// extreme of the 2^k values from i. The same for every table over the bar's columns.
class RangeLevels {
public:
	explicit RangeLevels(size_t n) : n_(n), log2_(n + 1, 0)
	{
		for (size_t i = 2; i <= n; ++i)
			log2_[i] = uint8_t(log2_[i / 2] + 1);
		start_.push_back(0);
		size_t length = n;
		for (size_t span = 2; span <= n; span *= 2) {
			start_.push_back(start_.back() + length);
			length = n - span + 1;
		}
		total_ = start_.back() + length;
	}

	size_t count() const { return n_; }
	size_t total() const { return total_; } // values in all levels together
	size_t levels() const { return start_.size(); }
	size_t start(size_t level) const { return start_[level]; }
	size_t levelOf(size_t length) const { return log2_[length]; } // for 1 <= length <= n

private:
	size_t n_, total_ = 0;
	std::vector<uint8_t> log2_;
	std::vector<size_t> start_;
};

// Largest and smallest value over any range of columns in constant time.
class RangeExtremes {
public:
	// Both tables in one allocation: a grid search builds one of these for each gap width it
	// tries.
	RangeExtremes(const std::vector<float> &values, const RangeLevels &levels)
	    : levels_(&levels), table_(2 * levels.total())
	{
		const size_t n = values.size();
		float *const most = table_.data(), *const least = table_.data() + levels.total();
		std::copy(values.begin(), values.end(), most);
		std::copy(values.begin(), values.end(), least);
		for (size_t level = 1, span = 2; level < levels.levels(); ++level, span *= 2) {
			const size_t from = levels.start(level - 1), to = levels.start(level);
			const float *m = most + from, *l = least + from;
			float *nm = most + to, *nl = least + to;
			const size_t half = span / 2;
			size_t i = 0;
#ifdef OSTRELO_PLATES_SSE2
			// std::max(a, b) is a < b ? b : a, which max(b, a) gives; std::min(a, b) likewise.
			for (; i + span + 3 <= n; i += 4) {
				_mm_storeu_ps(nm + i, _mm_max_ps(_mm_loadu_ps(m + i + half), _mm_loadu_ps(m + i)));
				_mm_storeu_ps(nl + i, _mm_min_ps(_mm_loadu_ps(l + i + half), _mm_loadu_ps(l + i)));
			}
#endif
			for (; i + span <= n; ++i) {
				nm[i] = std::max(m[i], m[i + half]);
				nl[i] = std::min(l[i], l[i + half]);
			}
		}
	}

	// Over columns a..b, which must lie inside the values; 0 for an empty range.
	float most(int32_t a, int32_t b) const
	{
		if (b < a)
			return 0.f;
		const size_t level = levels_->levelOf(size_t(b - a + 1));
		const float *m = table_.data() + levels_->start(level);
		return std::max(m[size_t(a)], m[size_t(b) + 1 - (size_t(1) << level)]);
	}
	float least(int32_t a, int32_t b) const
	{
		if (b < a)
			return 0.f;
		const size_t level = levels_->levelOf(size_t(b - a + 1));
		const float *l = table_.data() + levels_->total() + levels_->start(level);
		return std::min(l[size_t(a)], l[size_t(b) + 1 - (size_t(1) << level)]);
	}

private:
	const RangeLevels *levels_;
	std::vector<float> table_; // the largest values' levels, then the smallest values'
};

// Where the columns of an upright bar land in a bar drawn in perspective: column u of the
// upright bar (counted from the bar's first column) lands u / (1 + b * u) columns in, b chosen so
// that the local scale at width columns in is endScale times the scale at the start. A table
// for every u a bar in width columns can reach.
std::vector<int32_t> perspectiveColumns(int32_t width, float endScale)
{
	const double b = (1.0 / std::sqrt(double(endScale)) - 1.0) / std::max(1, width);
	std::vector<int32_t> out;
	for (int32_t u = 0;; ++u) {
		const double x = u / (1.0 + b * u);
		out.push_back(int32_t(std::floor(x + 0.5)));
		if (x > width || b * u <= -0.9)
			break;
	}
	return out;
}

// The grid of cells cellWidth wide with gaps gap wide from column first, through the columns
// of a perspective table; a column past the table lies past any bar.
CellGrid gridAt(const std::vector<int32_t> &columns, int32_t first, int32_t cellWidth, int32_t gap)
{
	constexpr int32_t kBeyond = std::numeric_limits<int32_t>::max() / 2;
	auto column = [&](int64_t u) { return size_t(u) < columns.size() ? first + columns[size_t(u)] : kBeyond; };
	CellGrid grid;
	const int64_t pitch = int64_t(cellWidth) + gap;
	for (size_t k = 0; k < 3; ++k) {
		grid.first[k] = column(int64_t(k) * pitch);
		grid.last[k] = column(int64_t(k) * pitch + cellWidth) - 1;
	}
	return grid;
}

// Counts 0 to 3 in halves as indices 0 to 6.
int32_t countIndex(float count)
{
	return roundHalfAway(count * 2.f);
}

} // namespace

std::vector<Rgb> columnColours(const RgbaCrop &bar, float shear, const RowBand &band)
{
	const size_t width = size_t(std::max(bar.width, 0));
	std::vector<int32_t> offsets(width);
	for (size_t x = 0; x < width; ++x)
		offsets[x] = shearOffset(int32_t(x), bar.width, shear);
	// Gathered row by row, so that the reads run along the bar's rows; sums of whole numbers
	// come out the same in any order.
	std::vector<std::array<int64_t, 4>> sums(width, {0, 0, 0, 0}); // r, g, b and the rows read
	for (int32_t y = band.first; y <= band.last; ++y)
		for (size_t x = 0; x < width; ++x) {
			const int64_t from = int64_t(y) - offsets[x];
			if (from < 0 || from >= bar.height)
				continue;
			const uint8_t *p = bar.pixel(int32_t(x), int32_t(from));
			std::array<int64_t, 4> &sum = sums[x];
			sum[0] += p[0];
			sum[1] += p[1];
			sum[2] += p[2];
			++sum[3];
		}
	std::vector<Rgb> colours(width, Rgb{0.f, 0.f, 0.f});
	for (size_t x = 0; x < width; ++x)
		if (const int64_t n = sums[x][3]; n > 0)
			for (size_t c = 0; c < 3; ++c)
				colours[x][c] = float(sums[x][c]) / float(n);
	return colours;
}

float gridCount(const CellGrid &grid, int32_t litEnd)
{
	float count = 0.f;
	for (size_t k = 0; k < 3; ++k) {
		const int64_t width = int64_t(grid.last[k]) - grid.first[k] + 1;
		if (width <= 0)
			return 0.f;
		const double lit = std::clamp(double(int64_t(litEnd) - grid.first[k] + 1) / double(width), 0.0, 1.0);
		// Halfway between the levels a cell can show: empty, half, full.
		count += lit >= 0.75 ? 1.f : lit >= 0.25 ? 0.5f : 0.f;
	}
	return count;
}

std::optional<CellGrid> fitCellGrid(const std::vector<Rgb> &colours, const std::vector<bool> &lit, const LitSpan &span,
				    const GridSearch &search)
{
	const int32_t width = int32_t(colours.size());
	if (span.first < 0 || span.end < span.first || span.end >= width || span.firstRunEnd < span.first ||
	    span.firstRunEnd > span.end || lit.size() != colours.size())
		return std::nullopt;

	// The first lit run is a cell, half a cell, or at most the three cells run together.
	const int32_t minCell = std::max(3, (span.firstRunEnd - span.first + 1) * 2 / 7);
	// Where the lit part starts and ends, glow, blur and compression ringing mix lit, unlit and
	// gap in ways no blend explains. The grid is found away from both; the count is read at the
	// end.
	const int32_t mix = std::max(3, search.bandHeight / 4);
	const int32_t startMix = span.first + mix, endMixFirst = span.end - mix, endMixLast = span.end + mix;
	const auto inMix = [&](int32_t a, int32_t b) { return b >= endMixFirst && a <= endMixLast; };

	// Gap evidence at the scale of each gap width: every column of a gap must see past both
	// its edges. Each scale adds the neighbours one column further out to the one below it.
	const Columns planes(colours, lit);
	std::vector<std::vector<float>> reachOf{std::vector<float>(colours.size(), 0.f)};
	// Sized once for the widest gap a grid can have, so that no table moves.
	const RangeLevels levels(colours.size());
	std::vector<std::optional<RangeExtremes>> byReach(size_t(std::max(2, width / 3)) + 3);
	auto gapnessTo = [&](size_t reach) -> const std::vector<float> & {
		while (reachOf.size() <= reach) {
			std::vector<float> next = reachOf.back();
			widenGapness(next, planes, int32_t(reachOf.size()));
			reachOf.push_back(std::move(next));
		}
		return reachOf[reach];
	};
	auto evidence = [&](int32_t gap) -> const RangeExtremes & {
		const size_t reach = size_t(gap) + 2;
		gapnessTo(reach);
		if (byReach.size() <= reach)
			byReach.resize(reach + 1);
		if (!byReach[reach])
			byReach[reach].emplace(reachOf[reach], levels);
		return *byReach[reach];
	};
	const ColourSums sums(colours);

	// Gapness at reach 2, copied to be reordered.
	std::vector<float> plain = gapnessTo(2);
	const auto middle = plain.begin() + span.first + ptrdiff_t((width - span.first) / 2);
	std::nth_element(plain.begin() + span.first, middle, plain.end());
	// What stands out by more than a faint edge and than the noise could.
	const float visible = std::max(10.f, 4.f * *middle);

	// A bar read through an outline was drawn back from a perspective the outline may have got a
	// little wrong: a thin bar outlined a pixel or two off in height at either end comes out up
	// to half as large again at one end. Upright bars are searched as they are.
	std::vector<float> endScales{1.f};
	if (search.perspective)
		for (int32_t i = 1; i <= 7; ++i) {
			endScales.push_back(std::pow(1.06f, float(i)));
			endScales.push_back(std::pow(1.06f, float(-i)));
		}

	// The best grid for every count it can give, and whether what it rests on shows.
	std::array<float, 7> best;
	best.fill(-1e30f);
	std::array<CellGrid, 7> grids{};
	std::array<bool, 7> seen{};
	for (const float endScale : endScales) {
		const std::vector<int32_t> columns = perspectiveColumns(width, endScale);
		for (int32_t cell = minCell; gridAt(columns, span.first, cell, 1).last[2] < width; ++cell) {
			for (int32_t gap = 1; gap <= std::max(2, cell / 3); ++gap) {
				const CellGrid grid = gridAt(columns, span.first, cell, gap);
				if (grid.last[2] >= width)
					break;
				if (grid.last[2] < endMixFirst)
					continue;  // the lit part runs on past the bar's end
				bool drawn = true; // every cell and gap at least a column wide
				for (size_t k = 0; k < 3; ++k)
					drawn = drawn && grid.last[k] >= grid.first[k] &&
						(k == 2 || grid.first[k + 1] > grid.last[k] + 1);
				if (!drawn)
					continue;
				const size_t i = size_t(countIndex(gridCount(grid, span.end)));
				const RangeExtremes &q = evidence(gap);
				// The grid rests on its two gaps and on the bar ending where it ends, each seen
				// clear of the lit end; at least two of them must show, and the grid is as good
				// as the second best (a bar's end can look like the ground behind it, a gap
				// between cells over different ground like a blend of them). A gap drawn wider
				// than the game's takes in plain cell columns and shows nothing; a bar ended too
				// early runs on in the same colour.
				std::array<float, 3> parts{};
				size_t count = 0;
				for (size_t k = 0; k < 2; ++k)
					if (!inMix(grid.last[k] + 1, grid.first[k + 1] - 1))
						parts[count++] = q.least(grid.last[k] + 1, grid.first[k + 1] - 1);
				// The bar's end: its last columns against those just past it (one left out for
				// blur when there is room), as many as the crop holds.
				const int32_t tail = std::max(1, std::min(4, (grid.last[2] - grid.first[2] + 1) / 4));
				const int32_t past = grid.last[2] + (grid.last[2] + 2 < width ? 2 : 1);
				const int32_t pastEnd = std::min(width - 1, grid.last[2] + 1 + tail);
				if (past <= pastEnd && !inMix(grid.last[2] - tail + 1, pastEnd))
					parts[count++] = distance(sums.mean(grid.last[2] - tail + 1, grid.last[2]),
								  sums.mean(past, pastEnd));
				if (count < 2)
					continue;
				const float support =
					count == 2 ? std::min(parts[0], parts[1])
						   : std::max(std::min(parts[0], parts[1]),
							      std::min(std::max(parts[0], parts[1]), parts[2]));
				if (support <= best[i])
					continue; // what the cells show can only lower it
				// Less the most any cell shows inside, away from its edges (blur softens them)
				// and from the lit end.
				float worstCell = 0.f;
				for (size_t k = 0; k < 3; ++k) {
					const int32_t edge = std::max(1, (grid.last[k] - grid.first[k] + 1) / 12);
					const int32_t a = std::max(grid.first[k] + edge, startMix + 1),
						      b = grid.last[k] - edge;
					if (!inMix(a, b))
						worstCell = std::max(worstCell, q.most(a, b));
					else
						worstCell =
							std::max({worstCell, q.most(a, std::min(b, endMixFirst - 1)),
								  q.most(std::max(a, endMixLast + 1), b)});
				}
				const float score = support - worstCell;
				if (score > best[i]) {
					best[i] = score;
					grids[i] = grid;
					seen[i] = support >= visible;
				}
			}
		}
	}

	size_t winner = 0;
	for (size_t i = 1; i < 7; ++i)
		if (best[i] > best[winner])
			winner = i;
	size_t second = winner == 0 ? 1 : 0;
	for (size_t i = 0; i < 7; ++i)
		if (i != winner && best[i] > best[second])
			second = i;

	// Claimed only when what the grid rests on shows, and either no grid that counts otherwise
	// fits the crop at all, or the grid stands out from its own cells' insides and no grid that
	// counts otherwise comes close: by a clear edge's worth, or by half of it when that grid's
	// own supports do not show.
	const float margin = best[winner] - best[second];
	const bool alone = best[second] < -1e29f;
	if (!seen[winner] ||
	    !(alone || (best[winner] > 0.f && (margin >= visible || (!seen[second] && margin >= visible / 2)))))
		return std::nullopt;
	return grids[winner];
}

} // namespace ostrelo::plates

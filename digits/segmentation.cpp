#include "digits/segmentation.h"

#include "digits/image_prep.h"

#include <algorithm>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif

namespace ostrelo {
namespace {

struct Component {
	int32_t x0, y0, x1, y1;
	int64_t pixels;
};

#if defined(__SSE2__) || defined(_M_X64)
// Bit i set where byte i of the sixteen at p is zero.
uint32_t zeroMask16(const uint8_t *p)
{
	const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
	return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())));
}

int32_t lowestBit(uint32_t mask)
{
#if defined(_MSC_VER) && !defined(__clang__)
	unsigned long index;
	_BitScanForward(&index, mask);
	return int32_t(index);
#else
	return __builtin_ctz(mask);
#endif
}
#endif

// The first column from x on that holds ink (w if none); sixteen columns at a time where possible.
int32_t skipBackground(const uint8_t *row, int32_t x, int32_t w)
{
#if defined(__SSE2__) || defined(_M_X64)
	for (; x + 16 <= w; x += 16) {
		const uint32_t ink = ~zeroMask16(row + x) & 0xFFFFu;
		if (ink)
			return x + lowestBit(ink);
	}
#endif
	while (x < w && !row[x])
		++x;
	return x;
}

// The first column from x on without ink (w if none).
int32_t skipInk(const uint8_t *row, int32_t x, int32_t w)
{
#if defined(__SSE2__) || defined(_M_X64)
	for (; x + 16 <= w; x += 16) {
		const uint32_t background = zeroMask16(row + x);
		if (background)
			return x + lowestBit(background);
	}
#endif
	while (x < w && row[x])
		++x;
	return x;
}

struct Run {
	int32_t x0, x1, y; // columns x0 .. x1 - 1 of row y
};

// Union-find over runs. Roots are always the smallest index of their set.
int32_t findRoot(std::vector<int32_t> &parent, int32_t i)
{
	while (parent[size_t(i)] != i) {
		parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
		i = parent[size_t(i)];
	}
	return i;
}

void unite(std::vector<int32_t> &parent, int32_t a, int32_t b)
{
	a = findRoot(parent, a);
	b = findRoot(parent, b);
	if (a < b)
		parent[size_t(b)] = a;
	else if (b < a)
		parent[size_t(a)] = b;
}

int64_t median(std::vector<int64_t> values)
{
	const size_t k = values.size() / 2;
	std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(k), values.end());
	return values[k];
}

int32_t inkInColumn(const GrayImage &image, int32_t x, int32_t y0, int32_t y1)
{
	if (x < 0 || x >= image.width)
		return 0;
	int32_t count = 0;
	for (int32_t y = std::max(0, y0); y < std::min(y1, image.height); ++y)
		count += isInk(image.at(x, y)) ? 1 : 0;
	return count;
}

bool mayBeCut(const GlyphBox &box)
{
	return 5 * int64_t(box.bw()) >= 4 * int64_t(box.bh()) && box.bw() >= 8;
}

// The rows of a box that lie in an image h rows high: [first, end), empty when none do.
std::pair<int32_t, int32_t> rowsInImage(const GlyphBox &box, int32_t h)
{
	const int32_t first = std::clamp(box.y0, 0, h);
	return {first, std::max(first, std::clamp(box.y1, 0, h))};
}

// The column ink profile of every box that may be cut (empty for the others): entry c of a
// box counts the ink of column x0 + c over the box's rows, 0 outside the image. Boxes of one
// image can overlap: the boxes of interleaved strokes, hatching or noise each span much of the
// crop, and counting every box pixel by pixel then costs many times the crop. Past the crop's
// own area the counts come from one sweep down the image, which keeps a running ink total
// per column: a box's count is the total at its end row less the total at its first.
std::vector<std::vector<int32_t>> columnProfiles(const GrayImage &bilevel, const GlyphBoxes &boxes)
{
	std::vector<std::vector<int32_t>> profiles(boxes.size());
	const int32_t w = bilevel.width;
	const int32_t h = bilevel.height;
	int64_t area = 0;
	for (size_t i = 0; i < boxes.size(); ++i) {
		if (!mayBeCut(boxes[i]))
			continue;
		profiles[i].assign(size_t(boxes[i].bw()), 0);
		const auto [first, end] = rowsInImage(boxes[i], h);
		area += int64_t(boxes[i].bw()) * (end - first);
	}
	if (area <= int64_t(w) * h || !bilevel.wellFormed()) {
		for (size_t i = 0; i < boxes.size(); ++i)
			for (size_t c = 0; c < profiles[i].size(); ++c)
				profiles[i][c] =
					inkInColumn(bilevel, boxes[i].x0 + int32_t(c), boxes[i].y0, boxes[i].y1);
		return profiles;
	}

	struct Edge {
		int32_t row;
		int32_t sign; // -1 at a box's first row, +1 at its end row
		size_t box;
	};
	std::vector<Edge> edges;
	for (size_t i = 0; i < boxes.size(); ++i) {
		const auto [first, end] = rowsInImage(boxes[i], h);
		if (profiles[i].empty() || first == end)
			continue;
		edges.push_back(Edge{first, -1, i});
		edges.push_back(Edge{end, 1, i});
	}
	std::sort(edges.begin(), edges.end(), [](const Edge &a, const Edge &b) { return a.row < b.row; });
	std::vector<int32_t> running(size_t(w), 0); // ink of each column in the rows above y
	size_t next = 0;
	for (int32_t y = 0; y <= h; ++y) {
		for (; next < edges.size() && edges[next].row == y; ++next) {
			const Edge &e = edges[next];
			std::vector<int32_t> &col = profiles[e.box];
			const int32_t x0 = boxes[e.box].x0;
			// Only the columns inside the image; the others stay 0.
			const int64_t from = std::max<int64_t>(0, -int64_t(x0));
			const int64_t to = std::min<int64_t>(int64_t(col.size()), int64_t(w) - x0);
			for (int64_t c = from; c < to; ++c)
				col[size_t(c)] += e.sign * running[size_t(x0 + c)];
		}
		if (y < h) {
			const uint8_t *row = bilevel.row(y);
			for (int32_t x = 0; x < w; ++x)
				running[size_t(x)] += isInk(row[x]) ? 1 : 0;
		}
	}
	return profiles;
}

GlyphBox unionOf(const GlyphBox &a, const GlyphBox &b)
{
	return GlyphBox{std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

bool arePieces(const GlyphBox &prev, const GlyphBox &cur)
{
	const int64_t hGap = int64_t(cur.x0) - prev.x1;
	const int64_t minH = std::max<int64_t>(1, std::min(cur.bh(), prev.bh()));
	const int64_t vOverlap = int64_t(std::min(cur.y1, prev.y1)) - std::max(cur.y0, prev.y0);
	int64_t vGap = 0;
	if (cur.y0 >= prev.y1)
		vGap = int64_t(cur.y0) - prev.y1;
	else if (prev.y0 >= cur.y1)
		vGap = int64_t(prev.y0) - cur.y1;
	const int64_t minW = std::max<int64_t>(1, std::min(cur.bw(), prev.bw()));
	const int64_t hOverlap = int64_t(std::min(cur.x1, prev.x1)) - std::max(cur.x0, prev.x0);

	const bool sideBySide = hGap <= 1 && vOverlap > minH / 3;
	const bool stacked = hOverlap > minW / 2 && vGap <= std::max<int64_t>(5, minH / 4);
	const GlyphBox u = unionOf(prev, cur);
	// Only a union that stays clearly taller than wide is one glyph.
	return (sideBySide || stacked) && 5 * int64_t(u.bw()) <= 4 * int64_t(u.bh());
}

} // namespace

GlyphBoxes findComponents(const GrayImage &bilevel)
{
	const int32_t w = bilevel.width;
	const int32_t h = bilevel.height;
	if (!bilevel.wellFormed())
		return {};

	// Labelling works on runs of ink within a row rather than on single pixels: two runs in
	// neighbouring rows are 8-connected when their columns overlap or touch diagonally. The
	// union-find keeps the earliest run of a component (in raster order) as its root, so the
	// components come out in the order of their first pixels, exactly as a pixel labelling would.
	std::vector<Run> runs;
	std::vector<int32_t> parent;
	runs.reserve(size_t(h) * 4);
	parent.reserve(size_t(h) * 4);
	size_t previousRow = 0; // first run of the row above
	for (int32_t y = 0; y < h; ++y) {
		const size_t rowStart = runs.size();
		const uint8_t *row = bilevel.row(y);
		// Runs above that end left of a run can touch no run to its right either: the scan of
		// the row above moves on with the row, so a row costs its runs, not their square.
		size_t above = previousRow;
		for (int32_t x = 0; x < w;) {
			x = skipBackground(row, x, w);
			if (x >= w)
				break;
			const int32_t start = x;
			x = skipInk(row, x, w);
			const int32_t self = int32_t(runs.size());
			runs.push_back(Run{start, x, y});
			parent.push_back(self);
			while (above < rowStart && runs[above].x1 < start)
				++above;
			// Runs above that reach from start - 1 to x (inclusive) touch this one.
			for (size_t a = above; a < rowStart && runs[a].x0 <= x; ++a)
				unite(parent, self, int32_t(a));
		}
		previousRow = rowStart;
	}

	std::vector<Component> comps;
	std::vector<int32_t> label(runs.size());
	for (size_t r = 0; r < runs.size(); ++r) {
		const int32_t root = findRoot(parent, int32_t(r));
		if (root == int32_t(r)) {
			label[r] = int32_t(comps.size());
			comps.push_back(Component{runs[r].x0, runs[r].y, runs[r].x1, runs[r].y + 1, 0});
		} else {
			label[r] = label[size_t(root)];
		}
		Component &c = comps[size_t(label[r])];
		c.x0 = std::min(c.x0, runs[r].x0);
		c.x1 = std::max(c.x1, runs[r].x1);
		c.y1 = std::max(c.y1, runs[r].y + 1);
		c.pixels += runs[r].x1 - runs[r].x0;
	}

	const int64_t minPixels = std::max<int64_t>(4, int64_t(w) * h / 800);
	const int32_t minHeight = std::max(4, h / 8);
	GlyphBoxes boxes;
	for (const Component &c : comps)
		if (c.pixels >= minPixels && c.y1 - c.y0 >= minHeight)
			boxes.push_back(GlyphBox{c.x0, c.y0, c.x1, c.y1});
	std::stable_sort(boxes.begin(), boxes.end(), [](const GlyphBox &a, const GlyphBox &b) { return a.x0 < b.x0; });
	return boxes;
}

GlyphBoxes splitWideBoxes(const GrayImage &bilevel, const GlyphBoxes &boxes)
{
	GlyphBoxes out;
	const std::vector<std::vector<int32_t>> profiles = columnProfiles(bilevel, boxes);
	std::vector<int32_t> leftMax, rightMax, cuts;
	for (size_t i = 0; i < boxes.size(); ++i) {
		const GlyphBox &box = boxes[i];
		const int32_t bw = box.bw();
		const int32_t bh = box.bh();
		if (!mayBeCut(box)) {
			out.push_back(box);
			continue;
		}
		const std::vector<int32_t> &col = profiles[i];
		const int32_t peak = *std::max_element(col.begin(), col.end());
		if (peak <= 0) {
			out.push_back(box);
			continue;
		}
		// leftMax[j] = max col[0 .. j-1], rightMax[j] = max col[j+1 .. bw-1].
		leftMax.assign(size_t(bw), 0);
		rightMax.assign(size_t(bw), 0);
		for (int32_t j = 1; j < bw; ++j)
			leftMax[size_t(j)] = std::max(leftMax[size_t(j - 1)], col[size_t(j - 1)]);
		for (int32_t j = bw - 2; j >= 0; --j)
			rightMax[size_t(j)] = std::max(rightMax[size_t(j + 1)], col[size_t(j + 1)]);

		const int32_t minPart = std::max(2, bh / 5);
		cuts.clear();
		for (int32_t j = minPart; j <= bw - minPart - 1; ++j) {
			const int32_t v = col[size_t(j)];
			const int32_t before = col[size_t(j - 1)];
			const int32_t after = col[size_t(j + 1)];
			const bool valley = v <= before && v <= after && (v < before || v < after) && 3 * v <= peak;
			if (!valley)
				continue;
			const int32_t lm = leftMax[size_t(j)];
			const int32_t rm = rightMax[size_t(j)];
			if (2 * lm < peak || 2 * rm < peak || 2 * v > std::min(lm, rm))
				continue;
			// Two cuts closer than a minimal part: keep the deeper one.
			if (!cuts.empty() && j - cuts.back() < minPart) {
				if (col[size_t(cuts.back())] > v)
					cuts.back() = j;
			} else {
				cuts.push_back(j);
			}
		}
		if (cuts.empty()) {
			out.push_back(box);
			continue;
		}
		cuts.push_back(bw);
		int32_t start = box.x0;
		for (int32_t c : cuts) {
			const int32_t end = box.x0 + c;
			if (end - start >= 2)
				out.push_back(GlyphBox{start, box.y0, end, box.y1});
			start = end;
		}
	}
	return out;
}

GlyphBoxes mergeBoxPieces(const GlyphBoxes &boxes)
{
	if (boxes.size() < 2)
		return boxes;
	GlyphBoxes current = boxes;
	bool merged = true;
	while (merged) {
		merged = false;
		GlyphBoxes next;
		next.reserve(current.size());
		next.push_back(current.front());
		for (size_t i = 1; i < current.size(); ++i) {
			GlyphBox &prev = next.back();
			if (arePieces(prev, current[i])) {
				prev = unionOf(prev, current[i]);
				merged = true;
			} else {
				next.push_back(current[i]);
			}
		}
		current.swap(next);
	}
	return current;
}

GlyphBoxes selectTextLine(const GlyphBoxes &boxes, int32_t imageHeight)
{
	GlyphBoxes kept = boxes;
	if (imageHeight > 0 && !kept.empty()) {
		const int64_t H = imageHeight;
		kept.erase(std::remove_if(kept.begin(), kept.end(),
					  [H](const GlyphBox &b) {
						  const bool tall = 16 * std::max<int64_t>(1, b.bh()) / 10 >= H;
						  const bool low = (int64_t(b.y0) + b.y1) / 2 >= 2 * H / 5;
						  return !tall && !low;
					  }),
			   kept.end());
		if (kept.empty())
			return kept;
	}
	if (kept.size() < 2)
		return kept;

	std::vector<int64_t> heights;
	for (const GlyphBox &b : kept)
		heights.push_back(b.bh());
	const int64_t gap = std::max<int64_t>(2, median(heights) / 4);

	std::stable_sort(kept.begin(), kept.end(), [](const GlyphBox &a, const GlyphBox &b) {
		return int64_t(a.y0) + a.y1 < int64_t(b.y0) + b.y1;
	});
	size_t lineStart = 0;
	int64_t bottom = kept.front().y1;
	for (size_t i = 1; i < kept.size(); ++i) {
		if (kept[i].y0 >= bottom + gap) {
			lineStart = i;
			bottom = kept[i].y1;
		} else {
			bottom = std::max<int64_t>(bottom, kept[i].y1);
		}
	}
	GlyphBoxes line(kept.begin() + std::ptrdiff_t(lineStart), kept.end());
	std::stable_sort(line.begin(), line.end(), [](const GlyphBox &a, const GlyphBox &b) { return a.x0 < b.x0; });
	return line;
}

GlyphBoxes segmentGlyphs(const GrayImage &bilevel)
{
	return selectTextLine(mergeBoxPieces(splitWideBoxes(bilevel, findComponents(bilevel))), bilevel.height);
}

bool isConsistentRow(const GlyphBoxes &boxes)
{
	if (boxes.size() < 2)
		return true;
	std::vector<int64_t> heights, widths;
	for (const GlyphBox &b : boxes) {
		heights.push_back(std::max(1, b.bh()));
		widths.push_back(std::max(1, b.bw()));
	}
	const int64_t medH = median(heights);
	const int64_t medW = median(widths);
	for (const GlyphBox &b : boxes) {
		const int64_t bh = b.bh();
		if (5 * bh < 3 * medH || 3 * bh > 5 * medH)
			return false;
	}
	for (size_t i = 1; i < boxes.size(); ++i) {
		const int64_t overlap = int64_t(boxes[i - 1].x1) - boxes[i].x0;
		const int64_t gap = int64_t(boxes[i].x0) - boxes[i - 1].x1;
		if (overlap > medW / 2 || gap > 2 * medW + medH / 2)
			return false;
	}
	return true;
}

} // namespace ostrelo

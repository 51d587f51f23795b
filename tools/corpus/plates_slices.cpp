#include "tools/corpus/plates_slices.h"

#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace ostrelo::corpus {

namespace {

struct PlatesSlice {
	const char *name;
	int frameHeight; // the capture the HUD is drawn for: bar sizes scale with it
	bool jpeg;
	int count;
};

// 210 crops a slice: every count from 0 to 3 in halves thirty times.
const PlatesSlice kSlices[] = {
	{"plates-720p", 720, false, 210},   {"plates-720p-jpeg", 720, true, 210},
	{"plates-1080p", 1080, false, 210}, {"plates-1080p-jpeg", 1080, true, 210},
	{"plates-1440p", 1440, false, 210}, {"plates-1440p-jpeg", 1440, true, 210},
	{"plates-2160p", 2160, false, 210}, {"plates-2160p-jpeg", 2160, true, 210},
};

double uniform(QRandomGenerator &rng, double lo, double hi)
{
	return lo + (hi - lo) * rng.generateDouble();
}

int pick(QRandomGenerator &rng, int lo, int hi)
{
	return lo + int(rng.bounded(uint32_t(hi - lo + 1)));
}

bool chance(QRandomGenerator &rng, double p)
{
	return rng.generateDouble() < p;
}

int luma(QRgb c)
{
	return (299 * qRed(c) + 587 * qGreen(c) + 114 * qBlue(c)) / 1000;
}

// A colour of the scene: grey, warm or green, never blue enough to pass for a lit cell.
QColor sceneColor(QRandomGenerator &rng, int v)
{
	const int r = std::clamp(v + pick(rng, 0, 14), 0, 255), g = std::clamp(v + pick(rng, -4, 12), 0, 255);
	return QColor(r, g, std::clamp(v - pick(rng, 0, 12), 0, 255));
}

// What lies behind the HUD: dark or bright, flat, graded or broken into blocks of terrain.
void paintScene(QImage &img, QRandomGenerator &rng)
{
	const int w = img.width(), h = img.height();
	QPainter p(&img);
	const int kind = pick(rng, 0, 3);
	const int base = kind == 3 ? pick(rng, 140, 225) : pick(rng, 8, 110);
	if (kind == 1) {
		QLinearGradient grad(0, 0, rng.bounded(2) ? w : 0, rng.bounded(2) ? h : h / 3);
		grad.setColorAt(0, sceneColor(rng, base));
		grad.setColorAt(1, sceneColor(rng, std::clamp(base + pick(rng, -60, 60), 0, 255)));
		p.fillRect(img.rect(), grad);
	} else {
		p.fillRect(img.rect(), sceneColor(rng, base));
	}
	if (kind >= 2) {
		const int blocks = pick(rng, 3, 9);
		for (int i = 0; i < blocks; ++i)
			p.fillRect(QRectF(uniform(rng, -w * 0.2, w), uniform(rng, -h * 0.2, h),
					  uniform(rng, w * 0.05, w * 0.5), uniform(rng, h * 0.1, h * 0.8)),
				   sceneColor(rng, std::clamp(base + pick(rng, -45, 45), 0, 255)));
	}
}

double meanLuma(const QImage &img, const QRectF &r)
{
	double sum = 0;
	int n = 0;
	for (int y = std::max(0, int(r.top())); y < std::min(img.height(), int(std::ceil(r.bottom()))); ++y)
		for (int x = std::max(0, int(r.left())); x < std::min(img.width(), int(std::ceil(r.right()))); ++x) {
			sum += luma(img.pixel(x, y));
			++n;
		}
	return n ? sum / n : 0;
}

// Dark grey that stands apart from what the gaps show (at least 18 levels lighter or darker).
int unlitGrey(QRandomGenerator &rng, double gapLuma)
{
	for (int tries = 0; tries < 64; ++tries) {
		const int v = pick(rng, 38, 110);
		if (std::fabs(v - gapLuma) >= 18)
			return v;
	}
	return gapLuma < 74 ? 110 : 38;
}

// Separable Gaussian blur of an 8-bit mask.
std::vector<float> blurredMask(const std::vector<float> &mask, int w, int h, double sigma)
{
	const int r = std::max(1, int(std::ceil(sigma * 2.5)));
	std::vector<double> k(size_t(2 * r + 1));
	double sum = 0;
	for (int i = -r; i <= r; ++i)
		sum += k[size_t(i + r)] = std::exp(-(i * i) / (2 * sigma * sigma));
	std::vector<float> a(mask.size()), b(mask.size());
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x) {
			double acc = 0;
			for (int i = -r; i <= r; ++i)
				acc += k[size_t(i + r)] * mask[size_t(y * w + std::clamp(x + i, 0, w - 1))];
			a[size_t(y * w + x)] = float(acc / sum);
		}
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x) {
			double acc = 0;
			for (int i = -r; i <= r; ++i)
				acc += k[size_t(i + r)] * a[size_t(std::clamp(y + i, 0, h - 1) * w + x)];
			b[size_t(y * w + x)] = float(acc / sum);
		}
	return b;
}

Item barItem(const PlatesSlice &slice, int index, QRandomGenerator &rng)
{
	const double plates = (index % 7) / 2.0;
	// The bar's geometry at 1080p (12 to 14.5 pixels high with its backing, cells of 54 to 70
	// columns 3.5 to 6 apart), scaled to the capture: 8 to 9.7 pixels high at 720p, 16 to 19.3
	// at 1440p, 24 to 29 at 2160p.
	const double s = slice.frameHeight / 1080.0;
	const double barH = uniform(rng, 12, 14.5) * s, cellH = barH * uniform(rng, 0.68, 0.8);
	const double pad = (barH - cellH) / 2, hud = s;
	const double cellW = uniform(rng, 54, 70) * s, gap = uniform(rng, 3.5, 6.0) * s;
	const double barW = 3 * cellW + 2 * gap + 2 * pad;

	// The box the user drew around the bar, and the frame around that box.
	const double ml = uniform(rng, 1.5, 12) * s, mr = uniform(rng, 1.5, 12) * s;
	const double mt = uniform(rng, 1.5, 8) * s, mb = uniform(rng, 1.5, 8) * s;
	const int context = 24;
	const int cropW = int(std::ceil(barW + ml + mr)), cropH = int(std::ceil(barH + mt + mb));
	QImage scene(cropW + 2 * context, cropH + 2 * context, QImage::Format_RGB32);
	paintScene(scene, rng);
	const QRectF bar(context + ml, context + mt, barW, barH);

	QPainter p(&scene);
	p.setRenderHint(QPainter::Antialiasing, true);
	if (chance(rng, 0.65)) {
		const int v = pick(rng, 0, 30);
		p.fillRect(bar, QColor(v, v, v + pick(rng, 0, 4), pick(rng, 110, 230)));
	}
	p.end();
	const int unlit = unlitGrey(rng, meanLuma(scene, bar.adjusted(pad, pad, -pad, -pad)));
	const QColor unlitColor(unlit, unlit + pick(rng, 0, 3), unlit + pick(rng, 0, 5),
				chance(rng, 0.3) ? pick(rng, 190, 235) : 255);
	// The HUD's plate blue: hue 188 to 212, strongly saturated and bright.
	const QColor lit =
		QColor::fromHsvF(uniform(rng, 188, 212) / 360.0, uniform(rng, 0.6, 0.88), uniform(rng, 0.8, 1.0));
	const int litStyle = pick(rng, 0, 2); // flat, lighter towards the top, a bright top edge

	std::vector<QRectF> litRects;
	p.begin(&scene);
	p.setRenderHint(QPainter::Antialiasing, true);
	if (chance(rng, 0.25)) { // an outline around the whole bar
		const double bw = std::max(1.0, hud);
		const int v = pick(rng, 100, 200);
		p.setPen(QPen(QColor(v, v, v + pick(rng, -6, 6), pick(rng, 140, 255)), bw));
		p.setBrush(Qt::NoBrush);
		p.drawRect(bar.adjusted(-bw / 2, -bw / 2, bw / 2, bw / 2));
	}
	const bool cellBorders = chance(rng, 0.3);
	const int borderGrey = pick(rng, 120, 190);
	const QColor border = rng.bounded(2) ? QColor(0, 0, 0, pick(rng, 160, 255))
					     : QColor(borderGrey, borderGrey, borderGrey, pick(rng, 150, 255));
	for (int k = 0; k < 3; ++k) {
		const QRectF cell(bar.x() + pad + k * (cellW + gap), bar.y() + pad, cellW, cellH);
		p.fillRect(cell, unlitColor);
		const double on = std::clamp(plates - k, 0.0, 1.0);
		if (on > 0) {
			const QRectF part(cell.x(), cell.y(), cell.width() * on, cell.height());
			litRects.push_back(part);
			if (litStyle == 1) {
				QLinearGradient grad(0, part.top(), 0, part.bottom());
				grad.setColorAt(0, lit.lighter(125));
				grad.setColorAt(1, lit);
				p.fillRect(part, grad);
			} else {
				p.fillRect(part, lit);
				if (litStyle == 2)
					p.fillRect(QRectF(part.x(), part.y(), part.width(), std::max(1.0, hud)),
						   lit.lighter(135));
			}
		}
		if (cellBorders) {
			const double bw = std::max(1.0, hud);
			p.setPen(QPen(border, bw));
			p.setBrush(Qt::NoBrush);
			p.drawRect(cell.adjusted(bw / 2, bw / 2, -bw / 2, -bw / 2));
		}
	}
	p.end();

	// Lit cells glow: their light spills into the gaps and around the bar.
	if (!litRects.empty() && chance(rng, 0.4)) {
		const int w = scene.width(), h = scene.height();
		QImage cover(w, h, QImage::Format_Grayscale8);
		cover.fill(0);
		QPainter cp(&cover);
		cp.setRenderHint(QPainter::Antialiasing, true);
		for (const QRectF &r : litRects)
			cp.fillRect(r, Qt::white);
		cp.end();
		std::vector<float> mask(size_t(w) * size_t(h));
		for (int y = 0; y < h; ++y)
			for (int x = 0; x < w; ++x)
				mask[size_t(y * w + x)] = cover.constScanLine(y)[x] / 255.f;
		const std::vector<float> glow = blurredMask(mask, w, h, uniform(rng, 0.8, 2.0) * hud);
		const double strength = uniform(rng, 0.35, 0.8);
		for (int y = 0; y < h; ++y) {
			auto *row = reinterpret_cast<QRgb *>(scene.scanLine(y));
			for (int x = 0; x < w; ++x) {
				const double a = strength * glow[size_t(y * w + x)] * (1.0 - mask[size_t(y * w + x)]);
				const QRgb c = row[x];
				row[x] = qRgb(std::min(255, int(qRed(c) + a * lit.red())),
					      std::min(255, int(qGreen(c) + a * lit.green())),
					      std::min(255, int(qBlue(c) + a * lit.blue())));
			}
		}
	}

	// Sensor grain, then the capture's compression over the whole frame region.
	const int grain = pick(rng, 1, 5);
	for (int y = 0; y < scene.height(); ++y) {
		auto *row = reinterpret_cast<QRgb *>(scene.scanLine(y));
		for (int x = 0; x < scene.width(); ++x) {
			const QRgb c = row[x];
			row[x] = qRgb(std::clamp(qRed(c) + pick(rng, -grain, grain), 0, 255),
				      std::clamp(qGreen(c) + pick(rng, -grain, grain), 0, 255),
				      std::clamp(qBlue(c) + pick(rng, -grain, grain), 0, 255));
		}
	}
	if (slice.jpeg)
		scene = jpegged(scene, pick(rng, 40, 85)).convertToFormat(QImage::Format_RGB32);

	Item item;
	item.slice = slice.name;
	item.kind = Kind::Plates;
	item.truth = plates;
	item.image = scene.copy(context, context, cropW, cropH).convertToFormat(QImage::Format_RGBA8888);
	// A quarter of the users outline the bar by its corners instead, a pixel or so off.
	if (chance(rng, 0.25)) {
		const double jx = 1.5 * s, jy = 1.0 * s;
		const QPointF corners[4] = {{ml, mt}, {ml + barW, mt}, {ml + barW, mt + barH}, {ml, mt + barH}};
		std::array<float, 8> q{};
		for (int i = 0; i < 4; ++i) {
			q[size_t(2 * i)] = float(corners[i].x() + uniform(rng, -jx, jx));
			q[size_t(2 * i + 1)] = float(corners[i].y() + uniform(rng, -jy, jy));
		}
		item.quad = q;
	}
	return item;
}

} // namespace

const std::vector<QString> &platesSliceNames()
{
	static const std::vector<QString> names = [] {
		std::vector<QString> out;
		for (const PlatesSlice &s : kSlices)
			out.emplace_back(s.name);
		return out;
	}();
	return names;
}

std::vector<Item> generatePlatesSlice(const QString &name)
{
	std::vector<Item> items;
	const auto it = std::find_if(std::begin(kSlices), std::end(kSlices),
				     [&](const PlatesSlice &s) { return name == s.name; });
	if (it == std::end(kSlices))
		return items;
	uint32_t seed = 2166136261u; // FNV-1a of the name, as the other slices
	for (const QChar c : name)
		seed = (seed ^ c.unicode()) * 16777619u;
	QRandomGenerator rng(seed);
	for (int i = 0; i < it->count; ++i)
		items.push_back(barItem(*it, i, rng));
	return items;
}

} // namespace ostrelo::corpus

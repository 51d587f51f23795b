#include "tools/corpus/corpus.h"
#include "tools/corpus/plates_slices.h"

#include <QBuffer>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <functional>

namespace ostrelo::corpus {

namespace {

// Bold condensed sans faces from Debian's font packages, in the order of the font slices.
struct FontFile {
	const char *slice;
	const char *path;
};
const FontFile kFontFiles[] = {
	{"font-roboto", "/usr/share/fonts/truetype/roboto/unhinted/RobotoCondensed-Bold.ttf"},
	{"font-dejavu", "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf"},
	{"font-bebas", "/usr/share/fonts/opentype/bebas-neue/BebasNeue-Bold.otf"},
	{"font-liberation", "/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Bold.ttf"},
	{"font-nimbus", "/usr/share/fonts/opentype/urw-base35/NimbusSansNarrow-Bold.otf"},
	// Faces the learned reader never trains on: slices of their own, never drawn at random.
	{"face-ptsans", "/usr/share/fonts/truetype/paratype/PTN77F.ttf"},
	{"face-opensans", "/usr/share/fonts/truetype/open-sans/OpenSans-CondBold.ttf"},
	{"face-universalis", "/usr/share/fonts/truetype/adf/UniversalisADFStd-BoldCond.otf"},
	{"face-cantarell", "/usr/share/fonts/opentype/cantarell/Cantarell-Bold.otf"},
	// Further faces, also only in their own slices.
	{"face-din", "/usr/share/fonts/truetype/opendin/OSP-DIN.ttf"},
	{"face-switzera", "/usr/share/fonts/truetype/adf/SwitzeraADF-BoldCond.otf"},
	{"face-play", "/usr/share/fonts/truetype/play/Play-Bold.ttf"},
};
// The faces the other slices pick from at random: the first five, so that adding faces
// leaves every slice drawn before as it was.
constexpr int kRandomFaces = 5;

enum class Ink { White, Grey, Red, Yellow };
enum class Effect { None, Outline, Shadow, Any };
enum class Ground { Flat, Gradient, Textured, Bright, Haze, Snow };

struct Style {
	int font = -1;                      // index into kFontFiles; -1: any
	int minHeight = 16, maxHeight = 32; // digit height in pixels
	Ink ink = Ink::White;
	Effect effect = Effect::None;
	Ground ground = Ground::Flat;
	bool subpixel = false;
	bool blur = false;
	bool rescale = false;
	bool jpeg = false;
	int maxValue = 200;
	bool anything = false;    // every dimension drawn at random
	bool lowContrast = false; // grey ink a little brighter than a mid-grey ground
	bool iconEdge = false;    // part of a HUD icon cut by the crop's left or right edge
	// The box around the number, in digit heights: left and right, top and bottom margins.
	double sideMin = 0.2, sideMax = 0.8, endMin = 0.15, endMax = 0.45;
};

struct Slice {
	const char *name;
	Kind kind;
	int count;
	Style style;
};

Style with(std::initializer_list<std::function<void(Style &)>> edits)
{
	Style s;
	for (const auto &e : edits)
		e(s);
	return s;
}

const std::vector<Slice> &slices()
{
	static const std::vector<Slice> all = [] {
		std::vector<Slice> v;
		for (int f = 0; f < kRandomFaces; ++f)
			v.push_back({kFontFiles[f].slice, Kind::Counter, 60, with({[f](Style &s) { s.font = f; }})});
		static const char *heights[] = {"height-10", "height-12", "height-14", "height-16", "height-20",
						"height-24", "height-32", "height-40", "height-48"};
		const int hv[] = {10, 12, 14, 16, 20, 24, 32, 40, 48};
		for (int i = 0; i < 9; ++i)
			v.push_back({heights[i], Kind::Counter, 60,
				     with({[h = hv[i]](Style &s) { s.minHeight = s.maxHeight = h; }})});
		v.push_back({"ink-white", Kind::Counter, 60, with({[](Style &s) { s.ink = Ink::White; }})});
		v.push_back({"ink-grey", Kind::Counter, 60, with({[](Style &s) { s.ink = Ink::Grey; }})});
		v.push_back({"ink-red", Kind::Counter, 60, with({[](Style &s) { s.ink = Ink::Red; }})});
		v.push_back({"ink-yellow", Kind::Counter, 60, with({[](Style &s) { s.ink = Ink::Yellow; }})});
		v.push_back({"effect-none", Kind::Counter, 60, with({[](Style &s) { s.ground = Ground::Textured; }})});
		v.push_back({"effect-outline", Kind::Counter, 60, with({[](Style &s) {
				     s.ground = Ground::Textured;
				     s.effect = Effect::Outline;
			     }})});
		v.push_back({"effect-shadow", Kind::Counter, 60, with({[](Style &s) {
				     s.ground = Ground::Textured;
				     s.effect = Effect::Shadow;
			     }})});
		v.push_back({"ground-flat", Kind::Counter, 60, with({[](Style &s) { s.effect = Effect::Any; }})});
		v.push_back({"ground-gradient", Kind::Counter, 60, with({[](Style &s) {
				     s.effect = Effect::Any;
				     s.ground = Ground::Gradient;
			     }})});
		v.push_back({"ground-textured", Kind::Counter, 60, with({[](Style &s) {
				     s.effect = Effect::Any;
				     s.ground = Ground::Textured;
			     }})});
		// White digits on a bright ground carry an outline or a shadow, as every HUD does.
		v.push_back({"ground-bright", Kind::Counter, 60, with({[](Style &s) {
				     s.ground = Ground::Bright;
				     s.effect = Effect::Any;
			     }})});
		v.push_back({"blur", Kind::Counter, 60, with({[](Style &s) { s.blur = true; }})});
		v.push_back({"rescale", Kind::Counter, 60, with({[](Style &s) { s.rescale = true; }})});
		v.push_back({"jpeg", Kind::Counter, 60, with({[](Style &s) { s.jpeg = true; }})});
		v.push_back({"subpixel", Kind::Counter, 60, with({[](Style &s) { s.subpixel = true; }})});
		v.push_back({"kills-999", Kind::Counter, 60, with({[](Style &s) { s.maxValue = 999; }})});
		v.push_back({"mixed", Kind::Counter, 150, with({[](Style &s) { s.anything = true; }})});
		for (int f = kRandomFaces; f < int(std::size(kFontFiles)); ++f)
			v.push_back({kFontFiles[f].slice, Kind::Counter, 60, with({[f](Style &s) {
					     s.font = f;
					     s.effect = Effect::Any;
				     }})});
		static const char *small[] = {"height-9", "height-11", "height-13"};
		for (int i = 0; i < 3; ++i)
			v.push_back({small[i], Kind::Counter, 60,
				     with({[h = 9 + 2 * i](Style &s) { s.minHeight = s.maxHeight = h; }})});
		// Bright hazy and snowy worlds behind the HUD; its numbers keep an outline or shadow.
		v.push_back({"ground-haze", Kind::Counter, 60, with({[](Style &s) {
				     s.ground = Ground::Haze;
				     s.effect = Effect::Any;
			     }})});
		v.push_back({"ground-snow", Kind::Counter, 60, with({[](Style &s) {
				     s.ground = Ground::Snow;
				     s.effect = Effect::Any;
			     }})});
		v.push_back({"contrast-low", Kind::Counter, 60, with({[](Style &s) { s.lowContrast = true; }})});
		v.push_back({"icon-edge", Kind::Counter, 60, with({[](Style &s) {
				     s.iconEdge = true;
				     s.sideMin = 0.6;
				     s.sideMax = 1.0;
			     }})});
		v.push_back({"margin-tight", Kind::Counter, 60, with({[](Style &s) {
				     s.sideMin = 0.0;
				     s.sideMax = 0.12;
				     s.endMin = 0.0;
				     s.endMax = 0.1;
			     }})});
		v.push_back({"margin-loose", Kind::Counter, 60, with({[](Style &s) {
				     s.sideMin = 1.0;
				     s.sideMax = 2.0;
				     s.endMin = 0.6;
				     s.endMax = 1.2;
			     }})});
		v.push_back({"card-placement", Kind::Card, 60, Style{}});
		v.push_back({"plates-straight", Kind::Plates, 60, Style{}});
		v.push_back({"plates-angle", Kind::Plates, 60, Style{}});
		v.push_back({"plates-quad", Kind::Plates, 60, Style{}});
		return v;
	}();
	return all;
}

QString familyOf(int font)
{
	static const std::vector<QString> families = [] {
		std::vector<QString> out;
		for (const FontFile &f : kFontFiles) {
			const int id = QFile::exists(f.path) ? QFontDatabase::addApplicationFont(f.path) : -1;
			const QStringList names = QFontDatabase::applicationFontFamilies(id);
			out.push_back(names.isEmpty() ? QString() : names.first());
		}
		return out;
	}();
	return families[size_t(font)];
}

double uniform(QRandomGenerator &rng, double lo, double hi)
{
	return lo + (hi - lo) * rng.generateDouble();
}

int pick(QRandomGenerator &rng, int lo, int hi)
{
	return lo + int(rng.bounded(uint32_t(hi - lo + 1)));
}

// A quarter single digits, half two digits, a quarter three: what the counters show.
int drawValue(QRandomGenerator &rng, int maxValue)
{
	const double u = rng.generateDouble();
	if (u < 0.25)
		return pick(rng, 0, 9);
	if (u < 0.75 || maxValue < 100)
		return pick(rng, 10, std::min(99, maxValue));
	return pick(rng, 100, maxValue);
}

QColor inkColor(Ink ink, QRandomGenerator &rng)
{
	switch (ink) {
	case Ink::White: {
		const int v = pick(rng, 238, 255);
		return QColor(v, v, v);
	}
	case Ink::Grey: {
		const int v = pick(rng, 160, 205);
		return QColor(v, v, v);
	}
	case Ink::Red:
		return QColor(pick(rng, 215, 245), pick(rng, 25, 55), pick(rng, 25, 55));
	case Ink::Yellow:
		return QColor(pick(rng, 238, 255), pick(rng, 195, 220), pick(rng, 30, 70));
	}
	return Qt::white;
}

void paintGround(QImage &img, Ground ground, QRandomGenerator &rng)
{
	const int w = img.width(), h = img.height();
	QPainter p(&img);
	switch (ground) {
	case Ground::Flat: {
		const int v = pick(rng, 12, 70);
		p.fillRect(img.rect(), QColor(v, v + pick(rng, 0, 10), std::max(0, v - pick(rng, 0, 10))));
		break;
	}
	case Ground::Gradient: {
		QLinearGradient g(0, 0, rng.bounded(2) ? w : 0, rng.bounded(2) ? h : 0);
		const int a = pick(rng, 10, 60), b = pick(rng, 80, 150);
		g.setColorAt(0, QColor(a, a, a + 8));
		g.setColorAt(1, QColor(b, b - 5, b - 10));
		p.fillRect(img.rect(), g);
		break;
	}
	case Ground::Haze:
	case Ground::Snow: {
		// A washed-out world: bright, soft and nearly even, sand-coloured or white.
		const bool snow = ground == Ground::Snow;
		const int base = snow ? pick(rng, 205, 240) : pick(rng, 185, 220);
		const auto tint = [snow](int v) {
			return snow ? QColor(v - 4, v - 1, std::min(255, v + 4)) : QColor(v, v - 14, v - 45);
		};
		p.fillRect(img.rect(), tint(base));
		for (int i = 0, n = pick(rng, 2, 5); i < n; ++i) {
			const QPointF c(uniform(rng, 0, w), uniform(rng, 0, h));
			const double r = uniform(rng, 0.3, 1.0) * std::max(w, h);
			QRadialGradient g(c, r);
			QColor blob = tint(std::clamp(base + pick(rng, -30, 20), 0, 255));
			g.setColorAt(0, blob);
			blob.setAlpha(0);
			g.setColorAt(1, blob);
			p.fillRect(img.rect(), g);
		}
		break;
	}
	case Ground::Textured:
	case Ground::Bright: {
		const bool bright = ground == Ground::Bright;
		const int base = bright ? pick(rng, 175, 225) : pick(rng, 30, 90);
		p.fillRect(img.rect(), QColor(base, base, base));
		// Blocks of terrain, foliage or sky of differing brightness.
		const int blocks = pick(rng, 3, 8);
		for (int i = 0; i < blocks; ++i) {
			const int v = std::clamp(base + pick(rng, -45, 45), 0, 255);
			p.fillRect(QRectF(uniform(rng, -w * 0.2, w), uniform(rng, -h * 0.2, h),
					  uniform(rng, w * 0.1, w * 0.6), uniform(rng, h * 0.1, h * 0.7)),
				   QColor(v, std::clamp(v + pick(rng, -12, 12), 0, 255),
					  std::clamp(v + pick(rng, -12, 12), 0, 255)));
		}
		break;
	}
	}
	p.end();
	// Sensor-like grain on every ground.
	for (int y = 0; y < h; ++y) {
		auto *row = reinterpret_cast<uint8_t *>(img.scanLine(y));
		for (int x = 0; x < w; ++x)
			for (int c = 0; c < 3; ++c)
				row[4 * x + c] = uint8_t(std::clamp(int(row[4 * x + c]) + pick(rng, -6, 6), 0, 255));
	}
}

// Gaussian blur, separable, on the colour channels.
QImage blurred(const QImage &src, double sigma)
{
	const int r = std::max(1, int(std::ceil(sigma * 2.5)));
	std::vector<double> k(size_t(2 * r + 1));
	double sum = 0;
	for (int i = -r; i <= r; ++i)
		sum += k[size_t(i + r)] = std::exp(-(i * i) / (2 * sigma * sigma));
	for (double &v : k)
		v /= sum;
	QImage a = src, b = src;
	const int w = src.width(), h = src.height();
	for (int pass = 0; pass < 2; ++pass) {
		const QImage &in = pass == 0 ? src : a;
		QImage &out = pass == 0 ? a : b;
		for (int y = 0; y < h; ++y)
			for (int x = 0; x < w; ++x)
				for (int c = 0; c < 3; ++c) {
					double acc = 0;
					for (int i = -r; i <= r; ++i) {
						const int sx = pass == 0 ? std::clamp(x + i, 0, w - 1) : x;
						const int sy = pass == 1 ? std::clamp(y + i, 0, h - 1) : y;
						acc += k[size_t(i + r)] * in.constScanLine(sy)[4 * sx + c];
					}
					out.scanLine(y)[4 * x + c] = uint8_t(std::lround(acc));
				}
	}
	return b;
}

Item counterItem(const Slice &slice, QRandomGenerator &rng)
{
	Style s = slice.style;
	if (s.anything) {
		s.minHeight = 11;
		s.maxHeight = 44;
		s.ink = Ink(pick(rng, 0, 3));
		s.effect = Effect::Any;
		s.ground = Ground(pick(rng, 0, 3));
		s.subpixel = true;
		s.blur = rng.bounded(3) == 0;
		s.rescale = rng.bounded(3) == 0;
		s.jpeg = rng.bounded(3) == 0;
		s.maxValue = rng.bounded(4) == 0 ? 999 : 200;
	}
	const int font = s.font >= 0 ? s.font : pick(rng, 0, kRandomFaces - 1);
	Effect effect = s.effect == Effect::Any ? Effect(pick(rng, 0, 2)) : s.effect;
	const bool brightGround = s.ground == Ground::Bright || s.ground == Ground::Haze || s.ground == Ground::Snow;
	if (brightGround && effect == Effect::None)
		effect = rng.bounded(2) ? Effect::Outline : Effect::Shadow;
	const int digitHeight = pick(rng, s.minHeight, s.maxHeight);
	const int value = drawValue(rng, s.maxValue);

	QFont qf(familyOf(font));
	qf.setBold(true);
	qf.setHintingPreference(QFont::PreferNoHinting);
	qf.setPixelSize(100);
	const QString text = QString::number(value);
	// Size the face so that its digits are digitHeight pixels tall.
	const double digitsAt100 = QFontMetricsF(qf).tightBoundingRect(QStringLiteral("0123456789")).height();
	qf.setPixelSize(std::max(4, int(std::lround(digitHeight * 100.0 / std::max(1.0, digitsAt100)))));
	qf.setLetterSpacing(QFont::AbsoluteSpacing, uniform(rng, -0.08, 0.0) * digitHeight);
	QPainterPath path;
	path.addText(0, 0, qf, text);
	const QRectF ink = path.boundingRect();

	// A box drawn by hand around the number: loose, never tight to the pixel.
	const double left = uniform(rng, s.sideMin, s.sideMax) * digitHeight;
	const double right = uniform(rng, s.sideMin, s.sideMax) * digitHeight;
	const double top = uniform(rng, s.endMin, s.endMax) * digitHeight;
	const double bottom = uniform(rng, s.endMin, s.endMax) * digitHeight;
	const int w = int(std::ceil(ink.width() + left + right)), h = int(std::ceil(ink.height() + top + bottom));
	QImage img(std::max(w, 4), std::max(h, 6), QImage::Format_RGBA8888);
	int lowGround = 0;
	if (s.lowContrast) {
		// Grey ink a few dozen levels above a mid-grey ground.
		lowGround = pick(rng, 90, 135);
		img.fill(QColor(lowGround, lowGround + pick(rng, -4, 4), lowGround + pick(rng, -4, 4)));
		for (int y = 0; y < img.height(); ++y) {
			auto *row = img.scanLine(y);
			for (int x = 0; x < img.width(); ++x)
				for (int c = 0; c < 3; ++c)
					row[4 * x + c] =
						uint8_t(std::clamp(int(row[4 * x + c]) + pick(rng, -6, 6), 0, 255));
		}
	} else {
		paintGround(img, s.ground, rng);
	}

	double dx = left - ink.left(), dy = top - ink.top();
	if (s.subpixel) {
		dx += rng.generateDouble();
		dy += rng.generateDouble();
	} else {
		dx = std::round(dx);
		dy = std::round(dy);
	}
	const QPainterPath placed = path.translated(dx, dy);
	QPainter p(&img);
	p.setRenderHint(QPainter::Antialiasing, true);
	QColor color = inkColor(s.ink, rng);
	if (s.lowContrast) {
		const int v = std::min(255, lowGround + pick(rng, 45, 70));
		color = QColor(v, v, v);
	}
	if (s.iconEdge) {
		// A HUD icon (a head and shoulders) beside the number, cut by the crop's edge, clear
		// of the digits.
		const bool onLeft = rng.bounded(2) == 0;
		const double size = digitHeight * uniform(rng, 0.8, 1.1);
		const double inside =
			std::min(size * uniform(rng, 0.25, 0.5), (onLeft ? left : right) - 0.05 * digitHeight);
		const double cx = onLeft ? inside - size / 2 : img.width() - inside + size / 2;
		const double cy = dy + ink.top() + ink.height() / 2 + uniform(rng, -0.1, 0.1) * digitHeight;
		QPainterPath icon;
		icon.addEllipse(QPointF(cx, cy - size * 0.2), size * 0.22, size * 0.22);
		icon.addRoundedRect(QRectF(cx - size * 0.4, cy + size * 0.08, size * 0.8, size * 0.42), size * 0.15,
				    size * 0.15);
		p.fillPath(icon, color);
	}
	if (effect == Effect::Shadow) {
		const double off = std::max(1.0, digitHeight / 14.0);
		p.fillPath(placed.translated(off, off), QColor(0, 0, 0, pick(rng, 150, 230)));
	} else if (effect == Effect::Outline) {
		p.strokePath(placed, QPen(QColor(10, 10, 12), std::max(1.5, digitHeight / 9.0), Qt::SolidLine,
					  Qt::RoundCap, Qt::RoundJoin));
	}
	p.fillPath(placed, color);
	p.end();

	if (s.rescale) {
		// A stream scaled down and back up, as a 1080p HUD captured at 720p and stretched.
		const double f = uniform(rng, 0.55, 0.8);
		const QImage small = img.scaled(std::max(1, int(img.width() * f)), std::max(1, int(img.height() * f)),
						Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
		img = small.scaled(img.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
	}
	if (s.blur)
		img = blurred(img, uniform(rng, 0.5, 1.1));
	if (s.jpeg)
		img = jpegged(img, pick(rng, 35, 70));

	Item item;
	item.slice = slice.name;
	item.kind = Kind::Counter;
	item.truth = value;
	item.image = img.convertToFormat(QImage::Format_RGBA8888);
	return item;
}

Item cardItem(const Slice &slice, QRandomGenerator &rng)
{
	// The placement on the end card: dark digits on the light card, large.
	const int value = pick(rng, 1, 150);
	const int digitHeight = pick(rng, 24, 80);
	QFont qf(familyOf(pick(rng, 0, kRandomFaces - 1)));
	qf.setBold(true);
	qf.setPixelSize(100);
	const double digitsAt100 = QFontMetricsF(qf).tightBoundingRect(QStringLiteral("0123456789")).height();
	qf.setPixelSize(std::max(4, int(std::lround(digitHeight * 100.0 / std::max(1.0, digitsAt100)))));
	QPainterPath path;
	path.addText(0, 0, qf, QString::number(value));
	const QRectF ink = path.boundingRect();
	const double m = uniform(rng, 0.2, 0.5) * digitHeight;
	QImage img(int(ink.width() + 2 * m), int(ink.height() + 2 * m), QImage::Format_RGBA8888);
	const int v = pick(rng, 215, 240);
	img.fill(QColor(v, v - 4, v - 16));
	QPainter p(&img);
	p.setRenderHint(QPainter::Antialiasing, true);
	p.fillPath(path.translated(m - ink.left() + rng.generateDouble(), m - ink.top() + rng.generateDouble()),
		   QColor(pick(rng, 15, 40), pick(rng, 15, 40), pick(rng, 20, 45)));
	p.end();
	Item item;
	item.slice = slice.name;
	item.kind = Kind::Card;
	item.truth = value;
	item.image = img;
	return item;
}

// Three cells; a half plate lights the left half of its cell.
void paintBar(QPainter &p, const QRectF &bar, double plates, QRandomGenerator &rng)
{
	p.fillRect(bar, QColor(pick(rng, 14, 30), pick(rng, 18, 34), pick(rng, 22, 38)));
	const double gap = bar.width() * uniform(rng, 0.03, 0.06);
	const double cellW = (bar.width() - 4 * gap) / 3.0;
	const double top = bar.y() + bar.height() * 0.2, cellH = bar.height() * 0.6;
	const QColor lit(pick(rng, 30, 60), pick(rng, 135, 170), pick(rng, 215, 250));
	for (int i = 0; i < 3; ++i) {
		const QRectF cell(bar.x() + gap + i * (cellW + gap), top, cellW, cellH);
		p.fillRect(cell, QColor(35, 45, 55));
		const double on = std::clamp(plates - i, 0.0, 1.0);
		if (on > 0)
			p.fillRect(QRectF(cell.x(), cell.y(), cell.width() * on, cell.height()), lit);
	}
}

Item platesItem(const Slice &slice, QRandomGenerator &rng)
{
	const double plates = pick(rng, 0, 6) / 2.0;
	const double barW = uniform(rng, 110, 260), barH = barW * uniform(rng, 0.15, 0.3);
	const QString name = slice.name;
	Item item;
	item.slice = name;
	item.kind = Kind::Plates;
	item.truth = plates;

	QImage img;
	if (name == "plates-quad") {
		// The bar seen in perspective: the reader gets its four corners.
		const double w = barW * 1.4, h = barH * 3.2;
		img = QImage(int(w), int(h), QImage::Format_RGBA8888);
		paintGround(img, Ground::Flat, rng);
		const QPolygonF quad = {QPointF(uniform(rng, 4, w * 0.12), uniform(rng, 4, h * 0.3)),
					QPointF(w - uniform(rng, 4, w * 0.12), uniform(rng, 4, h * 0.3)),
					QPointF(w - uniform(rng, 4, w * 0.12), h - uniform(rng, 4, h * 0.3)),
					QPointF(uniform(rng, 4, w * 0.12), h - uniform(rng, 4, h * 0.3))};
		QTransform t;
		const QPolygonF unit = QPolygonF(QRectF(0, 0, barW, barH)).mid(0, 4);
		QTransform::quadToQuad(unit, quad, t);
		QPainter p(&img);
		p.setRenderHint(QPainter::Antialiasing, true);
		p.setTransform(t);
		paintBar(p, QRectF(0, 0, barW, barH), plates, rng);
		p.end();
		std::array<float, 8> q{};
		for (int i = 0; i < 4; ++i) {
			q[size_t(2 * i)] = float(quad[i].x());
			q[size_t(2 * i + 1)] = float(quad[i].y());
		}
		item.quad = q;
	} else {
		const bool turned = name == "plates-angle";
		const double angle = turned ? uniform(rng, 3, 20) * (rng.bounded(2) ? 1 : -1) : 0.0;
		// The user's box around the turned bar: the bar's bounds plus a margin.
		QTransform rot;
		rot.rotate(-angle);
		const QRectF bounds = rot.mapRect(QRectF(-barW / 2, -barH / 2, barW, barH));
		const double m = uniform(rng, 2, 10);
		img = QImage(int(bounds.width() + 2 * m), int(bounds.height() + 2 * m), QImage::Format_RGBA8888);
		paintGround(img, Ground::Flat, rng);
		QPainter p(&img);
		p.setRenderHint(QPainter::Antialiasing, true);
		p.translate(img.width() / 2.0, img.height() / 2.0);
		p.rotate(-angle);
		paintBar(p, QRectF(-barW / 2, -barH / 2, barW, barH), plates, rng);
		p.end();
		item.angle = float(angle);
	}
	item.image = img.convertToFormat(QImage::Format_RGBA8888);
	return item;
}

} // namespace

const std::vector<QString> &sliceNames()
{
	static const std::vector<QString> names = [] {
		std::vector<QString> out;
		for (const Slice &s : slices())
			out.emplace_back(s.name);
		out.insert(out.end(), platesSliceNames().begin(), platesSliceNames().end());
		return out;
	}();
	return names;
}

std::vector<Item> generateSlice(const QString &name)
{
	std::vector<Item> items = generatePlatesSlice(name);
	if (!items.empty())
		return items;
	const auto &all = slices();
	const auto it = std::find_if(all.begin(), all.end(), [&](const Slice &s) { return name == s.name; });
	if (it == all.end())
		return items;
	// One seed per slice: a slice stays the same when others are added.
	uint32_t seed = 2166136261u; // FNV-1a of the name: the same on every machine and Qt build
	for (const QChar c : name)
		seed = (seed ^ c.unicode()) * 16777619u;
	QRandomGenerator rng(seed);
	for (int i = 0; i < it->count; ++i) {
		switch (it->kind) {
		case Kind::Counter:
			items.push_back(counterItem(*it, rng));
			break;
		case Kind::Card:
			items.push_back(cardItem(*it, rng));
			break;
		case Kind::Plates:
			items.push_back(platesItem(*it, rng));
			break;
		}
	}
	return items;
}

QStringList corpusFonts()
{
	QStringList out;
	for (int f = 0; f < int(std::size(kFontFiles)); ++f)
		if (!familyOf(f).isEmpty())
			out << familyOf(f);
	return out;
}

int corpusFontCount()
{
	return int(std::size(kFontFiles));
}

const char *kindName(Kind kind)
{
	switch (kind) {
	case Kind::Counter:
		return "counter";
	case Kind::Card:
		return "card";
	case Kind::Plates:
		return "plates";
	}
	return "counter";
}

std::optional<Kind> kindFromName(const QString &name)
{
	for (Kind k : {Kind::Counter, Kind::Card, Kind::Plates})
		if (name == kindName(k))
			return k;
	return std::nullopt;
}

QImage jpegged(const QImage &src, int quality)
{
	QByteArray bytes;
	QBuffer buffer(&bytes);
	buffer.open(QIODevice::WriteOnly);
	src.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPG", quality);
	QImage back;
	back.loadFromData(bytes, "JPG");
	return back.convertToFormat(QImage::Format_RGBA8888);
}

} // namespace ostrelo::corpus

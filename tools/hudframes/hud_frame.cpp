#include "tools/hudframes/hud_frame.h"

#include <QFile>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>

namespace ostrelo::hudframes {

namespace {

// Fractions of the frame: the Warzone 16:9 HUD positions the filter's preset reads.
const QRectF kTeams(0.90047, 0.0741, 0.02032, 0.0204);
const QRectF kPlayers(0.9234, 0.0741, 0.02345, 0.0204);
const QRectF kKills(0.94945, 0.0741, 0.02189, 0.0204);
const QRectF kPlates(0.03648, 0.88786, 0.11464, 0.03707);
const QRectF kMinimap(0.018, 0.04, 0.15, 0.23);
// End card: the placement number inside a bright card in the middle, the kills below it.
const QRectF kCardPanel(0.10, 0.39, 0.60, 0.24);
const QRectF kCardPlacement(0.13549, 0.42632, 0.06253, 0.16682);
const QRectF kCardKills(0.085, 0.735, 0.055, 0.075);

QRectF scaled(const QRectF &f, int w, int h)
{
	return QRectF(f.x() * w, f.y() * h, f.width() * w, f.height() * h);
}

void drawBackground(QImage &img, QRandomGenerator &rng)
{
	// A dim, noisy scene: nothing in it reaches the brightness of HUD text.
	const int w = img.width(), h = img.height();
	for (int y = 0; y < h; ++y) {
		auto *row = reinterpret_cast<uint32_t *>(img.scanLine(y));
		const int base = 40 + 50 * y / h;
		for (int x = 0; x < w; ++x) {
			const int n = int(rng.bounded(12));
			const int r = base + n, g = base + 8 + n, b = base - 5 + n;
			row[x] = qRgb(r, g, std::max(b, 0));
		}
	}
}

// A fast generator for per-pixel grain; QRandomGenerator per pixel costs more than the rest
// of a frame.
struct Grain {
	uint32_t state;
	int next(int range) // 0 .. range - 1
	{
		state = state * 1664525u + 1013904223u;
		return int((state >> 16) % uint32_t(range));
	}
};

int clampByte(double v)
{
	return std::clamp(int(std::lround(v)), 0, 255);
}

QColor shade(QRandomGenerator &rng, int r, int g, int b, int spread)
{
	const int d = int(rng.bounded(2 * spread + 1)) - spread;
	return QColor(std::clamp(r + d, 0, 255), std::clamp(g + d, 0, 255), std::clamp(b + d, 0, 255));
}

double frac(QRandomGenerator &rng, double lo, double hi)
{
	return lo + (hi - lo) * rng.generateDouble();
}

// A room: panelled walls, a floor, crates, and a bright window or lamp somewhere.
void drawInterior(QPainter &p, int w, int h, QRandomGenerator &rng)
{
	const int wall = 55 + int(rng.bounded(50));
	p.fillRect(QRectF(0, 0, w, h), QColor(wall + 8, wall, wall - 10));
	const double floorY = h * frac(rng, 0.55, 0.7);
	QLinearGradient floor(0, floorY, 0, h);
	floor.setColorAt(0, QColor(wall - 25, wall - 28, wall - 30));
	floor.setColorAt(1, QColor(wall + 20, wall + 15, wall + 8));
	p.fillRect(QRectF(0, floorY, w, h - floorY), floor);
	for (int i = 0, n = 4 + int(rng.bounded(5)); i < n; ++i) // panels and door frames
		p.fillRect(QRectF(frac(rng, 0, w), 0, frac(rng, 0.01, 0.12) * w, floorY),
			   shade(rng, wall + 5, wall, wall - 8, 30));
	for (int i = 0, n = 1 + int(rng.bounded(3)); i < n; ++i) { // windows and lamps
		const QRectF r(frac(rng, 0, 0.9) * w, frac(rng, 0.05, 0.5) * h, frac(rng, 0.04, 0.16) * w,
			       frac(rng, 0.05, 0.25) * h);
		QRadialGradient glow(r.center(), std::max(r.width(), r.height()));
		glow.setColorAt(0, QColor(255, 245, 220, 120));
		glow.setColorAt(1, QColor(255, 245, 220, 0));
		p.fillRect(r.adjusted(-r.width(), -r.height(), r.width(), r.height()), glow);
		p.fillRect(r, shade(rng, 235, 232, 215, 15));
	}
	for (int i = 0, n = 2 + int(rng.bounded(4)); i < n; ++i) { // crates
		const double cw = frac(rng, 0.05, 0.15) * w, ch = cw * frac(rng, 0.6, 1.0);
		p.fillRect(QRectF(frac(rng, 0, w - cw), floorY + frac(rng, -0.1, 0.2) * h, cw, ch),
			   shade(rng, 95, 80, 55, 25));
	}
}

// Sky, hills and scattered trees and rocks; ground colours from the palette.
void drawLandscape(QPainter &p, int w, int h, QRandomGenerator &rng, const QColor &skyTop, const QColor &skyLow,
		   const QColor &land)
{
	const double horizon = h * frac(rng, 0.3, 0.45);
	QLinearGradient sky(0, 0, 0, horizon);
	sky.setColorAt(0, skyTop);
	sky.setColorAt(1, skyLow);
	p.fillRect(QRectF(0, 0, w, horizon + 2), sky);
	p.fillRect(QRectF(0, horizon, w, h - horizon), land);
	for (int layer = 0; layer < 3; ++layer) { // hills, nearer ones lower and darker
		QPolygonF hill;
		hill << QPointF(0, h);
		const double base = horizon + layer * h * 0.1;
		for (int i = 0; i <= 8; ++i)
			hill << QPointF(w * i / 8.0, base - frac(rng, 0, 0.12) * h);
		hill << QPointF(w, h);
		const int d = -15 * layer + int(rng.bounded(21)) - 10;
		p.setPen(Qt::NoPen);
		p.setBrush(QColor(std::clamp(land.red() + d, 0, 255), std::clamp(land.green() + d, 0, 255),
				  std::clamp(land.blue() + d, 0, 255)));
		p.drawPolygon(hill);
	}
	for (int i = 0, n = 15 + int(rng.bounded(25)); i < n; ++i) { // trees and rocks
		const double r = frac(rng, 0.005, 0.03) * w;
		p.setBrush(shade(rng, land.red() - 45, land.green() - 40, land.blue() - 40, 20));
		p.drawEllipse(QPointF(frac(rng, 0, w), frac(rng, horizon, h)), r, r * frac(rng, 0.5, 1.2));
	}
	p.setBrush(Qt::NoBrush);
}

// Buildings with rows of windows along a road, and drifting smoke.
void drawStreet(QPainter &p, int w, int h, QRandomGenerator &rng)
{
	p.fillRect(QRectF(0, 0, w, h), QColor(150, 160, 170));
	const double road = h * frac(rng, 0.65, 0.75);
	for (double x = -frac(rng, 0, 0.1) * w; x < w;) {
		const double bw = frac(rng, 0.08, 0.25) * w, top = frac(rng, 0.05, 0.4) * h;
		const QColor c = shade(rng, 105, 95, 85, 40);
		p.fillRect(QRectF(x, top, bw, road - top), c);
		for (double wy = top + 0.03 * h; wy < road - 0.06 * h; wy += 0.07 * h)
			for (double wx = x + 0.01 * w; wx < x + bw - 0.02 * w; wx += 0.03 * w)
				p.fillRect(QRectF(wx, wy, 0.015 * w, 0.035 * h),
					   rng.bounded(4) == 0 ? QColor(200, 190, 150) : QColor(35, 38, 45));
		x += bw + frac(rng, 0, 0.03) * w;
	}
	p.fillRect(QRectF(0, road, w, h - road), QColor(70, 70, 72));
	for (int i = 0, n = 3 + int(rng.bounded(4)); i < n; ++i) { // smoke
		const QPointF c(frac(rng, 0, w), frac(rng, 0.2, 0.8) * h);
		const double r = frac(rng, 0.1, 0.35) * w;
		const int v = 150 + int(rng.bounded(70));
		QRadialGradient smoke(c, r);
		smoke.setColorAt(0, QColor(v, v, v, 150 + int(rng.bounded(80))));
		smoke.setColorAt(1, QColor(v, v, v, 0));
		p.fillRect(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), smoke);
	}
}

// The world of a busy ground, with grain, washed towards its haze colour.
void drawWorld(QImage &img, const HudFrame &f, QRandomGenerator &rng)
{
	const int w = img.width(), h = img.height();
	QColor haze;
	{
		QPainter p(&img);
		p.setRenderHint(QPainter::Antialiasing, true);
		switch (f.ground) {
		case Ground::Interior:
			drawInterior(p, w, h, rng);
			break;
		case Ground::Terrain:
			drawLandscape(p, w, h, rng, QColor(120, 150, 190), QColor(200, 210, 220), QColor(95, 110, 70));
			break;
		case Ground::Street:
			drawStreet(p, w, h, rng);
			break;
		case Ground::Sand:
			drawLandscape(p, w, h, rng, QColor(190, 175, 145), QColor(215, 195, 160),
				      QColor(175, 145, 100));
			haze = QColor(224, 204, 165);
			break;
		case Ground::Snow:
			drawLandscape(p, w, h, rng, QColor(165, 175, 190), QColor(215, 220, 228),
				      QColor(225, 230, 236));
			haze = QColor(238, 241, 246);
			break;
		case Ground::Flash:
			drawStreet(p, w, h, rng);
			haze = QColor(255, 255, 255);
			break;
		case Ground::Dim:
			break;
		}
	}
	const double a = haze.isValid() ? std::clamp(f.haze, 0.0, 1.0) : 0.0;
	const double hr = haze.isValid() ? haze.red() * a : 0, hg = haze.isValid() ? haze.green() * a : 0,
		     hb = haze.isValid() ? haze.blue() * a : 0;
	Grain grain{f.seed * 2654435761u + 12345u};
	for (int y = 0; y < h; ++y) {
		auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
		for (int x = 0; x < w; ++x) {
			const int n = grain.next(13) - 6;
			const QRgb c = row[x];
			row[x] = qRgb(clampByte(qRed(c) * (1 - a) + hr + n), clampByte(qGreen(c) * (1 - a) + hg + n),
				      clampByte(qBlue(c) * (1 - a) + hb + n));
		}
	}
}

// A live minimap: land, fields, roads and water, translucent over the world, with a frame
// and the player's marker.
void drawMapMinimap(QPainter &p, const QRectF &r, QRandomGenerator &rng)
{
	QImage map(std::max(1, int(r.width())), std::max(1, int(r.height())), QImage::Format_ARGB32_Premultiplied);
	map.fill(QColor(88, 104, 74));
	{
		QPainter m(&map);
		m.setRenderHint(QPainter::Antialiasing, true);
		m.setPen(Qt::NoPen);
		const double mw = map.width(), mh = map.height();
		for (int i = 0; i < 14; ++i) { // fields, towns, rock
			static const QColor palette[] = {
				{140, 130, 95}, {70, 90, 60}, {120, 120, 115}, {160, 150, 120}};
			m.setBrush(palette[rng.bounded(4)]);
			m.drawRect(QRectF(frac(rng, -0.1, 0.9) * mw, frac(rng, -0.1, 0.9) * mh,
					  frac(rng, 0.1, 0.35) * mw, frac(rng, 0.1, 0.35) * mh));
		}
		m.setBrush(QColor(55, 85, 115)); // water
		m.drawEllipse(QPointF(frac(rng, 0, mw), frac(rng, 0, mh)), 0.2 * mw, 0.12 * mh);
		m.setPen(QPen(QColor(190, 185, 170), std::max(1.0, mw / 90)));
		for (int i = 0; i < 5; ++i) // roads
			m.drawLine(QPointF(frac(rng, 0, mw), 0), QPointF(frac(rng, 0, mw), mh));
	}
	p.setOpacity(0.78);
	p.drawImage(r.topLeft(), map);
	p.setOpacity(1.0);
	p.setPen(QPen(QColor(230, 230, 230), 2));
	p.drawRect(r);
	p.setPen(Qt::NoPen);
	p.setBrush(QColor(250, 215, 60));
	const QPointF c = r.center();
	const double s = r.height() / 30;
	p.drawPolygon(QPolygonF({c + QPointF(0, -2 * s), c + QPointF(s, s), c + QPointF(-s, s)}));
	p.setBrush(Qt::NoBrush);
}

void drawMinimap(QPainter &p, const QRectF &r, QRandomGenerator &rng)
{
	// Terrain blocks of very different greys: the busy corner a live HUD always shows.
	const int cells = 12;
	const double cw = r.width() / cells, ch = r.height() / cells;
	for (int j = 0; j < cells; ++j)
		for (int i = 0; i < cells; ++i) {
			const int v = 30 + int(rng.bounded(170));
			p.fillRect(QRectF(r.x() + i * cw, r.y() + j * ch, cw + 0.5, ch + 0.5),
				   QColor(v, v + 10 > 255 ? 255 : v + 10, v));
		}
	p.setPen(QPen(QColor(230, 230, 230), 2));
	p.drawRect(r);
}

void drawNumber(QPainter &p, const QRectF &box, int value, const QColor &color, double tracking = 0.0,
		Qt::Alignment align = Qt::AlignCenter, const QString &face = QString(), bool shadow = false)
{
	QFont font(face.isEmpty() ? hudFontFamily() : face);
	font.setBold(true);
	font.setPixelSize(std::max(6, int(std::lround(box.height() * 1.05))));
	// The HUD sets its counters tight: neighbouring digits touch.
	font.setLetterSpacing(QFont::AbsoluteSpacing, tracking * box.height());
	font.setHintingPreference(QFont::PreferNoHinting);
	p.setFont(font);
	if (shadow) {
		// The drop shadow HUDs put under their numbers to keep them legible on bright ground.
		const double off = std::max(1.0, box.height() / 14.0);
		p.setPen(QColor(0, 0, 0, 190));
		p.drawText(box.translated(off, off), align, QString::number(value));
	}
	p.setPen(color);
	p.drawText(box, align, QString::number(value));
}

void drawPlates(QPainter &p, const QRectF &bar, double plates)
{
	// Three cells; a half plate lights the left half of its cell.
	p.fillRect(bar, QColor(20, 24, 28));
	const double gap = bar.width() * 0.04;
	const double cellW = (bar.width() - 4 * gap) / 3.0;
	const double top = bar.y() + bar.height() * 0.2, cellH = bar.height() * 0.6;
	for (int i = 0; i < 3; ++i) {
		const QRectF cell(bar.x() + gap + i * (cellW + gap), top, cellW, cellH);
		p.fillRect(cell, QColor(35, 45, 55));
		const double lit = std::clamp(plates - i, 0.0, 1.0);
		if (lit > 0)
			p.fillRect(QRectF(cell.x(), cell.y(), cell.width() * lit, cell.height()), QColor(40, 150, 235));
	}
}

void drawInMatch(QImage &img, const HudFrame &f, QRandomGenerator &rng)
{
	const int w = img.width(), h = img.height();
	QPainter p(&img);
	p.setRenderHint(QPainter::Antialiasing, true);
	p.setRenderHint(QPainter::TextAntialiasing, true);
	if (f.minimap == Minimap::Map)
		drawMapMinimap(p, scaled(kMinimap, w, h), rng);
	else
		drawMinimap(p, scaled(kMinimap, w, h), rng);
	const QColor white(245, 245, 245);
	const auto number = [&](const QRectF &box, int value, const QColor &color) {
		drawNumber(p, scaled(box, w, h), value, color, f.tracking, Qt::AlignCenter, f.face, f.counterShadow);
	};
	number(kTeams, f.teamsLeft, white);
	number(kPlayers, f.playersLeft, f.redPlayers ? QColor(235, 40, 40) : white);
	number(kKills, f.kills, white);
	if (f.wins >= 0)
		number(winsRect(), f.wins, white);
	drawPlates(p, scaled(kPlates, w, h), f.plates);
	if (f.screen == Screen::Downed) {
		// A warm band across the plates bar, a dozen rows tall.
		QRectF band = scaled(kPlates, w, h);
		band.setHeight(std::min(band.height() * 0.35, 12.0 * h / 1080.0));
		band.moveTop(band.top() + 2);
		p.fillRect(band, QColor(230, 90, 30));
	}
}

void drawPlacementCard(QImage &img, const HudFrame &f)
{
	const int w = img.width(), h = img.height();
	QPainter p(&img);
	p.setRenderHint(QPainter::Antialiasing, true);
	p.setRenderHint(QPainter::TextAntialiasing, true);
	p.fillRect(scaled(kCardPanel, w, h), QColor(236, 232, 220));
	drawNumber(p, scaled(kCardPlacement, w, h), f.placement, QColor(25, 25, 30));
	drawNumber(p, scaled(kCardKills, w, h), f.cardKills, QColor(245, 245, 245));
}

} // namespace

QRectF winsRect()
{
	return QRectF(0.9234, 0.1100, 0.02345, 0.0204);
}

QString hudFontFamily()
{
	static const QString family = [] {
		const char *candidates[] = {
			"/usr/share/fonts/truetype/roboto/unhinted/RobotoCondensed-Bold.ttf",
			"/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf",
		};
		for (const char *path : candidates) {
			if (!QFile::exists(path))
				continue;
			const int id = QFontDatabase::addApplicationFont(path);
			const QStringList families = QFontDatabase::applicationFontFamilies(id);
			if (!families.isEmpty())
				return families.first();
		}
		return QString();
	}();
	return family;
}

QString faceFamily(const QString &fontFile)
{
	static std::map<QString, QString> loaded;
	const auto it = loaded.find(fontFile);
	if (it != loaded.end())
		return it->second;
	const int id = QFile::exists(fontFile) ? QFontDatabase::addApplicationFont(fontFile) : -1;
	const QString family = QFontDatabase::applicationFontFamilies(id).value(0);
	loaded[fontFile] = family;
	return family;
}

namespace {
const char *const kGroundNames[] = {"dim", "interior", "terrain", "street", "sand", "snow", "flash"};
}

const char *groundName(Ground ground)
{
	return kGroundNames[int(ground)];
}

bool groundFromName(const QString &name, Ground &ground)
{
	for (int i = 0; i < int(std::size(kGroundNames)); ++i)
		if (name == kGroundNames[i]) {
			ground = Ground(i);
			return true;
		}
	return false;
}

QImage renderHudFrame(const HudFrame &f)
{
	QImage img(std::max(1, f.width), std::max(1, f.height), QImage::Format_RGB32);
	QRandomGenerator rng(f.seed);
	if (f.ground == Ground::Dim)
		drawBackground(img, rng);
	else
		drawWorld(img, f, rng);
	switch (f.screen) {
	case Screen::InMatch:
	case Screen::Downed:
		drawInMatch(img, f, rng);
		break;
	case Screen::PlacementCard:
		drawPlacementCard(img, f);
		break;
	case Screen::Lobby:
		break;
	}
	return img.convertToFormat(QImage::Format_RGBA8888);
}

} // namespace ostrelo::hudframes

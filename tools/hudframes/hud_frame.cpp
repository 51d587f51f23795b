#include "tools/hudframes/hud_frame.h"

#include <QFile>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

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

// Letter spacing of the counters, in box heights.
constexpr double kCounterTracking = -0.09;

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
		Qt::Alignment align = Qt::AlignCenter)
{
	QFont font(hudFontFamily());
	font.setBold(true);
	font.setPixelSize(std::max(6, int(std::lround(box.height() * 1.05))));
	// The HUD sets its counters tight: neighbouring digits touch.
	font.setLetterSpacing(QFont::AbsoluteSpacing, tracking * box.height());
	font.setHintingPreference(QFont::PreferNoHinting);
	p.setFont(font);
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
	drawMinimap(p, scaled(kMinimap, w, h), rng);
	const QColor white(245, 245, 245);
	drawNumber(p, scaled(kTeams, w, h), f.teamsLeft, white, kCounterTracking);
	drawNumber(p, scaled(kPlayers, w, h), f.playersLeft, f.redPlayers ? QColor(235, 40, 40) : white,
		   kCounterTracking);
	drawNumber(p, scaled(kKills, w, h), f.kills, white, kCounterTracking);
	if (f.wins >= 0)
		drawNumber(p, scaled(winsRect(), w, h), f.wins, white, kCounterTracking);
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

QImage renderHudFrame(const HudFrame &f)
{
	QImage img(std::max(1, f.width), std::max(1, f.height), QImage::Format_RGB32);
	QRandomGenerator rng(f.seed);
	drawBackground(img, rng);
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

#include "tools/hudtemplates/standin_screens.h"

#include "statreader/hud_template_recipe.h"
#include "statreader/hud_templates.h"

#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <functional>
#include <map>

namespace ostrelo::hudtemplates {

namespace {

const QColor kInk(242, 244, 246);
const QColor kDimInk(170, 178, 187);
const qreal kMaxWiden = 1.2;

QRectF boxOf(int templateId)
{
	const TemplateBox b = defaultTemplateBox(kHudTemplateDefs[size_t(templateId)]);
	return QRectF(b.x, b.y, b.w, b.h);
}

// Draws text so that its ink fills as much of the box as the glyphs' proportions allow:
// outlines scaled to fit, centred vertically, left-aligned or centred horizontally.
class TextPainter {
public:
	TextPainter(QPainter &painter, const QFont &font) : painter_(painter), font_(font) {}

	void fit(const QRectF &box, const QString &text, const QColor &colour, bool centred = false)
	{
		QPainterPath path;
		path.addText(0, 0, font_, text);
		const QRectF ink = path.boundingRect();
		if (ink.isEmpty())
			return;
		// Glyphs may be widened a little to fill a wide box, never narrowed.
		const qreal scaleY = std::min(box.width() / ink.width(), box.height() / ink.height());
		const qreal scaleX = std::min(box.width() / ink.width(), scaleY * kMaxWiden);
		const qreal inkW = ink.width() * scaleX, inkH = ink.height() * scaleY;
		const qreal left = centred ? box.left() + (box.width() - inkW) / 2 : box.left();
		const qreal top = box.top() + (box.height() - inkH) / 2;
		QTransform t;
		t.translate(left, top);
		t.scale(scaleX, scaleY);
		t.translate(-ink.left(), -ink.top());
		painter_.fillPath(t.map(path), colour);
	}

private:
	QPainter &painter_;
	QFont font_;
};

void darkBackground(QPainter &p, const QColor &top, const QColor &bottom)
{
	QLinearGradient g(0, 0, 0, kTemplateScreenHeight);
	g.setColorAt(0, top);
	g.setColorAt(1, bottom);
	p.fillRect(0, 0, kTemplateScreenWidth, kTemplateScreenHeight, g);
}

// A soft light fading out from a point.
void glow(QPainter &p, const QPointF &centre, qreal radius, const QColor &colour)
{
	QRadialGradient g(centre, radius);
	g.setColorAt(0, colour);
	QColor clear = colour;
	clear.setAlpha(0);
	g.setColorAt(1, clear);
	p.fillRect(0, 0, kTemplateScreenWidth, kTemplateScreenHeight, g);
}

void drawAfterAction(QPainter &p, TextPainter &text)
{
	darkBackground(p, QColor(24, 30, 38), QColor(10, 13, 17));
	text.fit(boxOf(kTemplateAfterAction1), "AFTER ACTION", kInk);
	p.fillRect(QRectF(90, 104, 1740, 2), QColor(58, 70, 84));

	// The placement panel, with the place itself to its right.
	const QRectF panel = boxOf(kTemplateAfterAction2);
	p.fillRect(panel, QColor(39, 49, 60));
	p.fillRect(QRectF(panel.left(), panel.top(), 6, panel.height()), QColor(224, 165, 38));
	text.fit(QRectF(panel.left() + 18, panel.top() + 10, 150, 30), "SQUAD", kDimInk);
	text.fit(QRectF(panel.left() + 18, panel.top() + 48, 150, 30), "PLACED", kInk);
	text.fit(QRectF(396, 212, 40, 76), "3", kInk, true);

	const char *labels[] = {"KILLS", "DAMAGE", "REVIVES", "TIME ALIVE"};
	const char *values[] = {"7", "2140", "1", "17:42"};
	for (int i = 0; i < 4; ++i) {
		const qreal y = 530 + i * 100;
		text.fit(QRectF(200, y, 600, 40), labels[i], kDimInk);
		text.fit(QRectF(468, y - 15, i == 0 ? 55 : 140, 75), values[i], kInk);
	}
	text.fit(QRectF(1480, 1000, 340, 30), "[ESC] BACK   [SPACE] CONTINUE", kDimInk);
}

void drawSpectating(QPainter &p, TextPainter &text)
{
	// A stand-in for the game world: sky, ground and a few dark blocks of buildings.
	QLinearGradient sky(0, 0, 0, 620);
	sky.setColorAt(0, QColor(92, 110, 125));
	sky.setColorAt(1, QColor(160, 170, 168));
	p.fillRect(0, 0, kTemplateScreenWidth, 620, sky);
	QLinearGradient ground(0, 620, 0, kTemplateScreenHeight);
	ground.setColorAt(0, QColor(76, 80, 60));
	ground.setColorAt(1, QColor(40, 42, 32));
	p.fillRect(0, 620, kTemplateScreenWidth, kTemplateScreenHeight - 620, ground);
	const int blocks[][4] = {
		{120, 420, 260, 200}, {520, 470, 180, 150}, {1240, 380, 300, 240}, {1640, 450, 200, 170}};
	for (const auto &b : blocks)
		p.fillRect(b[0], b[1], b[2], b[3], QColor(54, 58, 62));

	const QRectF header = boxOf(kTemplateSpectating1);
	p.fillRect(header.adjusted(-110, -10, 110, 10), QColor(12, 14, 18, 190));
	text.fit(header, "SPECTATING", kInk, true);
	text.fit(QRectF(860, 196, 200, 22), "SQUADMATE 2", kDimInk, true);

	// The key prompt: a key cap, then what the key does.
	const QRectF footer = boxOf(kTemplateSpectating2);
	p.fillRect(footer.adjusted(-30, -8, 30, 8), QColor(12, 14, 18, 190));
	const QRectF key(footer.left(), footer.top(), 84, footer.height());
	p.fillRect(key, QColor(228, 230, 232));
	text.fit(key.adjusted(8, 5, -8, -5), "SPACE", QColor(16, 18, 20), true);
	text.fit(QRectF(key.right() + 14, footer.top(), footer.right() - key.right() - 14, footer.height()),
		 "NEXT PLAYER", kInk);
}

void drawMenu(QPainter &p, TextPainter &text)
{
	darkBackground(p, QColor(20, 24, 30), QColor(34, 40, 48));
	glow(p, QPointF(1400, 420), 700, QColor(70, 84, 100, 160));

	const char *tabs[] = {"PLAY", "WEAPONS", "OPERATORS", "STORE"};
	for (int i = 0; i < 4; ++i)
		text.fit(QRectF(470 + i * 220, 40, 360, 30), tabs[i], i == 0 ? kInk : kDimInk, true);
	const char *items[] = {"LOADOUTS", "BARRACKS", "SETTINGS"};
	for (int i = 0; i < 3; ++i)
		text.fit(QRectF(150, 600 + i * 80, 600, 42), items[i], kDimInk);

	const QRectF button = boxOf(kTemplateMenu);
	p.fillRect(button, QColor(232, 232, 226));
	text.fit(button.adjusted(24, 16, -24, -16), "START MATCH", QColor(16, 18, 20), true);
}

void drawPlacement(QPainter &p, TextPainter &text)
{
	darkBackground(p, QColor(14, 16, 20), QColor(26, 22, 14));
	glow(p, QPointF(760, 560), 760, QColor(120, 90, 30, 140));

	text.fit(QRectF(260, 460, 120, 180), "4", QColor(255, 214, 110), true);
	const QRectF title = boxOf(kTemplatePlacement);
	text.fit(QRectF(title.left(), title.top(), title.width(), 92), "MATCH COMPLETE", kInk);
	text.fit(QRectF(title.left(), title.top() + 112, title.width(), 48), "FINAL PLACEMENT", kDimInk);

	text.fit(QRectF(163, 750, 106, 30), "KILLS", kDimInk, true);
	text.fit(QRectF(163, 794, 106, 81), "6", kInk, true);
}

using Drawer = std::function<void(QPainter &, TextPainter &)>;

const std::map<QString, Drawer> &drawers()
{
	static const std::map<QString, Drawer> map = {
		{"after-action.png", drawAfterAction},
		{"watching-teammate.png", drawSpectating},
		{"menu.png", drawMenu},
		{"placement.png", drawPlacement},
	};
	return map;
}

} // namespace

QStringList standInScreenFiles()
{
	QStringList files;
	for (const auto &entry : drawers())
		files << entry.first;
	return files;
}

QString standInScreenFile(int templateId)
{
	switch (templateId) {
	case kTemplateAfterAction1:
	case kTemplateAfterAction2:
		return "after-action.png";
	case kTemplateSpectating1:
	case kTemplateSpectating2:
		return "watching-teammate.png";
	case kTemplateMenu:
		return "menu.png";
	case kTemplatePlacement:
		return "placement.png";
	default:
		return {};
	}
}

QString defaultStandInFont()
{
	return "/usr/share/fonts/truetype/roboto/unhinted/RobotoCondensed-Bold.ttf";
}

QImage renderStandInScreen(const QString &file, const QString &fontFile, QString *error)
{
	const auto drawer = drawers().find(file);
	if (drawer == drawers().end()) {
		*error = QString("no stand-in screen is called %1").arg(file);
		return {};
	}
	const int fontId = QFontDatabase::addApplicationFont(fontFile);
	const QStringList families = QFontDatabase::applicationFontFamilies(fontId);
	if (fontId < 0 || families.isEmpty()) {
		*error =
			QString("cannot load the font %1 (install fonts-roboto-unhinted or pass --font)").arg(fontFile);
		return {};
	}
	QFont font(families.first());
	font.setPixelSize(200);
	font.setBold(true);

	QImage image(kTemplateScreenWidth, kTemplateScreenHeight, QImage::Format_RGBA8888);
	image.fill(Qt::black);
	QPainter painter(&image);
	painter.setRenderHint(QPainter::Antialiasing);
	TextPainter text(painter, font);
	drawer->second(painter, text);
	painter.end();
	return image;
}

} // namespace ostrelo::hudtemplates

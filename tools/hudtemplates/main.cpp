// hudtemplates: renders the stand-in screens, cuts the HUD classifier's template tables from
// 1920 x 1080 screenshots and writes statreader/hud_templates.cpp, and classifies screenshots
// to check the result. See docs/hud-templates.md.

#include "statreader/hud_classifier.h"
#include "statreader/hud_classifier_internal.h"
#include "statreader/hud_template_recipe.h"
#include "tools/hudtemplates/standin_screens.h"
#include "tools/hudtemplates/table_writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QStringList>

#include <cstdio>
#include <optional>

using namespace ostrelo;

namespace {

const char *kUsage = "usage:\n"
		     "  hudtemplates render [--font FILE] DIR\n"
		     "      render the stand-in screens (after-action.png, menu.png, placement.png,\n"
		     "      watching-teammate.png) into DIR\n"
		     "  hudtemplates generate --standins DIR [--out FILE] [NAME=SCREEN.png[@X,Y,W,H] ...]\n"
		     "      cut the six template tables and write the C++ table file (to stdout without --out);\n"
		     "      a template named on the command line is cut from that 1920x1080 screenshot, from the\n"
		     "      box given or else the box where the element is expected; the others come from the\n"
		     "      stand-in screens in DIR\n"
		     "  hudtemplates check [--shift DX,DY] [--size WxH] SCREEN.png ...\n"
		     "      classify screenshots and print the state, the measures and the template scores;\n"
		     "      --shift moves the picture by DX,DY pixels and --size scales it smoothly to WxH\n"
		     "      first, to see how the templates cope with other positions and frame sizes\n"
		     "  hudtemplates list\n"
		     "      print the templates with their stored sizes and default boxes\n";

int usage()
{
	std::fputs(kUsage, stderr);
	return 2;
}

int fail(const QString &message)
{
	std::fprintf(stderr, "hudtemplates: %s\n", qPrintable(message));
	return 1;
}

int templateByName(const QString &name)
{
	for (int i = 0; i < kHudTemplateCount; ++i)
		if (name == kHudTemplateDefs[size_t(i)].name)
			return i;
	return -1;
}

QString boxText(const TemplateBox &b)
{
	return QString("%1,%2 %3x%4").arg(b.x).arg(b.y).arg(b.w).arg(b.h);
}

// The screenshot as tightly ordered R, G, B, A bytes.
std::optional<QImage> loadRgba(const QString &file, QString *error)
{
	QImage image(file);
	if (image.isNull()) {
		*error = QString("cannot read %1 as an image").arg(file);
		return std::nullopt;
	}
	return image.convertToFormat(QImage::Format_RGBA8888);
}

int runRender(const QStringList &args)
{
	QString font = hudtemplates::defaultStandInFont();
	QString dir;
	for (int i = 0; i < args.size(); ++i) {
		if (args[i] == "--font" && i + 1 < args.size())
			font = args[++i];
		else if (dir.isEmpty() && !args[i].startsWith("--"))
			dir = args[i];
		else
			return usage();
	}
	if (dir.isEmpty())
		return usage();
	if (!QDir().mkpath(dir))
		return fail(QString("cannot create %1").arg(dir));
	for (const QString &file : hudtemplates::standInScreenFiles()) {
		QString error;
		const QImage screen = hudtemplates::renderStandInScreen(file, font, &error);
		if (screen.isNull())
			return fail(error);
		const QString path = QDir(dir).filePath(file);
		if (!screen.save(path, "PNG"))
			return fail(QString("cannot write %1").arg(path));
		std::printf("%s\n", qPrintable(path));
	}
	return 0;
}

struct Override {
	QString screen;
	std::optional<TemplateBox> box;
};

// NAME=SCREEN.png or NAME=SCREEN.png@X,Y,W,H
bool parseOverride(const QString &arg, int *id, Override *out)
{
	static const QRegularExpression re("^([a-z0-9-]+)=(.+?)(?:@(\\d+),(\\d+),(\\d+),(\\d+))?$");
	const QRegularExpressionMatch m = re.match(arg);
	if (!m.hasMatch() || (*id = templateByName(m.captured(1))) < 0)
		return false;
	out->screen = m.captured(2);
	if (m.hasCaptured(3))
		out->box = TemplateBox{m.captured(3).toInt(), m.captured(4).toInt(), m.captured(5).toInt(),
				       m.captured(6).toInt()};
	return true;
}

int runGenerate(const QStringList &args)
{
	QString standIns, outFile;
	std::array<std::optional<Override>, kHudTemplateCount> overrides;
	for (int i = 0; i < args.size(); ++i) {
		if (args[i] == "--standins" && i + 1 < args.size()) {
			standIns = args[++i];
		} else if (args[i] == "--out" && i + 1 < args.size()) {
			outFile = args[++i];
		} else {
			int id = -1;
			Override o;
			if (!parseOverride(args[i], &id, &o))
				return fail(QString("not a template=screenshot pair: %1").arg(args[i]));
			overrides[size_t(id)] = o;
		}
	}

	std::array<hudtemplates::CutTable, kHudTemplateCount> tables;
	for (int id = 0; id < kHudTemplateCount; ++id) {
		const HudTemplateDef &def = kHudTemplateDefs[size_t(id)];
		const bool standIn = !overrides[size_t(id)];
		if (standIn && standIns.isEmpty())
			return fail(QString("%1: no screenshot given and no --standins folder").arg(def.name));
		const QString screen = standIn ? QDir(standIns).filePath(hudtemplates::standInScreenFile(id))
					       : overrides[size_t(id)]->screen;
		const TemplateBox box = (!standIn && overrides[size_t(id)]->box) ? *overrides[size_t(id)]->box
										 : defaultTemplateBox(def);
		QString error;
		const std::optional<QImage> image = loadRgba(screen, &error);
		if (!image)
			return fail(error);
		if (image->width() != kTemplateScreenWidth || image->height() != kTemplateScreenHeight)
			return fail(QString("%1 is %2x%3; templates are cut from 1920x1080 screenshots")
					    .arg(screen)
					    .arg(image->width())
					    .arg(image->height()));
		tables[size_t(id)].pixels =
			cutTemplate(image->constBits(), image->width(), image->height(),
				    uint32_t(image->bytesPerLine()), box, def.storedWidth, def.storedHeight);
		if (tables[size_t(id)].pixels.empty())
			return fail(
				QString("%1: the box %2 does not lie inside %3").arg(def.name, boxText(box), screen));
		tables[size_t(id)].standIn = standIn;
		tables[size_t(id)].source = (QFileInfo(screen).fileName() + " " + boxText(box)).toStdString();
	}

	const std::string source = hudtemplates::templateTableSource(tables);
	if (outFile.isEmpty()) {
		std::fwrite(source.data(), 1, source.size(), stdout);
		return 0;
	}
	QFile out(outFile);
	if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
	    out.write(source.data(), qint64(source.size())) != qint64(source.size()))
		return fail(QString("cannot write %1").arg(outFile));
	std::printf("%s\n", qPrintable(outFile));
	return 0;
}

int runCheck(QStringList args)
{
	QSize size;
	QPoint shift;
	while (!args.isEmpty() && args.first().startsWith("--")) {
		const QString opt = args.takeFirst();
		if (opt == "--size" && !args.isEmpty()) {
			const QStringList wh = args.takeFirst().split('x');
			size = wh.size() == 2 ? QSize(wh[0].toInt(), wh[1].toInt()) : QSize();
			if (size.isEmpty())
				return usage();
		} else if (opt == "--shift" && !args.isEmpty()) {
			const QStringList xy = args.takeFirst().split(',');
			shift = QPoint(xy.value(0).toInt(), xy.value(1).toInt());
		} else {
			return usage();
		}
	}
	if (args.isEmpty())
		return usage();
	for (const QString &file : args) {
		QString error;
		std::optional<QImage> image = loadRgba(file, &error);
		if (!image)
			return fail(error);
		if (!shift.isNull()) {
			QImage moved(image->size(), image->format());
			moved.fill(Qt::black);
			QPainter(&moved).drawImage(shift, *image);
			image = moved;
		}
		if (size.isValid())
			image = image->scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
		const hud::FrameView frame{image->constBits(), image->width(), image->height(),
					   uint32_t(image->bytesPerLine())};
		if (!frame.usable()) {
			std::printf("%s: %s (frame too small)\n", qPrintable(file), hudStateName(kHudUnknown));
			continue;
		}
		hud::HudEvidence evidence(frame);
		const int32_t state = hud::decideHudState(evidence);
		std::printf("%s: %s\n", qPrintable(file), hudStateName(state));
		std::printf("  top-left detail %s, counter strip %s, bar warmth %d, centre bright %d\n",
			    evidence.topLeftDetail() ? "yes" : "no", evidence.counterStrip() ? "yes" : "no",
			    evidence.barWarmth(), evidence.centreBright());
		for (int id = 0; id < kHudTemplateCount; ++id) {
			const HudTemplateDef &def = kHudTemplateDefs[size_t(id)];
			const bool skipped = def.onlyWithoutHud && evidence.hudPresent();
			std::printf("  %-15s %6.3f%s\n", def.name, double(evidence.score(HudTemplateId(id))),
				    skipped ? "  (not matched while the HUD is present)" : "");
		}
	}
	return 0;
}

int runList()
{
	for (int id = 0; id < kHudTemplateCount; ++id) {
		const HudTemplateDef &def = kHudTemplateDefs[size_t(id)];
		const HudTemplatePixels &table = kHudTemplatePixels[size_t(id)];
		std::printf("%-15s stored %dx%d, box %s, built in: %s %s\n", def.name, def.storedWidth,
			    def.storedHeight, qPrintable(boxText(defaultTemplateBox(def))),
			    table.standIn ? "stand-in" : "capture", table.source);
	}
	return 0;
}

} // namespace

int main(int argc, char **argv)
{
	// Text is drawn off screen; no display is needed.
	if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
		qputenv("QT_QPA_PLATFORM", "offscreen");
	QGuiApplication app(argc, argv);
	QStringList args = app.arguments().mid(1);
	if (args.isEmpty())
		return usage();
	const QString mode = args.takeFirst();
	if (mode == "render")
		return runRender(args);
	if (mode == "generate")
		return runGenerate(args);
	if (mode == "check")
		return runCheck(args);
	if (mode == "list")
		return runList();
	return usage();
}

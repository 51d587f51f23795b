// ostrelo-read-dump corpus FOLDER | screens | matches | processing [MATCH...]: prints every
// result of the readers, one line each, so that two builds can be diffed. Floats are printed
// exactly (%a): a speed-up of a reader must leave every line as it was.
//   corpus      each crop of a written accuracy corpus through the template readers as frame
//               processing calls them: counters on the grey and the red path, end-card
//               numbers, plates with the crop's outline or angle
//   screens     the HUD classifier's measures, scores and state on the stand-in screens at
//               several sizes and shifts
//   matches     the same on every step of every scripted match, at its own size and at 4K,
//               with the template readings of each stat's preset region
//   processing  each scripted match replayed through frame processing with every reader,
//               the learned one included: HUD state, confirmed values and updates per frame

#include "statreader/default_readers.h"
#include "statreader/hud_classifier_internal.h"
#include "statreader/presets.h"
#include "tools/corpus/corpus_io.h"
#include "tools/replay/match_script.h"
#include "tools/replay/replay_session.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <string>

using namespace ostrelo;

namespace {

std::string readingText(const StatReading &r)
{
	char line[160];
	std::snprintf(line, sizeof line, "ok=%d value=%d digits=%d conf=%a exact=%a text=\"%s\"", r.ok ? 1 : 0, r.value,
		      r.digits, double(r.confidence), double(r.exactValue), r.text.c_str());
	return line;
}

std::optional<PlatesOutline> outlineOf(const std::optional<std::array<float, 8>> &quad)
{
	if (!quad)
		return std::nullopt;
	PlatesOutline outline;
	for (size_t i = 0; i < 4; ++i)
		outline[i] = PointF{(*quad)[2 * i], (*quad)[2 * i + 1]};
	return outline;
}

int dumpCorpus(const QString &folder)
{
	QString error;
	const std::vector<corpus::Entry> entries = corpus::readManifest(folder, error);
	if (!error.isEmpty()) {
		std::fprintf(stderr, "ostrelo-read-dump: %s\n", qPrintable(error));
		return 1;
	}
	auto readers = makeDefaultReaders(false);
	for (const corpus::Entry &e : entries) {
		const RgbaImage crop = corpus::loadCrop(e.path);
		const QString name = e.path.mid(folder.size() + 1);
		switch (e.kind) {
		case corpus::Kind::Plates:
			std::printf("%s plates %s\n", qPrintable(name),
				    readingText(readers->readPlates(crop, outlineOf(e.quad), e.angle)).c_str());
			break;
		case corpus::Kind::Card:
			std::printf("%s card %s\n", qPrintable(name),
				    readingText(readers->readCardNumber(crop, "placement")).c_str());
			break;
		default:
			std::printf("%s red %s\n", qPrintable(name),
				    readingText(readers->readDigitStat(crop, "kills", true)).c_str());
			std::printf("%s grey %s\n", qPrintable(name),
				    readingText(readers->readDigitStat(crop, "wins", false)).c_str());
			break;
		}
	}
	return 0;
}

void dumpEvidence(const char *what, const QImage &rgba)
{
	const hud::FrameView view{rgba.constBits(), rgba.width(), rgba.height(), uint32_t(rgba.bytesPerLine())};
	const int32_t state = classifyHudState(view.data, view.width, view.height, view.lineSize);
	std::printf("%s %dx%d state=%s", what, view.width, view.height, hudStateName(state));
	if (view.usable()) {
		hud::HudEvidence e(view);
		std::printf(" detail=%d strip=%d warmth=%d bright=%d card=%d", e.topLeftDetail() ? 1 : 0,
			    e.counterStrip() ? 1 : 0, e.barWarmth(), e.centreBright(), e.cardStandsOut() ? 1 : 0);
		for (int id = 0; id < kHudTemplateCount; ++id)
			std::printf(" %s=%a", kHudTemplateDefs[size_t(id)].name, double(e.score(HudTemplateId(id))));
	}
	std::printf("\n");
}

int dumpScreens()
{
	const char *files[] = {"after-action.png", "watching-teammate.png", "menu.png", "placement.png"};
	const QSize sizes[] = {{1280, 720}, {1920, 1080}, {2560, 1440}, {3840, 2160}, {1366, 768}, {854, 480}};
	const QPoint shifts[] = {{0, 0}, {3, -2}, {-7, 5}};
	for (const char *file : files) {
		const QImage screen(QString(OSTRELO_HUD_SCREENS_DIR "/") + file);
		for (const QSize &size : sizes)
			for (const QPoint &shift : shifts) {
				QImage out(size, QImage::Format_RGBA8888);
				out.fill(Qt::black);
				QPainter p(&out);
				p.setRenderHint(QPainter::SmoothPixmapTransform);
				p.drawImage(QRect(shift, size), screen);
				p.end();
				const std::string what = std::string(file) + " " + std::to_string(shift.x()) + "," +
							 std::to_string(shift.y());
				dumpEvidence(what.c_str(), out);
			}
	}
	return 0;
}

void dumpFrameReadings(const std::string &what, const QImage &rgba, StatReaders &readers)
{
	dumpEvidence(what.c_str(), rgba);
	FilterConfig config;
	applyWarzonePreset(config, rgba.width(), rgba.height());
	for (int i = 0; i < kStatCount; ++i) {
		const StatRegion &r = config.regions[size_t(i)];
		if (r.w < 4 || r.h < 6 || r.x < 0 || r.y < 0 || r.x + r.w > rgba.width() || r.y + r.h > rgba.height())
			continue;
		const RgbaImage crop =
			copyRect(rgba.constBits(), uint32_t(rgba.bytesPerLine()), r.x, r.y, r.x + r.w, r.y + r.h);
		const char *key = kStatTable[size_t(i)].key;
		const StatReading reading = i == kStatPlates ? readers.readPlates(crop, std::nullopt, 0.f)
							     : readers.readDigitStat(crop, key, i != kStatWins);
		std::printf("%s %s %s\n", what.c_str(), key, readingText(reading).c_str());
	}
}

QStringList matchesOf(const QStringList &args)
{
	return args.isEmpty() ? replay::matchNames() : args;
}

int dumpMatches(const QStringList &names)
{
	auto readers = makeDefaultReaders(false);
	for (const QString &name : names)
		for (const QSize &size : {QSize(0, 0), QSize(3840, 2160)}) {
			const std::vector<replay::MatchStep> steps =
				replay::matchScript(name, 1, size.width(), size.height());
			for (size_t i = 0; i < steps.size(); ++i) {
				const QImage frame = hudframes::renderHudFrame(steps[i].frame)
							     .convertToFormat(QImage::Format_RGBA8888);
				dumpFrameReadings(name.toStdString() + " step " + std::to_string(i), frame, *readers);
			}
		}
	return 0;
}

std::string fieldsText(const UpdateFields &fields)
{
	std::string out;
	for (const auto &[key, v] : fields) {
		char item[96];
		if (v.isDouble)
			std::snprintf(item, sizeof item, " %s=%a", key.c_str(), v.d);
		else
			std::snprintf(item, sizeof item, " %s=%lld", key.c_str(), static_cast<long long>(v.i));
		out += item;
	}
	return out;
}

int dumpProcessing(const QStringList &names)
{
	for (const QString &name : names) {
		const std::vector<replay::MatchStep> steps = replay::matchScript(name);
		std::vector<QImage> images;
		for (const replay::MatchStep &s : steps)
			images.push_back(hudframes::renderHudFrame(s.frame).convertToFormat(QImage::Format_RGBA8888));
		FilterSettings settings;
		settings.game = kGameWarzone;
		settings.eventId = 1;
		settings.token = "dump";
		StatReaderState state;
		applySettings(state, settings, replay::ReplaySession::kClockBaseNs);
		replay::ReplaySession session(std::move(state), makeDefaultReaders());
		// Each step shown for its seconds at 30 frames a second.
		int64_t frame = 0;
		for (size_t i = 0; i < steps.size(); ++i) {
			const QImage &img = images[i];
			const FrameView view{img.constBits(), img.width(), img.height(), uint32_t(img.bytesPerLine())};
			for (int n = 0; n < int(steps[i].seconds * 30); ++n, ++frame) {
				const uint64_t at = uint64_t(frame) * 1'000'000'000ULL / 30;
				const std::optional<replay::ProcessedFrame> p = session.render(view, frame, at);
				if (!p)
					continue;
				std::printf("%s frame %lld hud=%d", qPrintable(name), static_cast<long long>(p->frame),
					    p->hudAfter);
				for (const replay::ValueChange &c : p->changes)
					std::printf(" %s:%s->%s", c.key.c_str(),
						    c.before ? std::to_string(*c.before).c_str() : "-",
						    c.after ? std::to_string(*c.after).c_str() : "-");
				const FrameEffects &fx = p->effects;
				std::printf(" save=%d refresh=%d warn=%d", fx.saveNumbering ? 1 : 0,
					    fx.refreshProperties ? 1 : 0, fx.warnNotConfigured ? 1 : 0);
				if (fx.send)
					std::printf(" send game=%d%s", fx.send->gameNo,
						    fieldsText(fx.send->fields).c_str());
				const StatReaderState &st = session.state();
				std::printf(" live=%d lobby=%d final=%d\n", st.matchLive ? 1 : 0,
					    st.sawFullLobby ? 1 : 0, st.final ? 1 : 0);
			}
		}
	}
	return 0;
}

} // namespace

int main(int argc, char **argv)
{
	if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
		qputenv("QT_QPA_PLATFORM", "offscreen");
	QGuiApplication app(argc, argv);
	const QStringList args = app.arguments().mid(1);
	const QString what = args.value(0);
	if (what == "corpus" && args.size() == 2)
		return dumpCorpus(args[1]);
	if (what == "screens" && args.size() == 1)
		return dumpScreens();
	if (what == "matches")
		return dumpMatches(matchesOf(args.mid(1)));
	if (what == "processing")
		return dumpProcessing(matchesOf(args.mid(1)));
	std::fprintf(stderr, "usage: ostrelo-read-dump corpus FOLDER | screens | matches [MATCH...] | "
			     "processing [MATCH...]\n");
	return 2;
}

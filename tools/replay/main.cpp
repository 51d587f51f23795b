// ostrelo-replay: the stat reader's frame processing over recorded footage, without OBS.
//
//   ostrelo-replay run INPUT [options]       replay a folder of screenshots or a video
//   ostrelo-replay crop --stat KEY IMAGE...  read one stat from images
//   ostrelo-replay generate FOLDER           write a scripted match to replay

#include "statreader/stat_table.h"
#include "tools/replay/crop_read.h"
#include "tools/replay/match_script.h"
#include "tools/replay/replay_run.h"

#include <QCommandLineParser>
#include <QGuiApplication>

#include <cstdio>

using namespace ostrelo;
using namespace ostrelo::replay;

namespace {

const char *kUsage = R"(usage:
  ostrelo-replay run INPUT [options]
      INPUT: a folder of PNG/JPEG screenshots (sorted by name, each held --hold seconds)
      or a video file (decoded with ffmpeg). Frames are rendered at --fps and processed
      as the filter does: in pairs of consecutive frames, about every 200 ms.
      --times FILE         when each image shows ("SECONDS NAME" per line); INPUT may then be omitted
      --hold SECONDS       how long each image (and the last one of --times) shows [1]
      --fps N              render frame rate [30]
      --game ID            warzone | mw4-multiplayer [warzone]
      --no-preset          do not place the Warzone counters by the 16:9 preset
      --region KEY=X,Y,W,H a stat rectangle in frame pixels (repeatable)
      --plates-quad X0,Y0,X1,Y1,X2,Y2,X3,Y3   the plates bar's corners
      --plates-angle DEG   the plates box's rotation
      --event N            event id [1]
      --token TOKEN        overlay token [replay]
      --game-no N          game number to start from [1]
      --post URL           post each update to URL with the live client (needs --token)
      --expect FILE        compare with what the footage shows; exit 1 on a wrong value
      --latency SECONDS    how late a confirmed value may follow the screen [1.5]
      --no-progress        no progress lines on stderr
  ostrelo-replay crop --stat KEY [--region X,Y,W,H | --preset] [--card placement|aar]
                      [--game ID] [--angle DEG] [--explain] IMAGE...
      reads one stat from each image as frame processing does; --explain prints the
      reader's trace on stderr
  ostrelo-replay generate FOLDER [--match NAME] [--size WxH] [--format png|jpg] [--seed N]
                          [--video FILE]
      writes a scripted match: frames, times.txt and expect.txt (and a video with ffmpeg);
      --match names one of the scripted matches (--match list prints them) [basic]
)";

int usage(const char *why = nullptr)
{
	if (why)
		std::fprintf(stderr, "ostrelo-replay: %s\n", why);
	std::fputs(kUsage, stderr);
	return 2;
}

std::optional<std::vector<int>> integers(const QString &text, int count)
{
	const QStringList parts = text.split(',');
	if (parts.size() != count)
		return std::nullopt;
	std::vector<int> out;
	for (const QString &p : parts) {
		bool ok = false;
		const int v = p.trimmed().toInt(&ok);
		if (!ok)
			return std::nullopt;
		out.push_back(v);
	}
	return out;
}

bool number(const QCommandLineParser &p, const char *name, double &out)
{
	if (!p.isSet(name))
		return true;
	bool ok = false;
	out = p.value(name).toDouble(&ok);
	return ok && std::isfinite(out);
}

int runCommand(const QCommandLineParser &p, const QStringList &args)
{
	RunOptions o;
	if (args.size() > 2)
		return usage("run takes one INPUT");
	o.input = args.value(1);
	o.timesFile = p.value("times");
	if (o.input.isEmpty() && o.timesFile.isEmpty())
		return usage("run needs INPUT or --times");
	double eventId = 1, gameNo = 1, angle = 0;
	if (!number(p, "hold", o.holdSeconds) || !number(p, "fps", o.fps) || !number(p, "latency", o.latencySeconds) ||
	    !number(p, "event", eventId) || !number(p, "game-no", gameNo) || !number(p, "plates-angle", angle))
		return usage("a number option is not a number");
	if (o.holdSeconds <= 0 || o.latencySeconds < 0 || eventId < 0 || eventId > 2147483647 || gameNo < 1 ||
	    gameNo > 999)
		return usage("a number option is out of range");
	FilterSettings &s = o.settings;
	s.game = p.isSet("game") ? p.value("game").toStdString() : std::string(kGameWarzone);
	if (s.game != kGameWarzone && s.game != kGameMw4)
		return usage("--game is warzone or mw4-multiplayer");
	s.useWzPreset = !p.isSet("no-preset");
	s.eventId = int64_t(eventId);
	s.token = p.isSet("token") ? p.value("token").toStdString() : std::string("replay");
	// The game number is stored per event, as the filter keeps it.
	s.gameNo = int64_t(gameNo);
	s.gameNoEvent = s.eventId;
	s.platesAngle = angle;
	for (const QString &r : p.values("region")) {
		const int idx = statIndex(r.section('=', 0, 0).toStdString());
		const auto v = integers(r.section('=', 1), 4);
		if (idx < 0 || !v)
			return usage("--region is KEY=X,Y,W,H with a stat key");
		s.regions[size_t(idx)] = {(*v)[0], (*v)[1], (*v)[2], (*v)[3]};
	}
	if (p.isSet("plates-quad")) {
		const auto q = integers(p.value("plates-quad"), 8);
		if (!q)
			return usage("--plates-quad takes eight integers");
		s.platesQuadN = 4;
		for (size_t i = 0; i < 4; ++i) {
			s.qx[i] = (*q)[2 * i];
			s.qy[i] = (*q)[2 * i + 1];
		}
	}
	o.postUrl = p.value("post");
	if (!o.postUrl.isEmpty() && !p.isSet("token"))
		return usage("--post needs --token");
	o.expectFile = p.value("expect");
	o.progress = !p.isSet("no-progress");
	return runReplay(o);
}

int cropCommand(const QCommandLineParser &p, const QStringList &args)
{
	CropOptions o;
	o.key = p.value("stat");
	o.game = p.isSet("game") ? p.value("game") : QString(kGameWarzone);
	o.images = args.mid(1);
	if (o.key.isEmpty() || o.images.isEmpty())
		return usage("crop needs --stat KEY and at least one image");
	if (p.isSet("region")) {
		const auto v = integers(p.value("region"), 4);
		if (!v)
			return usage("crop's --region is X,Y,W,H");
		for (size_t i = 0; i < 4; ++i)
			o.region[i] = (*v)[i];
	}
	o.preset = p.isSet("preset");
	o.card = p.value("card");
	if (!o.card.isEmpty() && o.card != "placement" && o.card != "aar")
		return usage("--card is placement or aar");
	if (!number(p, "angle", o.angle))
		return usage("--angle is a number");
	o.explain = p.isSet("explain");
	return readCrops(o);
}

int generateCommand(const QCommandLineParser &p, const QStringList &args)
{
	GenerateOptions o;
	if (p.value("match") == "list") {
		for (const QString &name : matchNames())
			std::printf("%s\n", qPrintable(name));
		return 0;
	}
	if (args.size() != 2)
		return usage("generate takes one FOLDER");
	o.folder = args[1];
	if (p.isSet("match"))
		o.match = p.value("match");
	if (p.isSet("size")) {
		const QStringList wh = p.value("size").split('x');
		o.width = wh.value(0).toInt();
		o.height = wh.value(1).toInt();
		if (wh.size() != 2 || o.width < 320 || o.height < 180 || o.width > 7680 || o.height > 4320)
			return usage("--size is WxH, from 320x180 to 7680x4320");
	}
	if (p.isSet("format"))
		o.format = p.value("format");
	if (p.isSet("seed"))
		o.seed = p.value("seed").toUInt();
	o.video = p.value("video");
	const QString error = generateMatch(o);
	if (!error.isEmpty()) {
		std::fprintf(stderr, "ostrelo-replay: %s\n", qPrintable(error));
		return 1;
	}
	std::printf("wrote %s/times.txt and %s/expect.txt\n", qPrintable(o.folder), qPrintable(o.folder));
	return 0;
}

} // namespace

int main(int argc, char **argv)
{
	// Text is drawn offscreen; no display is needed.
	if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
		qputenv("QT_QPA_PLATFORM", "offscreen");
	QGuiApplication app(argc, argv);
	QCommandLineParser p;
	const QList<QCommandLineOption> options = {
		{"times", "", "FILE"},    {"hold", "", "SECONDS"},
		{"fps", "", "N"},         {"game", "", "ID"},
		{"no-preset", ""},        {"region", "", "RECT"},
		{"plates-quad", "", "Q"}, {"plates-angle", "", "DEG"},
		{"event", "", "N"},       {"token", "", "TOKEN"},
		{"game-no", "", "N"},     {"post", "", "URL"},
		{"expect", "", "FILE"},   {"latency", "", "SECONDS"},
		{"no-progress", ""},      {"stat", "", "KEY"},
		{"preset", ""},           {"card", "", "TABLE"},
		{"angle", "", "DEG"},     {"explain", ""},
		{"size", "", "WxH"},      {"format", "", "FMT"},
		{"seed", "", "N"},        {"video", "", "FILE"},
		{"match", "", "NAME"},    {{"h", "help"}, ""},
	};
	p.addOptions(options);
	if (!p.parse(app.arguments()))
		return usage(qPrintable(p.errorText()));
	const QStringList args = p.positionalArguments();
	if (p.isSet("help") || args.isEmpty())
		return usage();
	if (args[0] == "run")
		return runCommand(p, args);
	if (args[0] == "crop")
		return cropCommand(p, args);
	if (args[0] == "generate")
		return generateCommand(p, args);
	return usage("the command is run, crop or generate");
}

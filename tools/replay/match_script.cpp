#include "tools/replay/match_script.h"

#include "tools/hudframes/hud_frame.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTextStream>

#include <vector>

namespace ostrelo::replay {

namespace {

using hudframes::Ground;
using hudframes::HudFrame;
using hudframes::Screen;
using Step = MatchStep;

HudFrame counters(int kills, int players, int teams, double plates, bool red = false)
{
	HudFrame f;
	f.kills = kills;
	f.playersLeft = players;
	f.teamsLeft = teams;
	f.plates = plates;
	f.redPlayers = red;
	return f;
}

HudFrame screen(Screen s, HudFrame f = {})
{
	f.screen = s;
	return f;
}

std::vector<Step> basicSteps()
{
	HudFrame card = screen(Screen::PlacementCard);
	card.placement = 2;
	card.cardKills = 8;
	// The downed screen tints the plates bar: what it reads there is not written down.
	return {
		{2, screen(Screen::Lobby), "game_no=1"},
		{4, counters(0, 150, 50, 3), "kills=0 players_left=150 teams_left=50 plates=3"},
		{3, counters(1, 141, 48, 2.5), "kills=1 players_left=141 teams_left=48 plates=2.5"},
		{3, counters(2, 128, 45, 2), "kills=2 players_left=128 teams_left=45 plates=2"},
		{2, screen(Screen::Downed, counters(2, 120, 43, 0)), "players_left=120 teams_left=43 plates=-"},
		{3, counters(4, 97, 38, 1.5), "kills=4 players_left=97 teams_left=38 plates=1.5"},
		{3, counters(5, 61, 24, 3), "kills=5 players_left=61 teams_left=24 plates=3"},
		{3, counters(7, 12, 6, 1, true), "kills=7 players_left=12 teams_left=6 plates=1"},
		{3, counters(8, 5, 2, 0, true), "kills=8 players_left=5 teams_left=2 plates=0"},
		{4, card, "placement=2 kills=8"},
		{4, counters(0, 150, 50, 3), "game_no=2 placement=- kills=0 players_left=150 teams_left=50 plates=3"},
		{3, counters(1, 149, 50, 3), "kills=1 players_left=149"},
	};
}

// How a whole match looks: its counters' face, its ground and size, and what turns the
// world bright mid-match.
struct Look {
	const char *name;
	const char *faceFile;
	int width, height;
	Ground ground;
	Ground bright; // Dim: no bright stretch
	double haze;   // of the bright stretch (and of a Sand or Snow ground all along)
	double tracking;
};

const Look kLooks[] = {
	{"interior-ptsans-720", "/usr/share/fonts/truetype/paratype/PTN77F.ttf", 1280, 720, Ground::Interior,
	 Ground::Dim, 0, -0.04},
	{"terrain-opensans-1080", "/usr/share/fonts/truetype/open-sans/OpenSans-CondBold.ttf", 1920, 1080,
	 Ground::Terrain, Ground::Snow, 0.6, -0.02},
	{"street-universalis-1440", "/usr/share/fonts/truetype/adf/UniversalisADFStd-BoldCond.otf", 2560, 1440,
	 Ground::Street, Ground::Flash, 0.8, 0.0},
	{"sand-cantarell-900", "/usr/share/fonts/opentype/cantarell/Cantarell-Bold.otf", 1600, 900, Ground::Terrain,
	 Ground::Sand, 0.7, -0.05},
	{"snow-din-1080", "/usr/share/fonts/truetype/opendin/OSP-DIN.ttf", 1920, 1080, Ground::Snow, Ground::Snow, 0.75,
	 0.0},
	{"street-switzera-720", "/usr/share/fonts/truetype/adf/SwitzeraADF-BoldCond.otf", 1280, 720, Ground::Street,
	 Ground::Sand, 0.6, -0.03},
	{"interior-play-1440", "/usr/share/fonts/truetype/play/Play-Bold.ttf", 2560, 1440, Ground::Interior,
	 Ground::Flash, 0.85, -0.04},
};

const Look *findLook(const QString &name)
{
	for (const Look &l : kLooks)
		if (name == l.name)
			return &l;
	return nullptr;
}

std::vector<Step> wholeMatch(const Look &look, const QString &family)
{
	struct Row {
		double seconds;
		int kills, players, teams;
		double plates;
		bool red, downed, bright;
	};
	// Kills climb through the teens and players left fall to single figures: numbers with a
	// leading 1 and numbers that lose one, as the HUD shows them.
	const Row rows[] = {
		{3.0, 0, 150, 50, 3, false, false, false},   {2.5, 1, 146, 49, 3, false, false, false},
		{2.5, 1, 131, 45, 2.5, false, false, false}, {2.5, 2, 118, 41, 2, false, false, false},
		{2.5, 3, 104, 37, 2, false, false, true},    {2.5, 4, 91, 33, 1.5, false, false, true},
		{2.5, 5, 76, 28, 1, false, false, true},     {2.0, 5, 70, 26, 0, false, true, false},
		{2.5, 6, 61, 24, 3, false, false, false},    {2.5, 7, 52, 21, 3, false, false, false},
		{2.5, 8, 43, 17, 2.5, false, false, false},  {2.5, 9, 31, 16, 2, false, false, false},
		{2.5, 10, 24, 15, 2, false, false, false},   {2.5, 11, 19, 13, 1.5, true, false, false},
		{2.5, 13, 16, 11, 1, true, false, false},    {2.5, 14, 12, 10, 1, true, false, false},
		{2.5, 15, 10, 8, 0.5, true, false, false},   {2.5, 16, 7, 5, 0, true, false, false},
	};
	const auto dressed = [&](HudFrame f, bool bright) {
		f.face = family;
		f.tracking = look.tracking;
		f.minimap = hudframes::Minimap::Map;
		f.counterShadow = true;
		const bool stretch = bright && look.bright != Ground::Dim;
		f.ground = stretch ? look.bright : look.ground;
		// A ground that is itself the bright one hazes lightly all along, thickly in the stretch.
		f.haze = stretch ? look.haze : look.ground == look.bright ? look.haze / 3 : 0.0;
		return f;
	};
	std::vector<Step> steps;
	steps.push_back({2, dressed(screen(Screen::Lobby), false), "game_no=1"});
	for (const Row &r : rows) {
		HudFrame f = counters(r.kills, r.players, r.teams, r.plates, r.red);
		QString expect = QStringLiteral("kills=%1 players_left=%2 teams_left=%3")
					 .arg(r.kills)
					 .arg(r.players)
					 .arg(r.teams);
		if (r.downed) {
			// The downed screen tints the plates bar: what it reads there is not written down.
			f.screen = Screen::Downed;
			expect += QStringLiteral(" plates=-");
		} else {
			expect += QStringLiteral(" plates=%1").arg(r.plates);
		}
		steps.push_back({r.seconds, dressed(f, r.bright), expect});
	}
	// The end card hides the world: it stands on a plain screen.
	HudFrame card = dressed(screen(Screen::PlacementCard), false);
	card.ground = Ground::Dim;
	card.placement = 3;
	card.cardKills = 16;
	steps.push_back({4, card, "placement=3 kills=16"});
	steps.push_back({3, dressed(counters(0, 150, 50, 3), false),
			 "game_no=2 placement=- kills=0 players_left=150 teams_left=50 plates=3"});
	steps.push_back({2.5, dressed(counters(1, 149, 50, 3), false), "kills=1 players_left=149"});
	return steps;
}

bool writeText(const QString &path, const QString &text)
{
	QFile f(path);
	if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
		return false;
	return f.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

QStringList matchNames()
{
	QStringList names{QStringLiteral("basic")};
	for (const Look &l : kLooks)
		names << l.name;
	return names;
}

QString matchFaceFile(const QString &name)
{
	const Look *look = findLook(name);
	return look ? QString(look->faceFile) : QString();
}

std::vector<MatchStep> matchScript(const QString &name, unsigned seed, int width, int height)
{
	std::vector<Step> steps;
	int w = 1920, h = 1080;
	if (name == "basic") {
		steps = basicSteps();
	} else if (const Look *look = findLook(name)) {
		const QString family = hudframes::faceFamily(look->faceFile);
		if (family.isEmpty())
			return {};
		steps = wholeMatch(*look, family);
		w = look->width;
		h = look->height;
	}
	if (width > 0 && height > 0) {
		w = width;
		h = height;
	}
	unsigned n = 0;
	for (Step &s : steps) {
		s.frame.width = w;
		s.frame.height = h;
		s.frame.seed = seed + n++;
	}
	return steps;
}

QString generateMatch(const GenerateOptions &o)
{
	if (o.format != "png" && o.format != "jpg")
		return QStringLiteral("format must be png or jpg");
	if (!QDir().mkpath(o.folder))
		return QStringLiteral("cannot create %1").arg(o.folder);
	const QDir dir(o.folder);
	QString times = QStringLiteral("# seconds  image: when each image starts to show\n");
	QString expect = QStringLiteral("# seconds  what the footage shows from then on\n");
	QString concat; // ffmpeg's concat list, for the video
	double at = 0;
	int n = 0;
	QString last;
	const std::vector<Step> steps = matchScript(o.match, o.seed, o.width, o.height);
	if (steps.empty())
		return QStringLiteral("no match %1 (or its face is not installed); the matches: %2")
			.arg(o.match, matchNames().join(", "));
	for (const Step &step : steps) {
		const QString name = QStringLiteral("frame-%1.%2").arg(n, 2, 10, QChar('0')).arg(o.format);
		if (!hudframes::renderHudFrame(step.frame)
			     .save(dir.filePath(name), nullptr, o.format == "jpg" ? 92 : -1))
			return QStringLiteral("cannot write %1").arg(dir.filePath(name));
		times += QStringLiteral("%1 %2\n").arg(at, 0, 'f', 1).arg(name);
		expect += QStringLiteral("%1 %2\n").arg(at, 0, 'f', 1).arg(step.expect);
		concat += QStringLiteral("file '%1'\nduration %2\n").arg(name).arg(step.seconds);
		at += step.seconds;
		last = name;
		++n;
	}
	times += QStringLiteral("%1\n").arg(at, 0, 'f', 1); // the end of the footage
	if (!writeText(dir.filePath("times.txt"), times) || !writeText(dir.filePath("expect.txt"), expect))
		return QStringLiteral("cannot write the times and expectation files in %1").arg(o.folder);
	if (o.video.isEmpty())
		return {};

	// The concat demuxer takes the last duration only when the last file is named again.
	concat += QStringLiteral("file '%1'\n").arg(last);
	if (!writeText(dir.filePath("concat.txt"), concat))
		return QStringLiteral("cannot write %1").arg(dir.filePath("concat.txt"));
	QProcess ffmpeg;
	ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
	ffmpeg.start(QStringLiteral("ffmpeg"), {"-y", "-v", "error", "-nostdin", "-f", "concat", "-safe", "0", "-i",
						dir.filePath("concat.txt"), "-vf", "fps=30,format=yuv420p", "-c:v",
						"libx264", "-preset", "ultrafast", "-crf", "16", o.video});
	if (!ffmpeg.waitForFinished(600000) || ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0)
		return QStringLiteral("ffmpeg could not encode %1: %2")
			.arg(o.video, QString::fromUtf8(ffmpeg.readAll()).trimmed());
	return {};
}

} // namespace ostrelo::replay

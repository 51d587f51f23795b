#include "tools/replay/match_script.h"

#include "tools/hudframes/hud_frame.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTextStream>

#include <vector>

namespace ostrelo::replay {

namespace {

using hudframes::HudFrame;
using hudframes::Screen;

struct Step {
	double seconds; // how long the frame shows
	HudFrame frame;
	QString expect; // what the footage shows from this step on ("key=value ...")
};

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

std::vector<Step> matchSteps()
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

bool writeText(const QString &path, const QString &text)
{
	QFile f(path);
	if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
		return false;
	return f.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

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
	for (Step step : matchSteps()) {
		step.frame.width = o.width;
		step.frame.height = o.height;
		step.frame.seed = o.seed + unsigned(n);
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

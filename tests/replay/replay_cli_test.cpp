// ostrelo-replay as a user runs it, on a match its own generator draws: what the README
// shows, and the exit codes scripts rely on.

#include "loopback_server.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

using ostrelo::test::LoopbackServer;
using ostrelo::test::RecordedRequest;
using ostrelo::test::Reply;

namespace {

struct ToolRun {
	int exitCode = -1;
	QByteArray out;
	QByteArray err;
};

ToolRun replay(const QStringList &args, int timeoutMs = 300000)
{
	QProcess p;
	QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
	env.insert("QT_QPA_PLATFORM", "offscreen");
	p.setProcessEnvironment(env);
	p.start(OSTRELO_REPLAY, args);
	ToolRun r;
	if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit)
		return r;
	r.exitCode = p.exitCode();
	r.out = p.readAllStandardOutput();
	r.err = p.readAllStandardError();
	return r;
}

bool writeFile(const QString &path, const QByteArray &text)
{
	QFile f(path);
	return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

QByteArray readFile(const QString &path)
{
	QFile f(path);
	return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ReplayCli : public ::testing::Test {
protected:
	static void SetUpTestSuite()
	{
		dir_ = new QTemporaryDir();
		const ToolRun g = replay({"generate", dir_->filePath("match")});
		ASSERT_EQ(g.exitCode, 0) << g.err.toStdString();
	}
	static void TearDownTestSuite()
	{
		delete dir_;
		dir_ = nullptr;
	}
	static QString match(const QString &name) { return dir_->filePath("match/" + name); }
	static inline QTemporaryDir *dir_ = nullptr;
};

TEST_F(ReplayCli, TheGeneratedMatchReplaysAsExpected)
{
	const ToolRun r = replay({"run", "--times", match("times.txt"), "--expect", match("expect.txt"), "--event", "7",
				  "--token", "demo", "--no-progress"});
	ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
	// Every value on screen is confirmed, none is wrong.
	EXPECT_TRUE(r.out.contains("expect: 40 matched, 0 missed, 0 wrong")) << r.out.toStdString();
	// The updates the service would get: counters during the match, the final result alone,
	// then the next game.
	const char *updates[] = {
		R"(update {"event":7,"event_id":7,"game_no":1,"kills":0,"plates":3,"players_left":150,"teams_left":50})",
		R"(update {"event":7,"event_id":7,"game_no":1,"kills":4,"plates":1.5,"players_left":97,"teams_left":38})",
		R"(update {"event":7,"event_id":7,"game_no":1,"kills":8,"plates":0,"players_left":5,"teams_left":2})",
		R"(update {"event":7,"event_id":7,"game_no":1,"kills":8,"new_game":1,"placement":2})",
		R"(update {"event":7,"event_id":7,"game_no":2,"new_game":1})",
		R"(update {"event":7,"event_id":7,"game_no":2,"kills":1,"plates":3,"players_left":149,"teams_left":50})",
	};
	qsizetype from = 0;
	for (const char *u : updates) {
		const qsizetype at = r.out.indexOf(u, from);
		EXPECT_GE(at, 0) << "missing, or out of order: " << u;
		from = std::max<qsizetype>(from, at);
	}
	EXPECT_TRUE(r.out.contains("hud in-match -> placement-card"));
	EXPECT_TRUE(r.out.contains("placement none -> 2"));
	EXPECT_TRUE(r.out.contains("game_no 1 -> 2"));
	EXPECT_TRUE(r.out.contains("replay: 37.0 s of footage, 1110 render frames"));
}

TEST_F(ReplayCli, AWrongExpectationFailsTheRun)
{
	// The footage shows 5 kills from 17 s; this file claims 6.
	QByteArray expect = readFile(match("expect.txt"));
	ASSERT_TRUE(expect.contains("17.0 kills=5 "));
	expect.replace("17.0 kills=5 ", "17.0 kills=6 ");
	const QString wrong = dir_->filePath("wrong-expect.txt");
	ASSERT_TRUE(writeFile(wrong, expect));
	const ToolRun r = replay({"run", "--times", match("times.txt"), "--expect", wrong, "--no-progress"});
	EXPECT_EQ(r.exitCode, 1) << r.out.toStdString();
	EXPECT_TRUE(r.out.contains("s kills = 5, the footage shows 6 (expectation line 8)")) << r.out.toStdString();
	EXPECT_TRUE(r.out.contains("missed: kills = 6 from 17.000s")) << r.out.toStdString();
	EXPECT_TRUE(r.out.contains("1 wrong")) << r.out.toStdString();
}

TEST_F(ReplayCli, BadInputIsAnErrorNotAResult)
{
	const QString badExpect = dir_->filePath("bad-expect.txt");
	ASSERT_TRUE(writeFile(badExpect, "0 kils=1\n"));
	const struct {
		QStringList args;
		const char *message;
	} cases[] = {
		{{"run", dir_->filePath("nowhere")}, "no file"},
		{{"run", "--times", match("times.txt"), "--expect", badExpect}, "line 1: unknown key \"kils\""},
		{{"run", "--times", match("times.txt"), "--fps", "0"}, "--fps must be between 1 and 240"},
		{{"run", "--times", match("times.txt"), "--region", "kils=1,2,3,4"}, "--region is KEY=X,Y,W,H"},
		{{"run", "--times", match("times.txt"), "--post", "http://127.0.0.1:9/"}, "--post needs --token"},
		{{"crop", "--stat", "kills"}, "crop needs --stat KEY and at least one image"},
		{{"fly"}, "the command is run, crop or generate"},
	};
	for (const auto &c : cases) {
		const ToolRun r = replay(c.args);
		EXPECT_EQ(r.exitCode, 2) << c.args.join(' ').toStdString();
		EXPECT_TRUE(r.err.contains(c.message)) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
	}
}

TEST_F(ReplayCli, CropModeReadsOneStatAndExplains)
{
	const ToolRun r =
		replay({"crop", "--stat", "players_left", "--preset", match("frame-05.png"), match("frame-07.png")});
	ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
	EXPECT_TRUE(r.out.contains("frame-05.png: players_left 97 (text \"97\", confidence 0."));
	EXPECT_TRUE(r.out.contains("frame-07.png: players_left 12 (text \"12\", confidence 0.")) << "the red counter";
	EXPECT_TRUE(r.err.isEmpty() || !r.err.contains("  bin ")) << "no trace unless asked";

	const ToolRun plates = replay({"crop", "--stat", "plates", "--preset", match("frame-02.png")});
	EXPECT_TRUE(plates.out.contains("frame-02.png: plates 2.5 (text \"2.5\"")) << plates.out.toStdString();

	const ToolRun card =
		replay({"crop", "--stat", "placement", "--card", "placement", "--preset", match("frame-09.png")});
	EXPECT_TRUE(card.out.contains("frame-09.png: placement 2 ")) << card.out.toStdString();

	const ToolRun explained = replay({"crop", "--stat", "kills", "--preset", "--explain", match("frame-05.png")});
	EXPECT_TRUE(explained.out.contains("kills 4"));
	EXPECT_TRUE(explained.err.contains("  bin ")) << "the box reader's trace";
	EXPECT_TRUE(explained.err.contains("    digit=4 score=")) << explained.err.toStdString();
}

TEST_F(ReplayCli, AVideoIsDecodedByFfmpeg)
{
	if (QStandardPaths::findExecutable("ffmpeg").isEmpty())
		GTEST_SKIP() << "ffmpeg is not installed";
	// Ten seconds of the match, encoded the way a recording would be.
	const QString video = dir_->filePath("clip.mp4");
	const QByteArray concat = "file '" + match("frame-01.png").toUtf8() + "'\nduration 4\nfile '" +
				  match("frame-02.png").toUtf8() + "'\nduration 3\nfile '" +
				  match("frame-03.png").toUtf8() + "'\nduration 3\nfile '" +
				  match("frame-03.png").toUtf8() + "'\n";
	ASSERT_TRUE(writeFile(dir_->filePath("clip.txt"), concat));
	QProcess ffmpeg;
	ffmpeg.start("ffmpeg",
		     {"-y", "-v", "error", "-nostdin", "-f", "concat", "-safe", "0", "-i", dir_->filePath("clip.txt"),
		      "-vf", "fps=10,format=yuv420p", "-c:v", "libx264", "-preset", "ultrafast", "-crf", "16", video});
	ASSERT_TRUE(ffmpeg.waitForFinished(300000));
	ASSERT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
	const QString expect = dir_->filePath("clip-expect.txt");
	ASSERT_TRUE(writeFile(expect, "0 kills=0 players_left=150 teams_left=50 plates=3\n"
				      "4 kills=1 players_left=141 teams_left=48 plates=2.5\n"
				      "7 kills=2 players_left=128 teams_left=45 plates=2\n"));

	const ToolRun r = replay({"run", video, "--fps", "10", "--expect", expect, "--event", "3", "--token", "t"});
	ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
	EXPECT_TRUE(r.out.contains("replay: 10.0 s of footage, 100 render frames")) << r.out.toStdString();
	EXPECT_TRUE(r.out.contains(", 0 wrong")) << r.out.toStdString();
	EXPECT_TRUE(r.out.contains(R"("kills":2,"plates":2,"players_left":128,"teams_left":45)"))
		<< r.out.toStdString();
}

TEST_F(ReplayCli, PostsThroughTheLiveClientAndTakesTheServicesGameNumber)
{
	// The service numbers the games itself: from the second update on it says game 5.
	std::atomic<int> answered{0};
	LoopbackServer server([&](const RecordedRequest &) {
		const int n = ++answered;
		return Reply::json(200, n == 1 ? R"({"rev":11})" : R"({"game_no":5,"rev":12})");
	});
	const ToolRun r = replay({"run", "--times", match("times.txt"), "--event", "7", "--token", "secret", "--post",
				  QString::fromStdString(server.url("/live")), "--no-progress"});
	ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
	EXPECT_TRUE(r.out.contains("posted: Connected OK"));
	const std::vector<RecordedRequest> requests = server.requests();
	ASSERT_GE(requests.size(), 10u);
	EXPECT_EQ(int(requests.size()), int(r.out.count("posted: Connected OK")));
	EXPECT_EQ(requests[0].method, "POST");
	EXPECT_EQ(requests[0].path(), "/live");
	EXPECT_EQ(requests[0].header("Authorization").value_or(""), "Bearer secret");
	EXPECT_FALSE(QByteArray::fromStdString(requests[0].body).contains("if_seq"));
	EXPECT_TRUE(QByteArray::fromStdString(requests[1].body).contains("\"if_seq\":11"));
	// Game 5 is taken over on the next processed frame: later updates carry it.
	EXPECT_TRUE(QByteArray::fromStdString(requests.back().body).contains("\"game_no\":")) << requests.back().body;
	EXPECT_TRUE(r.out.contains("game_no 1 -> 5")) << r.out.toStdString();
}

} // namespace

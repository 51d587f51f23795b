// Real screenshots into corpus slices and training crops, on a tiny drawn example: two HUD
// frames and a labels file.

#include "statreader/default_readers.h"
#include "tools/corpus/capture_import.h"
#include "tools/corpus/corpus_read.h"
#include "tools/hudframes/hud_frame.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <map>

using namespace ostrelo;
using namespace ostrelo::corpus;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
	QFile f(path);
	return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

TEST(CaptureImport, LabelledRectanglesBecomeSlicesAndTrainingCrops)
{
	QTemporaryDir dir;
	ASSERT_TRUE(dir.isValid());
	hudframes::HudFrame f;
	f.width = 1280;
	f.height = 720;
	f.kills = 13;
	f.playersLeft = 116;
	f.teamsLeft = 16;
	f.plates = 2.5;
	const QImage shot = hudframes::renderHudFrame(f);
	ASSERT_TRUE(shot.save(dir.filePath("shot-001.png")));
	f.kills = 4;
	f.seed = 2;
	ASSERT_TRUE(hudframes::renderHudFrame(f).save(dir.filePath("shot-002.png")));
	// The preset rectangles of a 1280 x 720 frame, widened a little as a user draws them.
	ASSERT_TRUE(writeFile(dir.filePath("labels.txt"),
			      "# image  stat  x,y,w,h  value\n"
			      "shot-001.png\tkills\t1212,50,34,20\t13\n"
			      "shot-001.png  players_left  1180,50,34,20  116  # red late in a match\n"
			      "shot-001.png plates 44,636,152,32 2.5 0\n"
			      "\n"
			      "shot-002.png kills 1212,50,34,20 4\n"));
	const QString out = dir.filePath("imported");
	const ImportResult r = importCaptures(dir.filePath("labels.txt"), out);
	ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
	EXPECT_EQ(r.crops, 4);
	EXPECT_EQ(r.training, 3); // plates are no digits

	// The slices read back as the golden test and the peer benchmark read them, each crop the
	// labelled rectangle of its screenshot.
	QString error;
	const std::vector<Entry> entries = readManifest(out, error);
	ASSERT_TRUE(error.isEmpty()) << error.toStdString();
	ASSERT_EQ(entries.size(), 4u);
	const struct {
		const char *slice;
		Kind kind;
		double truth;
		QRect rect;
	} expected[] = {
		{"real-kills", Kind::Counter, 13, QRect(1212, 50, 34, 20)},
		{"real-players_left", Kind::Counter, 116, QRect(1180, 50, 34, 20)},
		{"real-plates", Kind::Plates, 2.5, QRect(44, 636, 152, 32)},
		{"real-kills", Kind::Counter, 4, QRect(1212, 50, 34, 20)},
	};
	for (size_t i = 0; i < entries.size(); ++i) {
		const Entry &e = entries[i];
		EXPECT_EQ(e.slice.toStdString(), expected[i].slice);
		EXPECT_EQ(e.kind, expected[i].kind);
		EXPECT_EQ(e.truth, expected[i].truth);
		if (i < 3) {
			EXPECT_EQ(QImage(e.path).convertToFormat(QImage::Format_RGBA8888),
				  shot.copy(expected[i].rect).convertToFormat(QImage::Format_RGBA8888))
				<< i;
		}
	}
	auto readers = makeDefaultReaders();
	EXPECT_EQ(readEntry(*readers, entries[0], loadCrop(entries[0].path)).outcome, Outcome::Correct);

	// Training data: file,value lines, the files beside the list.
	QFile labels(QDir(out).filePath("learned/labels.csv"));
	ASSERT_TRUE(labels.open(QIODevice::ReadOnly));
	const QStringList lines = QString::fromUtf8(labels.readAll()).split('\n', Qt::SkipEmptyParts);
	ASSERT_EQ(lines.size(), 4);
	EXPECT_EQ(lines[0], "file,value");
	const char *values[] = {"13", "116", "4"};
	for (int i = 1; i < 4; ++i) {
		const QString file = lines[i].section(',', 0, 0);
		EXPECT_EQ(lines[i].section(',', 1).toStdString(), values[i - 1]);
		EXPECT_FALSE(QImage(QDir(out).filePath("learned/" + file)).isNull()) << file.toStdString();
	}
}

TEST(CaptureImport, BadLabelsAreRefusedWithTheirLine)
{
	const struct {
		const char *text;
		const char *error; // start of the error
	} cases[] = {
		{"a.png kills 1,2,3,4 5\nb.png wins 1,2,3,4 x\n", "line 2:"},
		{"a.png mana 1,2,3,4 5\n", "line 1: unknown stat"},
		{"a.png kills 1,2,3 5\n", "line 1: \"1,2,3\" is not x,y,w,h"},
		{"a.png kills 1,2,0,4 5\n", "line 1: \"1,2,0,4\" is not x,y,w,h"},
		{"a.png kills 1,2,3,4 2.5\n", "line 1: \"2.5\" is not a value of kills"},
		{"a.png plates 1,2,3,4 3.5\n", "line 1: \"3.5\" is not a value of plates"},
		{"a.png plates 1,2,3,4 1.25\n", "line 1: \"1.25\" is not a value of plates"},
		{"a.png kills 1,2,3,4 5 10\n", "line 1: an angle is for plates"},
		{"# only a comment\na.png kills\n", "line 2: expected"},
	};
	for (const auto &c : cases) {
		const CaptureLabels l = parseCaptureLabels(QString::fromUtf8(c.text));
		EXPECT_TRUE(l.labels.empty()) << c.text;
		EXPECT_TRUE(l.error.startsWith(QString::fromUtf8(c.error)))
			<< c.text << " gave " << l.error.toStdString();
	}
	// A rectangle outside its image stops the import.
	QTemporaryDir dir;
	QImage small(100, 50, QImage::Format_RGBA8888);
	small.fill(Qt::black);
	ASSERT_TRUE(small.save(dir.filePath("s.png")));
	ASSERT_TRUE(writeFile(dir.filePath("l.txt"), "s.png kills 90,10,20,20 3\n"));
	const ImportResult r = importCaptures(dir.filePath("l.txt"), dir.filePath("out"));
	EXPECT_TRUE(r.error.startsWith("line 1: 90,10,20,20 is not inside s.png")) << r.error.toStdString();
}

} // namespace

int main(int argc, char **argv)
{
	qputenv("QT_QPA_PLATFORM", "offscreen");
	QGuiApplication app(argc, argv);
	::testing::InitGoogleTest(&argc, argv);
	return RUN_ALL_TESTS();
}

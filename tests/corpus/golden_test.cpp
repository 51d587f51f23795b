// The readers on the accuracy corpus, slice by slice. A slice fails when its correct reads
// fall below, or its wrong reads rise above, what was measured when its bounds were set: a
// change that costs accuracy, or that makes the filter post wrong numbers, fails here.

#include "statreader/default_readers.h"
#include "tools/corpus/corpus_read.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cstdio>
#include <map>

using namespace ostrelo;
using namespace ostrelo::corpus;

namespace {

// Per slice: at least minCorrect of its crops read right, at most maxWrong read as another
// number. Set from measured results (see the report of the golden test) with a little room
// for font rasteriser differences between machines.
struct Bound {
	const char *slice;
	int minCorrect;
	int maxWrong;
};

const Bound kBounds[] = {
#include "golden_bounds.inc"
};

// With the learned reader: measured correct - 2 and wrong + 1, like the table above.
const Bound kLearnedBounds[] = {
#include "golden_bounds_learned.inc"
};

struct Tallies {
	std::map<QString, Tally> bySlice;
	std::map<QString, std::vector<std::string>> wrongExamples;
	std::vector<QString> order; // slices as the manifest first names them
	Tally numbers;              // every crop but the plates bars
};

// Reads every crop of a written corpus; a crop that does not load fails the test.
Tallies readCorpus(const QString &folder, bool learned)
{
	Tallies out;
	QString error;
	const std::vector<Entry> entries = readManifest(folder, error);
	EXPECT_TRUE(error.isEmpty()) << error.toStdString();
	EXPECT_FALSE(entries.empty()) << folder.toStdString();
	auto readers = makeDefaultReaders(learned);
	std::map<QString, Tally> &tallies = out.bySlice;
	std::map<QString, std::vector<std::string>> &wrongExamples = out.wrongExamples;
	for (const Entry &e : entries) {
		if (!tallies.count(e.slice))
			out.order.push_back(e.slice);
		const RgbaImage crop = loadCrop(e.path);
		EXPECT_GT(crop.width, 0) << e.path.toStdString();
		const ReadResult r = readEntry(*readers, e, crop);
		Tally &t = tallies[e.slice];
		if (r.outcome == Outcome::Correct) {
			++t.correct;
		} else if (r.outcome == Outcome::Wrong) {
			++t.wrong;
			auto &ex = wrongExamples[e.slice];
			if (ex.size() < 3)
				ex.push_back(QStringLiteral("%1 read as %2").arg(e.truth).arg(r.value).toStdString());
		} else {
			++t.none;
		}
		if (e.kind != Kind::Plates) {
			out.numbers.correct += r.outcome == Outcome::Correct;
			out.numbers.wrong += r.outcome == Outcome::Wrong;
			out.numbers.none += r.outcome == Outcome::None;
		}
	}
	return out;
}

template <size_t N>
void checkSlices(bool learned, const Bound (&bounds)[N])
{
	const Tallies read = readCorpus(OSTRELO_CORPUS_DIR, learned);
	if (learned) { // a wrong number is posted: with the learned reader at most 1 in 200
		EXPECT_LE(200 * read.numbers.wrong, read.numbers.total())
			<< read.numbers.wrong << " of " << read.numbers.total() << " numbers read wrong";
	}
	const std::map<QString, Tally> &tallies = read.bySlice;
	const std::map<QString, std::vector<std::string>> &wrongExamples = read.wrongExamples;

	std::printf("%-18s %6s %8s %6s %6s\n", "slice", "crops", "correct", "wrong", "none");
	Tally all;
	for (const QString &slice : sliceNames()) {
		const Tally &t = tallies.count(slice) ? tallies.at(slice) : Tally();
		std::printf("%-18s %6d %8d %6d %6d\n", qPrintable(slice), t.total(), t.correct, t.wrong, t.none);
		all.correct += t.correct;
		all.wrong += t.wrong;
		all.none += t.none;
	}
	std::printf("%-18s %6d %8d %6d %6d\n", "all", all.total(), all.correct, all.wrong, all.none);

	for (const Bound &b : bounds) {
		const Tally &t = tallies.count(b.slice) ? tallies.at(b.slice) : Tally();
		ASSERT_GT(t.total(), 0) << b.slice << " is missing from the corpus";
		EXPECT_GE(t.correct, b.minCorrect) << b.slice << ": fewer correct reads than measured";
		std::string examples;
		for (const auto &x :
		     wrongExamples.count(b.slice) ? wrongExamples.at(b.slice) : std::vector<std::string>())
			examples += " " + x + ";";
		EXPECT_LE(t.wrong, b.maxWrong) << b.slice << ": more wrong numbers than measured:" << examples;
	}
	// Every slice has a bound: a slice added to the corpus without one would go unchecked.
	for (const QString &slice : sliceNames()) {
		bool bounded = false;
		for (const Bound &b : bounds)
			bounded = bounded || slice == b.slice;
		EXPECT_TRUE(bounded) << slice.toStdString() << " has no bound";
	}
}

TEST(Golden, EverySliceWithinItsBounds)
{
	checkSlices(false, kBounds);
}

TEST(Golden, WithTheLearnedReaderEverySliceWithinItsBounds)
{
	checkSlices(true, kLearnedBounds);
}

// Slices imported from real screenshots (ostrelo-corpus import) stay on the machine that has
// them: reported when OSTRELO_REAL_CORPUS names their folder, bounded by nobody.
TEST(Golden, RealCapturesWhenGiven)
{
	const QString folder = qEnvironmentVariable("OSTRELO_REAL_CORPUS");
	if (folder.isEmpty())
		GTEST_SKIP() << "OSTRELO_REAL_CORPUS names no imported captures";
	const Tallies read = readCorpus(folder, true);
	std::printf("%-20s %6s %8s %6s %6s\n", "slice", "crops", "correct", "wrong", "none");
	for (const QString &slice : read.order) {
		const Tally &t = read.bySlice.at(slice);
		std::printf("%-20s %6d %8d %6d %6d\n", qPrintable(slice), t.total(), t.correct, t.wrong, t.none);
		for (const auto &x :
		     read.wrongExamples.count(slice) ? read.wrongExamples.at(slice) : std::vector<std::string>())
			std::printf("    %s\n", x.c_str());
	}
}

} // namespace

int main(int argc, char **argv)
{
	qputenv("QT_QPA_PLATFORM", "offscreen");
	QGuiApplication app(argc, argv); // image plug-ins
	::testing::InitGoogleTest(&argc, argv);
	return RUN_ALL_TESTS();
}

// ostrelo-learned-eval SPLIT [--weights FILE] [--sweep]: the learned reader, the template
// readers and their combination on a split written by tools/learned/train.py (PNG crops and
// manifest.tsv). Prints correct / wrong / none per face set (training faces, held-out faces)
// for the learned reader at several confidences, for the template readers on the three paths
// frame processing uses, and for the two combined by combineWithLearned with the built-in
// thresholds; --sweep tries a grid of thresholds and names the three that read the most crops
// right while at most 0.5 % of them are read wrong (or read on empty crops) on any path. The
// crops on bright grounds (snow, white sky, haze, a flash) get their own lines at the end.

#include "digits/learned_model.h"
#include "digits/learned_reader.h"
#include "digits/learned_rules.h"
#include "statreader/default_readers.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace ostrelo;

namespace {

struct Crop {
	std::string label; // empty: no number in the crop
	std::string faces; // "train" or "heldout"
	RgbaImage image;
	bool bright = false; // on a bright ground: see kBrightMedian
};

// A crop is on a bright ground when half its pixels or more are at least this bright
// (luminance 0.30 R + 0.59 G + 0.11 B, 0 to 1): light digits on snow, sky, haze or a flash.
constexpr double kBrightMedian = 0.6;

bool onBrightGround(const QImage &img)
{
	std::vector<int> luma;
	luma.reserve(size_t(img.width()) * size_t(img.height()));
	for (int y = 0; y < img.height(); ++y) {
		const uchar *p = img.constScanLine(y);
		for (int x = 0; x < img.width(); ++x, p += 4)
			luma.push_back(30 * p[0] + 59 * p[1] + 11 * p[2]);
	}
	auto mid = luma.begin() + std::ptrdiff_t(luma.size() / 2);
	std::nth_element(luma.begin(), mid, luma.end());
	return *mid >= kBrightMedian * 25500;
}

// The three ways frame processing reads a number: a Warzone counter that may turn red, any
// other counter, an end-card number.
enum Path { Counter, Plain, Card, PathCount };
const char *const kPathNames[PathCount] = {"counter", "plain", "card"};

struct Reads {
	std::array<StatReading, PathCount> templates;
	LearnedReading learned;
};

struct Tally {
	int correct = 0, wrong = 0, none = 0, negatives = 0, readOnEmpty = 0;
	void add(const std::string &label, const StatReading &r)
	{
		if (label.empty()) {
			++negatives;
			readOnEmpty += r.ok ? 1 : 0;
		} else if (!r.ok) {
			++none;
		} else if (r.text == label) {
			++correct;
		} else {
			++wrong;
		}
	}
	int positives() const { return correct + wrong + none; }
	// A number read where none was drawn is as harmful as a wrong one: it would be posted.
	double harmPct() const
	{
		const int all = positives() + negatives;
		return all ? 100.0 * (wrong + readOnEmpty) / all : 0.0;
	}
	double pct(int n) const { return positives() ? 100.0 * n / positives() : 0.0; }
};

void printTally(const char *what, const Tally &t)
{
	std::printf("  %-34s correct %6.2f%%  wrong %5.2f%%  none %6.2f%%  of %5d   read on empty %d/%d\n", what,
		    t.pct(t.correct), t.pct(t.wrong), t.pct(t.none), t.positives(), t.readOnEmpty, t.negatives);
}

std::vector<Crop> loadSplit(const QString &folder)
{
	std::vector<Crop> crops;
	QFile f(QDir(folder).filePath("manifest.tsv"));
	if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
		return crops;
	QTextStream in(&f);
	while (!in.atEnd()) {
		const QString line = in.readLine();
		if (line.isEmpty() || line.startsWith('#'))
			continue;
		const QStringList c = line.split('\t');
		if (c.size() < 3)
			continue;
		const QImage img = QImage(QDir(folder).filePath(c[0])).convertToFormat(QImage::Format_RGBA8888);
		if (img.isNull())
			continue;
		Crop crop;
		crop.label = c[1] == "-" ? std::string() : c[1].toStdString();
		crop.faces = c[2].toStdString();
		crop.bright = onBrightGround(img);
		crop.image.width = img.width();
		crop.image.height = img.height();
		crop.image.pixels.resize(size_t(img.width()) * size_t(img.height()) * 4);
		for (int y = 0; y < img.height(); ++y)
			std::copy_n(img.constScanLine(y), size_t(img.width()) * 4,
				    crop.image.pixels.begin() + std::ptrdiff_t(size_t(y) * size_t(img.width()) * 4));
		crops.push_back(std::move(crop));
	}
	return crops;
}

std::vector<float> loadWeights(const char *path)
{
	std::vector<float> w;
	FILE *f = std::fopen(path, "r");
	if (!f)
		return w;
	float v = 0;
	while (std::fscanf(f, "%f", &v) == 1)
		w.push_back(v);
	std::fclose(f);
	return w;
}

StatReading floored(StatReading r)
{
	if (r.confidence < 0.76f)
		r = StatReading{};
	return r;
}

// Correct and wrong reads over every positive crop of every path, per face set.
struct Score {
	std::map<std::string, Tally> byFaces;
	Tally all;
	double worstHarmPct = 0; // wrong reads and reads on empty crops, of all crops
};

Score combined(const std::vector<Crop> &crops, const std::vector<Reads> &reads, const LearnedThresholds &t,
	       std::array<Score, PathCount> *paths = nullptr)
{
	Score s;
	for (int p = 0; p < PathCount; ++p) {
		Score ps;
		for (size_t i = 0; i < crops.size(); ++i) {
			const StatReading r = combineWithLearned(reads[i].templates[size_t(p)], reads[i].learned, t);
			ps.byFaces[crops[i].faces].add(crops[i].label, r);
			ps.all.add(crops[i].label, r);
			s.byFaces[crops[i].faces].add(crops[i].label, r);
			s.all.add(crops[i].label, r);
		}
		for (const auto &[name, tally] : ps.byFaces)
			s.worstHarmPct = std::max(s.worstHarmPct, tally.harmPct());
		if (paths)
			(*paths)[size_t(p)] = ps;
	}
	return s;
}

} // namespace

int main(int argc, char **argv)
{
	if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
		qputenv("QT_QPA_PLATFORM", "offscreen");
	QGuiApplication app(argc, argv);
	QString folder;
	const char *weightsFile = nullptr;
	bool sweep = false;
	for (int i = 1; i < argc; ++i) {
		const std::string a = argv[i];
		if (a == "--weights" && i + 1 < argc)
			weightsFile = argv[++i];
		else if (a == "--sweep")
			sweep = true;
		else if (!a.empty() && a[0] != '-')
			folder = QString::fromLocal8Bit(argv[i]);
		else {
			std::fprintf(stderr, "usage: ostrelo-learned-eval SPLIT [--weights FILE] [--sweep]\n");
			return 2;
		}
	}
	const std::vector<Crop> crops = loadSplit(folder);
	if (crops.empty()) {
		std::fprintf(stderr, "no crops in %s\n", qPrintable(folder));
		return 2;
	}
	std::vector<float> weights;
	if (weightsFile) {
		weights = loadWeights(weightsFile);
		if (weights.size() != learned::kWeightCount) {
			std::fprintf(stderr, "%s: %zu numbers, the network has %zu\n", weightsFile, weights.size(),
				     learned::kWeightCount);
			return 2;
		}
	}

	auto readers = makeDefaultReaders();
	std::vector<Reads> reads(crops.size());
	for (size_t i = 0; i < crops.size(); ++i) {
		const RgbaImage &img = crops[i].image;
		reads[i].templates[Counter] = floored(readers->readDigitStat(img, "kills", true));
		reads[i].templates[Plain] = floored(readers->readDigitStat(img, "wins", false));
		reads[i].templates[Card] = floored(readers->readCardNumber(img, "placement"));
		reads[i].learned = weights.empty() ? readLearned(img.view()) : readLearned(img.view(), weights.data());
	}
	std::printf("%zu crops from %s\n\nlearned reader alone, by confidence floor\n", crops.size(),
		    qPrintable(folder));
	for (float floor : {0.3f, 0.5f, 0.7f, 0.8f, 0.9f, 0.93f, 0.95f, 0.97f, 0.99f}) {
		std::map<std::string, Tally> t;
		for (size_t i = 0; i < crops.size(); ++i) {
			StatReading r = reads[i].learned.reading;
			if (r.confidence < floor)
				r = StatReading{};
			t[crops[i].faces].add(crops[i].label, r);
		}
		for (const auto &[faces, tally] : t)
			printTally(QStringLiteral(">= %1, %2 faces")
					   .arg(double(floor), 0, 'f', 2)
					   .arg(faces.c_str())
					   .toUtf8()
					   .constData(),
				   tally);
	}
	std::printf("\ntemplate readers alone (confidence >= 0.76)\n");
	for (int p = 0; p < PathCount; ++p) {
		std::map<std::string, Tally> t;
		for (size_t i = 0; i < crops.size(); ++i)
			t[crops[i].faces].add(crops[i].label, reads[i].templates[size_t(p)]);
		for (const auto &[faces, tally] : t)
			printTally((std::string(kPathNames[p]) + ", " + faces + " faces").c_str(), tally);
	}

	std::array<Score, PathCount> paths;
	combined(crops, reads, kLearnedThresholds, &paths);
	std::printf("\ncombined, built-in thresholds: veto %.3f, back-up %.3f, empty %.3f\n",
		    double(kLearnedThresholds.veto), double(kLearnedThresholds.backup),
		    double(kLearnedThresholds.empty));
	for (int p = 0; p < PathCount; ++p)
		for (const auto &[faces, tally] : paths[size_t(p)].byFaces)
			printTally((std::string(kPathNames[p]) + ", " + faces + " faces").c_str(), tally);

	// The same on the crops on bright grounds only.
	const auto bright = std::count_if(crops.begin(), crops.end(), [](const Crop &c) { return c.bright; });
	std::printf("\ncrops on bright grounds (median luminance at least %.2f): %td of %zu\n", kBrightMedian, bright,
		    crops.size());
	for (float floor : {kLearnedThresholds.backup, 0.95f}) {
		std::map<std::string, Tally> t;
		for (size_t i = 0; i < crops.size(); ++i)
			if (crops[i].bright) {
				StatReading r = reads[i].learned.reading;
				if (r.confidence < floor)
					r = StatReading{};
				t[crops[i].faces].add(crops[i].label, r);
			}
		for (const auto &[faces, tally] : t)
			printTally(QStringLiteral("learned >= %1, %2 faces")
					   .arg(double(floor), 0, 'f', 2)
					   .arg(faces.c_str())
					   .toUtf8()
					   .constData(),
				   tally);
	}
	for (int p = 0; p < PathCount; ++p) {
		std::map<std::string, Tally> templ, comb;
		for (size_t i = 0; i < crops.size(); ++i)
			if (crops[i].bright) {
				templ[crops[i].faces].add(crops[i].label, reads[i].templates[size_t(p)]);
				comb[crops[i].faces].add(crops[i].label,
							 combineWithLearned(reads[i].templates[size_t(p)],
									    reads[i].learned, kLearnedThresholds));
			}
		for (const auto &[faces, tally] : templ)
			printTally((std::string("template, ") + kPathNames[p] + ", " + faces + " faces").c_str(),
				   tally);
		for (const auto &[faces, tally] : comb)
			printTally((std::string("combined, ") + kPathNames[p] + ", " + faces + " faces").c_str(),
				   tally);
	}

	if (sweep) {
		// Every combination; the best reads the most crops right while no path and face set
		// reads more than 0.5 % of its crops wrong (a number on an empty crop counts as wrong),
		// and among equals does the least harm.
		const std::vector<float> grid = {0.3f,  0.4f,  0.5f,  0.6f,  0.7f,  0.8f,   0.85f,  0.9f,
						 0.93f, 0.95f, 0.97f, 0.98f, 0.99f, 0.995f, 0.999f, 1.01f};
		const std::vector<float> emptyGrid = {0.9f, 0.95f, 0.98f, 0.99f, 0.995f, 0.999f, 1.01f};
		struct Row {
			LearnedThresholds t;
			Score s;
		};
		std::vector<Row> rows;
		for (float veto : grid)
			for (float backup : grid)
				for (float empty : emptyGrid) {
					const LearnedThresholds t{veto, backup, empty};
					rows.push_back({t, combined(crops, reads, t)});
				}
		std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
			const bool aOk = a.s.worstHarmPct <= 0.5, bOk = b.s.worstHarmPct <= 0.5;
			if (aOk != bOk)
				return aOk;
			if (a.s.all.correct != b.s.all.correct)
				return a.s.all.correct > b.s.all.correct;
			return a.s.all.harmPct() < b.s.all.harmPct();
		});
		std::printf("\nthreshold sweep, every path and both face sets: the 30 best of %zu\n", rows.size());
		for (size_t i = 0; i < rows.size() && i < 30; ++i) {
			const Row &r = rows[i];
			std::printf(
				"  veto %5.3f backup %5.3f empty %5.3f: correct %6.2f%%  wrong %5.2f%%  read on empty "
				"%d/%d  (wrong or read on empty, worst path and face set: %5.2f%%)\n",
				double(r.t.veto), double(r.t.backup), double(r.t.empty), r.s.all.pct(r.s.all.correct),
				r.s.all.pct(r.s.all.wrong), r.s.all.readOnEmpty, r.s.all.negatives, r.s.worstHarmPct);
		}
		if (rows.empty() || rows[0].s.worstHarmPct > 0.5)
			std::printf("no combination keeps wrong reads at or below 0.5%% on every path and face set\n");
		else
			std::printf("best: veto %.3f, back-up %.3f, empty %.3f\n", double(rows[0].t.veto),
				    double(rows[0].t.backup), double(rows[0].t.empty));
	}
	return 0;
}

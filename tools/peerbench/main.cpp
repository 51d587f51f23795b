// ostrelo-peer-bench [CORPUS] [--slice NAME]... [--wrong]: our readers and Tesseract on the
// same corpus crops, in one run (--wrong also lists every crop our readers read wrong). Three
// readers: the template readers alone ("ours"), the same with the learned reader's veto and
// back-up as the filter reads ("ours+learned"), and Tesseract. Prints, per slice and overall,
// how many crops each read right, read as another number or did not read, and the time per
// crop (median and 95th percentile) with the ratios.
//
// Tesseract runs as a careful integrator would set it up for HUD numbers: the LSTM engine,
// one text line, digits only, one thread; each crop is scaled so that it is at least 48
// pixels high first (the LSTM model reads small text poorly), and that scaling is counted in
// its time. Our reader gets the crop as the filter cuts it.

#include "statreader/default_readers.h"
#include "tools/corpus/corpus_read.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>

#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

using namespace ostrelo;
using namespace ostrelo::corpus;

namespace {

struct Engine {
	std::map<QString, Tally> slices;
	Tally all;
	std::vector<double> micros;

	void add(const QString &slice, Outcome o, double us)
	{
		for (Tally *t : {&slices[slice], &all}) {
			if (o == Outcome::Correct)
				++t->correct;
			else if (o == Outcome::Wrong)
				++t->wrong;
			else
				++t->none;
		}
		micros.push_back(us);
	}
};

double percentile(std::vector<double> v, double p)
{
	if (v.empty())
		return 0;
	std::sort(v.begin(), v.end());
	const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
	return v[i];
}

class Tesseract {
public:
	bool init()
	{
		if (api_.Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY) != 0)
			return false;
		api_.SetPageSegMode(tesseract::PSM_SINGLE_LINE);
		api_.SetVariable("tessedit_char_whitelist", "0123456789");
		return true;
	}
	~Tesseract() { api_.End(); }

	// The digits read and the mean confidence (0 to 100); empty text for no reading.
	std::pair<std::string, int> read(const RgbaImage &crop)
	{
		Pix *pix = pixCreate(crop.width, crop.height, 32);
		l_uint32 *data = pixGetData(pix);
		const int wpl = pixGetWpl(pix);
		for (int y = 0; y < crop.height; ++y)
			for (int x = 0; x < crop.width; ++x) {
				const uint8_t *p =
					crop.pixels.data() + (size_t(y) * size_t(crop.width) + size_t(x)) * 4;
				composeRGBPixel(p[0], p[1], p[2], data + y * wpl + x);
			}
		Pix *input = pix;
		if (crop.height < 48) {
			const float s = 48.0f / float(crop.height);
			input = pixScale(pix, s, s);
			pixDestroy(&pix);
		}
		api_.SetImage(input);
		std::unique_ptr<char[]> text(api_.GetUTF8Text());
		const int conf = api_.MeanTextConf();
		pixDestroy(&input);
		std::string digits;
		for (const char *c = text.get(); c && *c; ++c)
			if (*c >= '0' && *c <= '9')
				digits += *c;
		return {digits, conf};
	}

private:
	tesseract::TessBaseAPI api_;
};

Outcome judge(const std::string &digits, double truth)
{
	if (digits.empty() || digits.size() > 7)
		return Outcome::None;
	return std::stod(digits) == truth ? Outcome::Correct : Outcome::Wrong;
}

void printRow(const char *name, const Tally &t)
{
	std::printf("  %-28s %5d  %6.1f%%  %6.1f%%  %6.1f%%\n", name, t.total(), t.percent(t.correct),
		    t.percent(t.wrong), t.percent(t.none));
}

} // namespace

int main(int argc, char **argv)
{
	// One thread, as in the filter, for both readers: Tesseract's OpenMP would take both cores.
	setenv("OMP_THREAD_LIMIT", "1", 1);
	if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
		qputenv("QT_QPA_PLATFORM", "offscreen");
	QGuiApplication app(argc, argv);
	QString folder = OSTRELO_CORPUS_DIR;
	QStringList only;
	bool listWrong = false;
	const QStringList args = app.arguments();
	for (int i = 1; i < args.size(); ++i) {
		if (args[i] == "--slice" && i + 1 < args.size())
			only << args[++i];
		else if (args[i] == "--wrong")
			listWrong = true;
		else if (!args[i].startsWith('-'))
			folder = args[i];
		else {
			std::fprintf(stderr, "usage: ostrelo-peer-bench [CORPUS] [--slice NAME]... [--wrong]\n");
			return 2;
		}
	}
	QString error;
	const std::vector<Entry> entries = readManifest(folder, error);
	if (!error.isEmpty()) {
		std::fprintf(stderr, "%s\n", qPrintable(error));
		return 2;
	}
	Tesseract tess;
	if (!tess.init()) {
		std::fprintf(stderr, "Tesseract could not load its English model (tesseract-ocr-eng)\n");
		return 2;
	}
	auto readers = makeDefaultReaders(false);
	auto withLearned = makeDefaultReaders(true);
	Engine ours, oursLearned, theirs, theirsGated;
	QElapsedTimer clock;
	for (const Entry &e : entries) {
		// Plates are no text: only the numbers are compared.
		if (e.kind == Kind::Plates || (!only.isEmpty() && !only.contains(e.slice)))
			continue;
		const RgbaImage crop = loadCrop(e.path);
		if (crop.width == 0)
			continue;
		clock.start();
		const ReadResult r = readEntry(*readers, e, crop);
		ours.add(e.slice, r.outcome, double(clock.nsecsElapsed()) / 1000.0);
		if (listWrong && r.outcome == Outcome::Wrong)
			std::printf("wrong: %s %g read as %g\n", qPrintable(e.path), e.truth, r.value);

		clock.start();
		const ReadResult rl = readEntry(*withLearned, e, crop);
		oursLearned.add(e.slice, rl.outcome, double(clock.nsecsElapsed()) / 1000.0);
		if (listWrong && rl.outcome == Outcome::Wrong)
			std::printf("wrong with learned: %s %g read as %g\n", qPrintable(e.path), e.truth, rl.value);

		clock.start();
		const auto [digits, conf] = tess.read(crop);
		const double us = double(clock.nsecsElapsed()) / 1000.0;
		const Outcome t = judge(digits, e.truth);
		theirs.add(e.slice, t, us);
		// With a confidence floor like ours (0.76), to compare wrong reads fairly.
		theirsGated.add(e.slice, conf >= 76 ? t : Outcome::None, us);
	}
	if (ours.all.total() == 0) {
		std::fprintf(stderr, "no number crops in %s\n", qPrintable(folder));
		return 2;
	}

	std::printf("%d number crops from %s\n\n", ours.all.total(), qPrintable(folder));
	std::printf("  %-28s %5s  %7s  %7s  %7s\n", "slice / reader", "crops", "correct", "wrong", "none");
	for (const auto &[slice, t] : ours.slices) {
		printRow(qPrintable(slice + " ours"), t);
		printRow(qPrintable(slice + " ours+learned"), oursLearned.slices[slice]);
		printRow(qPrintable(slice + " tesseract"), theirs.slices[slice]);
	}
	std::printf("\n");
	printRow("all: ours", ours.all);
	printRow("all: ours+learned", oursLearned.all);
	printRow("all: tesseract", theirs.all);
	printRow("all: tesseract, conf >= 76", theirsGated.all);

	const double om = percentile(ours.micros, 0.5), o95 = percentile(ours.micros, 0.95);
	const double lm = percentile(oursLearned.micros, 0.5), l95 = percentile(oursLearned.micros, 0.95);
	const double tm = percentile(theirs.micros, 0.5), t95 = percentile(theirs.micros, 0.95);
	std::printf("\n  time per crop                median      p95\n");
	std::printf("  ours                      %8.0f us %8.0f us\n", om, o95);
	std::printf("  ours+learned              %8.0f us %8.0f us\n", lm, l95);
	std::printf("  tesseract                 %8.0f us %8.0f us\n", tm, t95);
	std::printf("  ours+learned / ours       %8.1fx   %8.1fx\n", om > 0 ? lm / om : 0.0, o95 > 0 ? l95 / o95 : 0.0);
	std::printf("  tesseract / ours+learned  %8.1fx   %8.1fx\n", lm > 0 ? tm / lm : 0.0, l95 > 0 ? t95 / l95 : 0.0);
	return 0;
}

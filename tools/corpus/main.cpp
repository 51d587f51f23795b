// ostrelo-corpus FOLDER: writes the accuracy corpus (crops and manifest.tsv) into FOLDER.
// ostrelo-corpus import LABELS OUT: turns labelled real screenshots into corpus slices and
// training crops for the learned reader (see capture_import.h for the labels file).

#include "tools/corpus/capture_import.h"
#include "tools/corpus/corpus_io.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char **argv)
{
	if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
		qputenv("QT_QPA_PLATFORM", "offscreen");
	QGuiApplication app(argc, argv);
	const QStringList args = app.arguments();
	if (args.size() == 4 && args[1] == "import") {
		const ostrelo::corpus::ImportResult r = ostrelo::corpus::importCaptures(args[2], args[3]);
		if (!r.error.isEmpty()) {
			std::fprintf(stderr, "ostrelo-corpus: %s\n", qPrintable(r.error));
			return 1;
		}
		std::printf("%d crops in %s/manifest.tsv, %d in %s/learned/labels.csv\n", r.crops, qPrintable(args[3]),
			    r.training, qPrintable(args[3]));
		return 0;
	}
	if (args.size() != 2 || args[1] == "import") {
		std::fprintf(stderr, "usage: ostrelo-corpus FOLDER\n       ostrelo-corpus import LABELS OUT\n");
		return 2;
	}
	if (ostrelo::corpus::corpusFonts().size() < ostrelo::corpus::corpusFontCount())
		std::fprintf(stderr, "ostrelo-corpus: only %d of the %d fonts are installed (scripts/setup.sh)\n",
			     int(ostrelo::corpus::corpusFonts().size()), ostrelo::corpus::corpusFontCount());
	const QString error = ostrelo::corpus::writeCorpus(app.arguments()[1]);
	if (!error.isEmpty()) {
		std::fprintf(stderr, "ostrelo-corpus: %s\n", qPrintable(error));
		return 1;
	}
	return 0;
}

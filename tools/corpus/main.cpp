// ostrelo-corpus FOLDER: writes the accuracy corpus (crops and manifest.tsv) into FOLDER.

#include "tools/corpus/corpus_io.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char **argv)
{
	if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
		qputenv("QT_QPA_PLATFORM", "offscreen");
	QGuiApplication app(argc, argv);
	if (app.arguments().size() != 2) {
		std::fprintf(stderr, "usage: ostrelo-corpus FOLDER\n");
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

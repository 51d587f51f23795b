#pragma once

#include "common/rgba_crop.h"
#include "tools/corpus/corpus.h"

#include <QString>

#include <vector>

namespace ostrelo::corpus {

// One crop of a written corpus, as its manifest lists it.
struct Entry {
	QString slice;
	Kind kind = Kind::Counter;
	double truth = 0;
	QString path;
	float angle = 0;
	std::optional<std::array<float, 8>> quad;
};

// Writes every slice into folder: <slice>/<n>.png and manifest.tsv (slice, kind, truth,
// file, angle, quad). Returns an error text, empty on success.
QString writeCorpus(const QString &folder);

// The entries of folder/manifest.tsv; empty with error set when it cannot be read.
std::vector<Entry> readManifest(const QString &folder, QString &error);

// A crop as the readers take it (tightly packed RGBA); empty when the file does not load.
RgbaImage loadCrop(const QString &path);

} // namespace ostrelo::corpus

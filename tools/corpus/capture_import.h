#pragma once

#include <QString>

#include <vector>

// Real screenshots into the corpus: a labels file names, per line, an image, a stat, the
// stat's rectangle in that image and the value it shows. Import cuts the rectangles out as
// corpus slices ("real-<stat>", with a manifest the golden test and the peer benchmark read)
// and as training data for the learned reader (crops plus a file,value list). Nothing of it is
// committed unless the screenshots' licence allows it.
namespace ostrelo::corpus {

// One labelled rectangle, as its line in the labels file gives it:
//
//   # image        stat          x,y,w,h          value   [angle]
//   shot-001.png   kills         1823,80,42,22    13
//   shot-001.png   plates        70,959,220,40    2.5     -4
//   card-007.png   placement     260,460,120,180  3
//
// Fields are separated by tabs or spaces; '#' starts a comment. Stats are the stat keys and
// "placement" (the end card's number); values are whole numbers, plates 0 to 3 in halves;
// the angle (plates only) is the bar's rotation in degrees. Images are found relative to the
// labels file.
struct CaptureLabel {
	int line = 0;
	QString image;
	QString stat;
	int x = 0, y = 0, w = 0, h = 0;
	double value = 0;
	float angle = 0;
};

struct CaptureLabels {
	std::vector<CaptureLabel> labels;
	QString error; // "line N: ..." for the first line that does not parse
};

CaptureLabels parseCaptureLabels(const QString &text);

struct ImportResult {
	int crops = 0;    // corpus entries written
	int training = 0; // training crops written (digit stats and placements)
	QString error;    // empty on success
};

// Reads labelsFile and writes, into out: manifest.tsv and real-<stat>/NNNN.png (the corpus
// slices) and learned/labels.csv with learned/crops/NNNN.png ("file,value" lines, files
// relative to learned/). Every rectangle must lie inside its image.
ImportResult importCaptures(const QString &labelsFile, const QString &out);

} // namespace ostrelo::corpus

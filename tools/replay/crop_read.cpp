#include "tools/replay/crop_read.h"

#include "digits/digit_reader.h"
#include "digits/learned_rules.h"
#include "statreader/default_readers.h"
#include "statreader/presets.h"
#include "statreader/stat_table.h"

#include <QImage>

#include <cstdio>

namespace ostrelo::replay {

namespace {

std::optional<StatRegion> regionFor(const CropOptions &o, int width, int height)
{
	if (o.region[0])
		return StatRegion{*o.region[0], *o.region[1], *o.region[2], *o.region[3]};
	if (!o.preset)
		return StatRegion{0, 0, width, height};
	const std::string key = o.key.toStdString();
	const auto row = o.card.isEmpty() ? warzonePresetRow(key) : cardTableRow(o.card.toStdString(), key);
	if (!row)
		return std::nullopt;
	return toPixelRect(*row, width, height);
}

} // namespace

int readCrops(const CropOptions &o)
{
	const std::string key = o.key.toStdString();
	const bool isPlates = key == "plates";
	if (statIndex(key) < 0 && key != "placement") {
		std::fprintf(stderr, "unknown stat \"%s\"\n", key.c_str());
		return 2;
	}
	if (o.explain)
		qputenv("VX_DIGIT_DEBUG", "1");
	auto readers = makeDefaultReaders();
	const bool isCard = !o.card.isEmpty() || key == "placement";
	const bool special = o.game.toStdString() == kGameWarzone &&
			     (key == "kills" || key == "players_left" || key == "teams_left");
	int status = 0;
	for (const QString &path : o.images) {
		const QByteArray name = path.toUtf8();
		const QImage image = QImage(path).convertToFormat(QImage::Format_RGBA8888);
		if (image.isNull()) {
			std::fprintf(stderr, "%s: cannot read the image\n", name.constData());
			status = 2;
			continue;
		}
		const auto region = regionFor(o, image.width(), image.height());
		if (!region) {
			std::fprintf(stderr, "%s: %s has no preset rectangle\n", name.constData(), key.c_str());
			status = 2;
			continue;
		}
		const int x0 = std::max(region->x, 0), y0 = std::max(region->y, 0);
		const int x1 = std::min(region->x + region->w, image.width());
		const int y1 = std::min(region->y + region->h, image.height());
		if (x1 - x0 < 4 || y1 - y0 < 6) {
			std::fprintf(stderr, "%s: the region is off the image or under 4 x 6 pixels\n",
				     name.constData());
			status = 2;
			continue;
		}
		const RgbaImage crop = copyRect(image.constBits(), uint32_t(image.bytesPerLine()), x0, y0, x1, y1);
		if (o.explain)
			std::fprintf(stderr, "%s: %s from %d,%d %dx%d\n", name.constData(), key.c_str(), x0, y0,
				     x1 - x0, y1 - y0);
		std::fflush(stdout);
		StatReading r;
		if (isPlates)
			r = readers->readPlates(crop, std::nullopt, float(o.angle));
		else if (isCard)
			r = readers->readCardNumber(crop, key);
		else
			r = readers->readDigitStat(crop, key, special);
		if (!r.ok) {
			std::printf("%s: %s no reading\n", name.constData(), key.c_str());
		} else if (isPlates) {
			std::printf("%s: plates %.1f (text \"%s\", confidence %.3f)\n", name.constData(),
				    double(r.exactValue), r.text.c_str(), double(r.confidence));
		} else {
			std::printf("%s: %s %d (text \"%s\", confidence %.3f)%s\n", name.constData(), key.c_str(),
				    r.value, r.text.c_str(), double(r.confidence),
				    r.confidence < kMinConfidence ? ", below 0.76: the filter drops it" : "");
		}
		if (isPlates)
			continue;
		// What the filter makes of it with the learned reader's opinion, before any value of the
		// stat is confirmed.
		const LearnedReading learned = readers->readLearned(crop);
		const StatReading combined =
			combineWithLearned(r.confidence < kMinConfidence ? StatReading{} : r, learned);
		const std::string opinion =
			learned.reading.ok
				? "reads \"" + learned.reading.text + "\", confidence " +
					  QString::number(double(learned.reading.confidence), 'f', 3).toStdString()
				: "reads no number, sure of that " +
					  QString::number(double(learned.emptyConfidence), 'f', 3).toStdString();
		std::printf("%s: %s with the learned reader %s (it %s)\n", name.constData(), key.c_str(),
			    combined.ok ? std::to_string(combined.value).c_str() : "no reading", opinion.c_str());
	}
	return status;
}

} // namespace ostrelo::replay

#include "tools/corpus/capture_import.h"

#include "statreader/stat_table.h"
#include "tools/corpus/corpus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>

#include <cmath>
#include <map>

namespace ostrelo::corpus {

namespace {

bool knownStat(const QString &stat)
{
	return stat == "placement" || statIndex(stat.toStdString()) >= 0;
}

Kind kindOf(const QString &stat)
{
	if (stat == "plates")
		return Kind::Plates;
	return stat == "placement" ? Kind::Card : Kind::Counter;
}

bool writeText(const QString &path, const QString &text)
{
	QFile f(path);
	const QByteArray bytes = text.toUtf8();
	return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

CaptureLabels parseCaptureLabels(const QString &text)
{
	CaptureLabels out;
	const QStringList lines = text.split('\n');
	for (int i = 0; i < lines.size(); ++i) {
		const QString line = lines[i].section('#', 0, 0).trimmed();
		if (line.isEmpty())
			continue;
		const auto fail = [&](const QString &why) {
			out.labels.clear();
			out.error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
			return out;
		};
		const QStringList f = line.split(QRegularExpression(QStringLiteral("[\\t ]+")));
		if (f.size() < 4 || f.size() > 5)
			return fail(QStringLiteral("expected image, stat, x,y,w,h, value and for plates an angle"));
		CaptureLabel l;
		l.line = i + 1;
		l.image = f[0];
		l.stat = f[1];
		if (!knownStat(l.stat))
			return fail(QStringLiteral("unknown stat \"%1\"").arg(l.stat));
		const QStringList r = f[2].split(',');
		bool ok = r.size() == 4;
		int rect[4] = {};
		for (int k = 0; ok && k < 4; ++k)
			rect[k] = r[k].toInt(&ok);
		if (!ok || rect[0] < 0 || rect[1] < 0 || rect[2] < 1 || rect[3] < 1)
			return fail(QStringLiteral("\"%1\" is not x,y,w,h").arg(f[2]));
		l.x = rect[0];
		l.y = rect[1];
		l.w = rect[2];
		l.h = rect[3];
		l.value = f[3].toDouble(&ok);
		const bool plates = l.stat == "plates";
		if (!ok || l.value < 0 ||
		    (plates ? l.value > 3 || std::fmod(l.value * 2, 1.0) != 0
			    : l.value > 999999 || std::floor(l.value) != l.value))
			return fail(QStringLiteral("\"%1\" is not a value of %2").arg(f[3], l.stat));
		if (f.size() == 5) {
			l.angle = f[4].toFloat(&ok);
			if (!ok || !plates || std::fabs(l.angle) > 30.5f)
				return fail(QStringLiteral("an angle is for plates, -30 to 30 degrees"));
		}
		out.labels.push_back(l);
	}
	return out;
}

ImportResult importCaptures(const QString &labelsFile, const QString &outFolder)
{
	ImportResult result;
	QFile file(labelsFile);
	if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
		result.error = QStringLiteral("cannot read %1").arg(labelsFile);
		return result;
	}
	const CaptureLabels parsed = parseCaptureLabels(QString::fromUtf8(file.readAll()));
	if (!parsed.error.isEmpty()) {
		result.error = QStringLiteral("%1 %2").arg(labelsFile, parsed.error);
		return result;
	}
	const QDir images = QFileInfo(labelsFile).absoluteDir();
	QDir out(outFolder);
	if (!out.mkpath(QStringLiteral("learned/crops"))) {
		result.error = QStringLiteral("cannot create %1").arg(outFolder);
		return result;
	}
	QString manifest = QStringLiteral("slice\tkind\ttruth\tfile\tangle\tquad\n");
	QString training = QStringLiteral("file,value\n");
	std::map<QString, QImage> loaded;
	std::map<QString, int> perSlice;
	for (const CaptureLabel &l : parsed.labels) {
		auto it = loaded.find(l.image);
		if (it == loaded.end())
			it = loaded.emplace(l.image,
					    QImage(images.filePath(l.image)).convertToFormat(QImage::Format_RGBA8888))
				     .first;
		const QImage &img = it->second;
		if (img.isNull()) {
			result.error =
				QStringLiteral("line %1: cannot read %2").arg(l.line).arg(images.filePath(l.image));
			return result;
		}
		if (int64_t(l.x) + l.w > img.width() || int64_t(l.y) + l.h > img.height()) {
			result.error = QStringLiteral("line %1: %2,%3,%4,%5 is not inside %6 (%7 x %8)")
					       .arg(l.line)
					       .arg(l.x)
					       .arg(l.y)
					       .arg(l.w)
					       .arg(l.h)
					       .arg(l.image)
					       .arg(img.width())
					       .arg(img.height());
			return result;
		}
		const QImage crop = img.copy(l.x, l.y, l.w, l.h);
		const QString slice = QStringLiteral("real-") + l.stat;
		const QString name = QStringLiteral("%1/%2.png").arg(slice).arg(perSlice[slice]++, 4, 10, QChar('0'));
		if (!out.mkpath(slice) || !crop.save(out.filePath(name))) {
			result.error = QStringLiteral("cannot write %1").arg(out.filePath(name));
			return result;
		}
		manifest += QStringLiteral("%1\t%2\t%3\t%4\t%5\t-\n")
				    .arg(slice, kindName(kindOf(l.stat)), QString::number(l.value), name,
					 QString::number(double(l.angle), 'f', 3));
		++result.crops;
		if (l.stat == "plates")
			continue; // the learned reader reads digits
		const QString train = QStringLiteral("crops/%1.png").arg(result.training, 5, 10, QChar('0'));
		if (!crop.save(out.filePath(QStringLiteral("learned/") + train))) {
			result.error =
				QStringLiteral("cannot write %1").arg(out.filePath(QStringLiteral("learned/") + train));
			return result;
		}
		training += QStringLiteral("%1,%2\n").arg(train).arg(qint64(l.value));
		++result.training;
	}
	if (!writeText(out.filePath(QStringLiteral("manifest.tsv")), manifest) ||
	    !writeText(out.filePath(QStringLiteral("learned/labels.csv")), training))
		result.error = QStringLiteral("cannot write the manifest or the training labels in %1").arg(outFolder);
	return result;
}

} // namespace ostrelo::corpus

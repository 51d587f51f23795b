#include "tools/corpus/corpus_io.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTextStream>

#include <cstring>

namespace ostrelo::corpus {

QString writeCorpus(const QString &folder)
{
	QDir root(folder);
	if (!root.mkpath("."))
		return QStringLiteral("cannot create %1").arg(folder);
	QString manifest = QStringLiteral("slice\tkind\ttruth\tfile\tangle\tquad\n");
	for (const QString &slice : sliceNames()) {
		if (!root.mkpath(slice))
			return QStringLiteral("cannot create %1").arg(root.filePath(slice));
		const std::vector<Item> items = generateSlice(slice);
		for (size_t i = 0; i < items.size(); ++i) {
			const Item &it = items[i];
			const QString file = QStringLiteral("%1/%2.png").arg(slice).arg(i, 4, 10, QChar('0'));
			if (!it.image.save(root.filePath(file)))
				return QStringLiteral("cannot write %1").arg(root.filePath(file));
			QString quad = QStringLiteral("-");
			if (it.quad) {
				QStringList q;
				for (float v : *it.quad)
					q << QString::number(double(v), 'f', 3);
				quad = q.join(',');
			}
			manifest += QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
					    .arg(slice, kindName(it.kind), QString::number(it.truth), file,
						 QString::number(double(it.angle), 'f', 3), quad);
		}
	}
	QFile out(root.filePath("manifest.tsv"));
	if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(manifest.toUtf8()) < 0)
		return QStringLiteral("cannot write %1").arg(out.fileName());
	return {};
}

std::vector<Entry> readManifest(const QString &folder, QString &error)
{
	std::vector<Entry> entries;
	QFile f(QDir(folder).filePath("manifest.tsv"));
	if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
		error = QStringLiteral("cannot read %1").arg(f.fileName());
		return entries;
	}
	QTextStream in(&f);
	in.readLine(); // header
	int lineNo = 1;
	while (!in.atEnd()) {
		const QStringList c = in.readLine().split('\t');
		++lineNo;
		if (c.size() == 1 && c[0].isEmpty())
			continue;
		Entry e;
		bool ok = c.size() == 6;
		const auto kind = ok ? kindFromName(c[1]) : std::nullopt;
		if (ok && kind) {
			e.slice = c[0];
			e.kind = *kind;
			e.truth = c[2].toDouble(&ok);
			e.path = QDir(folder).filePath(c[3]);
			e.angle = ok ? c[4].toFloat(&ok) : 0.f;
			if (ok && c[5] != "-") {
				const QStringList q = c[5].split(',');
				ok = q.size() == 8;
				std::array<float, 8> v{};
				for (int i = 0; ok && i < 8; ++i)
					v[size_t(i)] = q[i].toFloat(&ok);
				e.quad = v;
			}
		}
		if (!ok || !kind) {
			error = QStringLiteral("%1 line %2 is not a corpus entry").arg(f.fileName()).arg(lineNo);
			return {};
		}
		entries.push_back(std::move(e));
	}
	return entries;
}

RgbaImage loadCrop(const QString &path)
{
	const QImage img = QImage(path).convertToFormat(QImage::Format_RGBA8888);
	RgbaImage out;
	if (img.isNull())
		return out;
	out.width = img.width();
	out.height = img.height();
	out.pixels.resize(size_t(out.width) * size_t(out.height) * 4);
	for (int y = 0; y < out.height; ++y)
		std::memcpy(out.pixels.data() + size_t(y) * size_t(out.width) * 4, img.constScanLine(y),
			    size_t(out.width) * 4);
	return out;
}

} // namespace ostrelo::corpus

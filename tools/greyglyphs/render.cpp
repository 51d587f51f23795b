#include "render.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace greyglyphs {

namespace {

Picture fromImage(const QImage &image)
{
	const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
	Picture out{rgb.width(), rgb.height(), std::vector<uint8_t>(size_t(rgb.width()) * size_t(rgb.height()))};
	for (int y = 0; y < rgb.height(); ++y) {
		const QRgb *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
		for (int x = 0; x < rgb.width(); ++x)
			out.pixels[size_t(y) * size_t(out.width) + size_t(x)] =
				uint8_t(std::max({qRed(line[x]), qGreen(line[x]), qBlue(line[x])}));
	}
	return out;
}

// Separable Gaussian blur, edges clamped.
void blur(Picture &picture, double sigma)
{
	if (sigma <= 0.0)
		return;
	const int radius = int(std::ceil(sigma * 3.0));
	std::vector<double> kernel(size_t(2 * radius + 1));
	double norm = 0.0;
	for (int i = -radius; i <= radius; ++i)
		norm += kernel[size_t(i + radius)] = std::exp(-double(i * i) / (2.0 * sigma * sigma));
	for (double &k : kernel)
		k /= norm;

	const int w = picture.width, h = picture.height;
	std::vector<double> tmp(picture.pixels.size());
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x) {
			double v = 0.0;
			for (int i = -radius; i <= radius; ++i)
				v += kernel[size_t(i + radius)] * picture.at(std::clamp(x + i, 0, w - 1), y);
			tmp[size_t(y) * size_t(w) + size_t(x)] = v;
		}
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x) {
			double v = 0.0;
			for (int i = -radius; i <= radius; ++i)
				v += kernel[size_t(i + radius)] *
				     tmp[size_t(std::clamp(y + i, 0, h - 1)) * size_t(w) + size_t(x)];
			picture.pixels[size_t(y) * size_t(w) + size_t(x)] =
				uint8_t(std::clamp(std::lround(v), 0L, 255L));
		}
}

} // namespace

Picture renderDigit(const QRawFont &baseFont, int digit, const Style &style)
{
	QRawFont font = baseFont;
	font.setPixelSize(style.pixelSize);
	const QVector<quint32> glyphs = font.glyphIndexesForString(QString::number(digit));
	if (glyphs.isEmpty())
		return {};
	const QPainterPath path0 = font.pathForGlyph(glyphs.front());
	QPainterPath path = QTransform().shear(-style.slant, 0.0).map(path0);

	// A margin of dark ground around the digit, as in a crop of the HUD.
	const QRectF box = path.boundingRect();
	const double margin = 4.0 + std::max(0.0, style.embolden) + 3.0 * style.blur;
	const int width = int(std::ceil(box.width() + 2.0 * margin));
	const int height = int(std::ceil(box.height() + 2.0 * margin));
	path.translate(margin - box.left() + style.dx, margin - box.top() + style.dy);

	QImage image(width, height, QImage::Format_RGB32);
	image.fill(Qt::black);
	{
		QPainter painter(&image);
		painter.setRenderHint(QPainter::Antialiasing, style.antialias);
		painter.fillPath(path, Qt::white);
		if (style.embolden != 0.0) {
			QPen pen(style.embolden > 0.0 ? Qt::white : Qt::black);
			pen.setWidthF(2.0 * std::abs(style.embolden));
			pen.setJoinStyle(Qt::RoundJoin);
			painter.strokePath(path, pen);
		}
	}
	Picture picture = fromImage(image);
	blur(picture, style.blur);
	return picture;
}

bool loadPicture(const QString &path, Picture &picture)
{
	QImage image;
	if (!image.load(path) || image.isNull())
		return false;
	picture = fromImage(image);
	return true;
}

} // namespace greyglyphs

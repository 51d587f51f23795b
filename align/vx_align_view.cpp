#include "align/vx_align_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cstdlib>

using ostrelo::AlignRegion;
using ostrelo::IntPoint;
using ostrelo::IntRect;
using ostrelo::OutlinePoint;

namespace {

// A handle is grabbed within this city-block distance of the press.
constexpr int kHandleReach = 10;
// Outlines are picked within this margin around their corners.
constexpr int kOutlinePickMargin = 8;
constexpr int kHandleRadius = 5;

QPoint eventPoint(const QMouseEvent *event)
{
	const QPointF p = event->position();
	return QPoint(ostrelo::roundToWidgetPixel(p.x()), ostrelo::roundToWidgetPixel(p.y()));
}

QRect toQRect(const IntRect &r)
{
	return QRect(r.x, r.y, r.w, r.h);
}

int setPoints(const AlignRegion &r)
{
	return std::clamp(r.outlineCount, 0, 4);
}

} // namespace

VxAlignView::VxAlignView(QWidget *parent) : QWidget(parent)
{
	setMinimumSize(640, 360);
	setAttribute(Qt::WA_MouseTracking, true);
	setCursor(Qt::CrossCursor);
}

VxAlignView::~VxAlignView()
{
	// Nothing may call back into the window while it and its children go.
	onChanged_ = nullptr;
}

void VxAlignView::setSnapshot(const QImage &image)
{
	snapshot_ = image;
	sourceWidth_ = image.width();
	sourceHeight_ = image.height();
}

QColor VxAlignView::regionColor(int index)
{
	static const QColor palette[6] = {{61, 204, 138},  {80, 180, 255},  {240, 200, 70},
					  {240, 110, 110}, {200, 140, 255}, {255, 160, 70}};
	return palette[std::abs(index % 6)];
}

const char *VxAlignView::hintText()
{
	return "Play the game so the HUD is visible, then click Refresh snapshot.";
}

QRect VxAlignView::imageRect() const
{
	if (snapshot_.isNull())
		return rect().adjusted(4, 4, -4, -4);
	const QSize scaled = snapshot_.size().scaled(width() - 8, height() - 8, Qt::KeepAspectRatio);
	return QRect((width() - scaled.width()) / 2, (height() - scaled.height()) / 2, scaled.width(), scaled.height());
}

ostrelo::ViewMapping VxAlignView::mapping() const
{
	const QRect r = imageRect();
	return ostrelo::ViewMapping{IntRect{r.x(), r.y(), r.width(), r.height()}, sourceWidth_, sourceHeight_};
}

QRect VxAlignView::sourceToWidget(const ostrelo::StatRegion &box) const
{
	const auto r = mapping().boxToWidget(box);
	return r ? toQRect(*r) : QRect();
}

QPoint VxAlignView::sourceToWidget(int qx, int qy) const
{
	const IntPoint p = mapping().pointToWidget(qx, qy);
	return QPoint(p.x, p.y);
}

QPoint VxAlignView::widgetToSource(const QPoint &p) const
{
	const IntPoint s = mapping().widgetToSource(IntPoint{p.x(), p.y()});
	return QPoint(s.x, s.y);
}

bool VxAlignView::hits(const AlignRegion &region, const QPoint &p) const
{
	const int n = setPoints(region);
	if (n < 2)
		return region.box.w > 0 && sourceToWidget(region.box).contains(p);
	QPolygon points;
	for (int i = 0; i < n; ++i)
		points << sourceToWidget(region.points[size_t(i)].x, region.points[size_t(i)].y);
	const int m = kOutlinePickMargin;
	return points.boundingRect().adjusted(-m, -m, m, m).contains(p);
}

bool VxAlignView::pressCorner(const QPoint &p)
{
	AlignRegion *region = currentRegion();
	if (!region || !cornerMode_ || !region->isPlates())
		return false;
	const int n = setPoints(*region);
	for (int i = 0; i < n; ++i) {
		const QPoint h = sourceToWidget(region->points[size_t(i)].x, region->points[size_t(i)].y);
		if (std::abs(h.x() - p.x()) + std::abs(h.y() - p.y()) <= kHandleReach) {
			dragHandle_ = i;
			rubberBandActive_ = false;
			update();
			return true;
		}
	}
	if (n < 4) {
		const QPoint s = widgetToSource(p);
		ostrelo::addOutlinePoint(*region, OutlinePoint{s.x(), s.y()});
		update();
		changed();
		return true;
	}
	return false;
}

void VxAlignView::mousePressEvent(QMouseEvent *event)
{
	if (event->button() != Qt::LeftButton || regions_.empty())
		return;
	const QPoint p = eventPoint(event);
	for (int i = 0; i < int(regions_.size()); ++i)
		if (hits(regions_[size_t(i)], p))
			current_ = i;
	if (pressCorner(p))
		return;
	rubberBandActive_ = true;
	dragHandle_ = -1;
	pressPoint_ = p;
	rubberBand_ = QRect(p, p);
	update();
}

void VxAlignView::mouseMoveEvent(QMouseEvent *event)
{
	const QPoint p = eventPoint(event);
	AlignRegion *region = currentRegion();
	if (dragHandle_ >= 0 && region && dragHandle_ < region->outlineCount) {
		const QPoint s = widgetToSource(p);
		ostrelo::moveOutlinePoint(*region, dragHandle_, OutlinePoint{s.x(), s.y()});
		update();
		return;
	}
	if (rubberBandActive_) {
		rubberBand_ = QRect(QPoint(std::min(pressPoint_.x(), p.x()), std::min(pressPoint_.y(), p.y())),
				    QPoint(std::max(pressPoint_.x(), p.x()), std::max(pressPoint_.y(), p.y())));
		update();
	}
}

void VxAlignView::mouseReleaseEvent(QMouseEvent *event)
{
	if (event->button() != Qt::LeftButton)
		return;
	if (dragHandle_ >= 0) {
		dragHandle_ = -1;
		update();
		changed();
		return;
	}
	if (!rubberBandActive_)
		return;
	rubberBandActive_ = false;
	const QRect r = rubberBand_.normalized();
	rubberBand_ = QRect();
	const auto box = mapping().rubberBandToSource(IntRect{r.x(), r.y(), r.width(), r.height()});
	// Boxes under 4 x 6 source pixels are slips of the mouse, not regions.
	if (box && box->w >= 4 && box->h >= 6)
		if (AlignRegion *region = currentRegion())
			ostrelo::setDrawnBox(*region, box->x, box->y, box->w, box->h);
	update();
	changed();
}

void VxAlignView::changed()
{
	if (onChanged_)
		onChanged_();
}

void VxAlignView::paintRegion(QPainter &painter, int index) const
{
	const AlignRegion &region = regions_[size_t(index)];
	const bool isCurrent = index == current_;
	const QColor color = regionColor(index);
	QColor fill = color;
	fill.setAlpha(isCurrent ? 50 : 28);
	painter.setPen(QPen(color, isCurrent ? 2 : 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
	painter.setBrush(fill);

	const int n = setPoints(region);
	if (n < 2) {
		if (region.box.w > 0 && region.box.h > 0)
			painter.drawRect(sourceToWidget(region.box));
	} else {
		QPolygon points;
		for (int i = 0; i < n; ++i)
			points << sourceToWidget(region.points[size_t(i)].x, region.points[size_t(i)].y);
		if (n == 4)
			painter.drawPolygon(points, Qt::OddEvenFill);
		else
			painter.drawPolyline(points);
		painter.setBrush(color);
		for (const QPoint &p : points)
			painter.drawEllipse(p, kHandleRadius, kHandleRadius);
	}

	if (region.box.w <= 0 && n == 0)
		return;
	QString text = QString::fromStdString(region.label);
	if (!region.previewText.empty())
		text += QStringLiteral("  ") + QString::fromStdString(region.previewText);
	const QPoint at = n == 0 ? sourceToWidget(region.box).topLeft() + QPoint(3, 14)
				 : sourceToWidget(region.points[0].x, region.points[0].y) + QPoint(8, -8);
	painter.setPen(Qt::white);
	painter.drawText(at, text);
}

void VxAlignView::paintEvent(QPaintEvent *)
{
	QPainter painter(this);
	painter.fillRect(rect(), QColor(10, 18, 16));
	if (snapshot_.isNull()) {
		painter.setPen(QColor(180, 200, 190));
		painter.drawText(rect(), Qt::AlignCenter, QString::fromUtf8(hintText()));
	} else {
		painter.drawImage(imageRect(), snapshot_);
	}

	// Regions have no place without a picture to put them on.
	if (mapping().possible())
		for (int i = 0; i < int(regions_.size()); ++i)
			paintRegion(painter, i);

	if (rubberBandActive_ && rubberBand_.isValid()) {
		const QColor color(61, 204, 138);
		QColor fill = color;
		fill.setAlpha(40);
		painter.setPen(QPen(color, 1, Qt::DashLine));
		painter.setBrush(fill);
		painter.drawRect(rubberBand_.normalized());
	}
}

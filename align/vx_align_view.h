#pragma once

#include "align/align_region.h"
#include "align/view_mapping.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <functional>
#include <vector>

// The drawing surface of the align window: the snapshot scaled to fit, every region in its own
// colour with its label and preview reading, and the mouse edits (pick a region, drag out a
// box, click and drag the plates corners). Regions are stored in source pixels.
class VxAlignView : public QWidget {
	Q_OBJECT

public:
	explicit VxAlignView(QWidget *parent = nullptr);
	~VxAlignView() override;

	// Set by the window.
	void setSnapshot(const QImage &image); // Format_RGBA8888; its size is the source size
	const QImage &snapshot() const { return snapshot_; }
	int sourceWidth() const { return sourceWidth_; }
	int sourceHeight() const { return sourceHeight_; }

	std::vector<ostrelo::AlignRegion> &regions() { return regions_; }
	const std::vector<ostrelo::AlignRegion> &regions() const { return regions_; }
	int current() const { return current_; }
	void setCurrent(int index) { current_ = index; }
	bool currentValid() const { return current_ >= 0 && current_ < int(regions_.size()); }
	ostrelo::AlignRegion *currentRegion() { return currentValid() ? &regions_[size_t(current_)] : nullptr; }

	bool cornerMode() const { return cornerMode_; }
	void setCornerMode(bool on) { cornerMode_ = on; }
	// Called when a mouse edit is complete.
	void setOnChanged(std::function<void()> onChanged) { onChanged_ = std::move(onChanged); }

	// Mouse state, for the window's tests.
	bool rubberBandActive() const { return rubberBandActive_; }
	QRect rubberBand() const { return rubberBand_; }
	int dragHandle() const { return dragHandle_; }

	// Where the snapshot is drawn, and the conversions painting and the mouse use.
	QRect imageRect() const;
	QRect sourceToWidget(const ostrelo::StatRegion &box) const; // null rectangle when no mapping
	QPoint sourceToWidget(int qx, int qy) const;
	QPoint widgetToSource(const QPoint &p) const;

	// Colour of region i.
	static QColor regionColor(int index);
	// Shown while there is no snapshot.
	static const char *hintText();

protected:
	void mousePressEvent(QMouseEvent *event) override;
	void mouseReleaseEvent(QMouseEvent *event) override;
	void mouseMoveEvent(QMouseEvent *event) override;
	void paintEvent(QPaintEvent *event) override;

private:
	ostrelo::ViewMapping mapping() const;
	bool hits(const ostrelo::AlignRegion &region, const QPoint &p) const;
	// Grabs a handle or adds a corner; true when the press was used up.
	bool pressCorner(const QPoint &p);
	void paintRegion(QPainter &painter, int index) const;
	void changed();

	QImage snapshot_;
	std::vector<ostrelo::AlignRegion> regions_;
	int current_ = 0;
	int sourceWidth_ = 0;
	int sourceHeight_ = 0;
	bool cornerMode_ = false;
	std::function<void()> onChanged_;
	bool rubberBandActive_ = false;
	int dragHandle_ = -1;
	QPoint pressPoint_;
	QRect rubberBand_;
};

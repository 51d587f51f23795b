#pragma once

#include <obs.h>

#include <QDialog>

#include <cstdint>
#include <vector>

class QCheckBox;
class QComboBox;
class QImage;
class QLabel;
class QSlider;
class QSpinBox;
class VxAlignView;

// The dialog in which the user aligns the stat reader's regions on a still snapshot of the
// game and saves them into the filter's settings. The filter opens it from its panel, hands it
// snapshots through setSnapshot and answers snapshotRequested with a fresh frame.
class VxAlignWindow : public QDialog {
	Q_OBJECT

public:
	// parent is not used: the window is always top-level, so it outlives no dock or panel.
	explicit VxAlignWindow(obs_source_t *source, QWidget *parent = nullptr);
	~VxAlignWindow() override;

	// A frame of RGBA rows, tightly packed. Ignored when the size is not positive or the
	// vector holds fewer than width x height x 4 bytes.
	void setSnapshot(int width, int height, const std::vector<uint8_t> &pixels);

signals:
	void snapshotRequested();

private:
	void onStatChanged(int index);
	void applyBoxFields();
	void onSliderMoved(int value);
	void clearCurrent();
	void saveAndClose();
	void applyPreset();
	void onViewChanged();
	void syncFields();
	void updateModeControls();
	void previewRead(const QImage &image);
	void refreshPreview();

	obs_weak_source_t *source_ = nullptr;
	VxAlignView *view_ = nullptr;
	QLabel *help_ = nullptr;
	QComboBox *statList_ = nullptr;
	QSpinBox *x_ = nullptr;
	QSpinBox *y_ = nullptr;
	QSpinBox *w_ = nullptr;
	QSpinBox *h_ = nullptr;
	QCheckBox *cornerBox_ = nullptr;
	QSlider *slider_ = nullptr;
	QLabel *rotateLabel_ = nullptr;
};

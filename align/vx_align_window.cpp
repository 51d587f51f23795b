#include "align/vx_align_window.h"

#include "align/region_preview.h"
#include "align/region_settings.h"
#include "align/vx_align_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using ostrelo::AlignRegion;

namespace {

const char *const kGeneralHelp =
	"This window shows a still snapshot, not a live view, so OBS does not lose frames. Pick a stat, then draw the "
	"box tightly around the number only. Click Refresh snapshot to grab a new frame. Coordinates are in source "
	"pixels. The filter itself does not draw on your stream.";
const char *const kPlatesHelp =
	"This window shows a still snapshot, not a live view, so OBS does not lose frames. For plates, turn on "
	"4-corner "
	"mode and click the four corners of the armor bar, starting at the top-left, then clockwise \u2014 handles "
	"stay "
	"draggable \u2014 or draw a box and use the rotate slider (-30\u00b0 to +30\u00b0). Click Refresh snapshot to "
	"grab a new frame. The filter itself does not draw on your stream.";
const char *const kPresetNeedsSnapshot = "Refresh the snapshot first, then apply the 16:9 Warzone preset.";
const char *const kPresetApplied =
	"Warzone 16:9 preset applied and saved. Tweak a box and Save regions to keep a manual layout.";
const char *const kPresetNotSaved =
	"Warzone 16:9 preset applied here, but not saved: the Vexmoor Stat Reader filter is gone.";

constexpr int kAngleLimit = 30;
// The preset needs a frame at least this large in both directions.
constexpr int kPresetMinSide = 16;

QString rotateText(int degrees)
{
	return QString::fromUtf8("Rotate %1\u00b0").arg(degrees);
}

// The slider shows a stored angle limited to its range; NaN shows as 0.
int sliderAngle(double angle)
{
	if (!(angle == angle))
		return 0;
	return int(std::lround(std::clamp(angle, double(-kAngleLimit), double(kAngleLimit))));
}

QSpinBox *coordinateField(QWidget *parent, const char *name)
{
	auto *box = new QSpinBox(parent);
	box->setObjectName(QString::fromLatin1(name));
	box->setRange(0, 8192);
	box->setMaximumWidth(90);
	return box;
}

QPushButton *button(QWidget *parent, const char *text, const char *name)
{
	auto *b = new QPushButton(QString::fromUtf8(text), parent);
	b->setObjectName(QString::fromLatin1(name));
	return b;
}

} // namespace

VxAlignWindow::VxAlignWindow(obs_source_t *source, QWidget *) : QDialog(nullptr)
{
	if (source)
		source_ = obs_source_get_weak_source(source);
	setWindowTitle(QString::fromUtf8("Vexmoor Stat Reader \u2014 align regions"));
	setMinimumSize(860, 560);

	auto *layout = new QVBoxLayout(this);
	help_ = new QLabel(QString::fromUtf8(kGeneralHelp), this);
	help_->setObjectName(QStringLiteral("help"));
	help_->setWordWrap(true);
	layout->addWidget(help_);
	view_ = new VxAlignView(this);
	view_->setObjectName(QStringLiteral("view"));
	layout->addWidget(view_, 1);

	auto *row = new QHBoxLayout();
	layout->addLayout(row);
	row->addWidget(new QLabel(QStringLiteral("Stat"), this));
	statList_ = new QComboBox(this);
	statList_->setObjectName(QStringLiteral("statList"));
	row->addWidget(statList_);
	x_ = coordinateField(this, "x");
	y_ = coordinateField(this, "y");
	w_ = coordinateField(this, "w");
	h_ = coordinateField(this, "h");
	const std::pair<const char *, QSpinBox *> fields[] = {{"X", x_}, {"Y", y_}, {"W", w_}, {"H", h_}};
	for (const auto &[text, box] : fields) {
		row->addWidget(new QLabel(QString::fromLatin1(text), this));
		row->addWidget(box);
	}
	row->addStretch(1);
	cornerBox_ = new QCheckBox(QStringLiteral("4-corner mode"), this);
	cornerBox_->setObjectName(QStringLiteral("cornerBox"));
	cornerBox_->setToolTip(
		QStringLiteral("Click the four corners of the plates bar, starting at the top-left, then "
			       "clockwise. Handles stay draggable."));
	row->addWidget(cornerBox_);
	rotateLabel_ = new QLabel(rotateText(0), this);
	rotateLabel_->setObjectName(QStringLiteral("rotateLabel"));
	row->addWidget(rotateLabel_);
	slider_ = new QSlider(Qt::Horizontal, this);
	slider_->setObjectName(QStringLiteral("rotateSlider"));
	slider_->setRange(-kAngleLimit, kAngleLimit);
	slider_->setTickInterval(5);
	slider_->setTickPosition(QSlider::TicksBelow);
	slider_->setMaximumWidth(160);
	row->addWidget(slider_);
	QPushButton *refresh = button(this, "Refresh snapshot", "refreshButton");
	QPushButton *preset = button(this, "Apply Warzone 16:9 preset", "presetButton");
	QPushButton *clear = button(this, "Clear this region", "clearButton");
	QPushButton *save = button(this, "Save regions", "saveButton");
	for (QPushButton *b : {refresh, preset, clear, save})
		row->addWidget(b);
	save->setDefault(true);

	view_->regions() = ostrelo::loadRegions(source_);
	for (const AlignRegion &r : view_->regions())
		statList_->addItem(QString::fromStdString(r.label), QString::fromStdString(r.key));
	if (statList_->count() > 0)
		statList_->setCurrentIndex(0);

	view_->setOnChanged([this] { onViewChanged(); });

	connect(statList_, &QComboBox::currentIndexChanged, this, &VxAlignWindow::onStatChanged);
	for (QSpinBox *box : {x_, y_, w_, h_})
		connect(box, &QSpinBox::valueChanged, this, [this] { applyBoxFields(); });
	connect(cornerBox_, &QCheckBox::toggled, this, [this](bool on) {
		view_->setCornerMode(on);
		view_->update();
	});
	connect(slider_, &QSlider::valueChanged, this, &VxAlignWindow::onSliderMoved);
	connect(refresh, &QPushButton::clicked, this, &VxAlignWindow::snapshotRequested);
	connect(preset, &QPushButton::clicked, this, [this] { applyPreset(); });
	connect(clear, &QPushButton::clicked, this, [this] { clearCurrent(); });
	connect(save, &QPushButton::clicked, this, [this] { saveAndClose(); });

	syncFields();
	updateModeControls();
}

VxAlignWindow::~VxAlignWindow()
{
	view_->setOnChanged(nullptr);
	obs_weak_source_release(source_);
}

void VxAlignWindow::setSnapshot(int width, int height, const std::vector<uint8_t> &pixels)
{
	if (width < 1 || height < 1)
		return;
	// Both sides are below 2^31, so the byte count fits in 64 bits.
	const uint64_t rowBytes = uint64_t(width) * 4;
	if (uint64_t(pixels.size()) / rowBytes < uint64_t(height))
		return;
	QImage image(width, height, QImage::Format_RGBA8888);
	if (image.isNull())
		return; // too large to allocate: keep the previous snapshot
	for (int r = 0; r < height; ++r)
		std::copy_n(pixels.data() + uint64_t(r) * rowBytes, rowBytes, image.scanLine(r));
	view_->setSnapshot(image);
	previewRead(image);
	view_->update();
}

void VxAlignWindow::previewRead(const QImage &image)
{
	const ostrelo::RgbaCrop frame{image.constBits(), image.width(), image.height(), int32_t(image.bytesPerLine())};
	ostrelo::previewRead(view_->regions(), frame);
}

void VxAlignWindow::refreshPreview()
{
	if (!view_->snapshot().isNull())
		previewRead(view_->snapshot());
}

void VxAlignWindow::onStatChanged(int index)
{
	view_->setCurrent(index);
	if (AlignRegion *r = view_->currentRegion(); r && r->isPlates())
		cornerBox_->setChecked(true); // choosing Plates always starts in 4-corner mode
	syncFields();
	updateModeControls();
	view_->update();
}

void VxAlignWindow::applyBoxFields()
{
	AlignRegion *r = view_->currentRegion();
	if (!r)
		return;
	// Typed coordinates leave the outline as it is.
	r->box = ostrelo::StatRegion{x_->value(), y_->value(), w_->value(), h_->value()};
	refreshPreview();
	view_->update();
}

void VxAlignWindow::onSliderMoved(int value)
{
	rotateLabel_->setText(rotateText(value));
	AlignRegion *r = view_->currentRegion();
	if (!r)
		return;
	r->angle = value;
	refreshPreview();
	view_->update();
}

void VxAlignWindow::clearCurrent()
{
	AlignRegion *r = view_->currentRegion();
	if (!r)
		return;
	ostrelo::clearRegion(*r);
	syncFields();
	updateModeControls();
	view_->update();
}

void VxAlignWindow::saveAndClose()
{
	// A filter removed meanwhile gets nothing written; the window closes all the same.
	ostrelo::saveRegions(source_, view_->regions(), false);
	accept();
}

void VxAlignWindow::applyPreset()
{
	if (view_->sourceWidth() < kPresetMinSide || view_->sourceHeight() < kPresetMinSide) {
		help_->setText(QString::fromUtf8(kPresetNeedsSnapshot));
		return;
	}
	ostrelo::applyPresetToRegions(view_->regions(), view_->sourceWidth(), view_->sourceHeight());
	syncFields();
	refreshPreview();
	view_->update();
	const bool saved = ostrelo::saveRegions(source_, view_->regions(), true);
	help_->setText(QString::fromUtf8(saved ? kPresetApplied : kPresetNotSaved));
}

void VxAlignWindow::onViewChanged()
{
	syncFields();
	refreshPreview();
}

void VxAlignWindow::syncFields()
{
	const AlignRegion *r = view_->currentRegion();
	if (!r)
		return;
	const std::pair<QSpinBox *, int32_t> values[] = {
		{x_, r->box.x}, {y_, r->box.y}, {w_, r->box.w}, {h_, r->box.h}};
	for (const auto &[box, value] : values) {
		const QSignalBlocker block(box);
		box->setValue(value);
	}
	{
		const QSignalBlocker block(statList_);
		statList_->setCurrentIndex(view_->current());
	}
	{
		const QSignalBlocker block(slider_);
		slider_->setValue(sliderAngle(r->angle));
	}
	rotateLabel_->setText(rotateText(slider_->value()));
	const QSignalBlocker block(cornerBox_);
	cornerBox_->setChecked(view_->cornerMode() && r->isPlates());
}

void VxAlignWindow::updateModeControls()
{
	const AlignRegion *r = view_->currentRegion();
	const bool isPlates = r && r->isPlates();
	cornerBox_->setVisible(isPlates);
	slider_->setVisible(isPlates);
	rotateLabel_->setVisible(isPlates);
	view_->setCornerMode(isPlates && cornerBox_->isChecked());
	help_->setText(QString::fromUtf8(isPlates ? kPlatesHelp : kGeneralHelp));
}

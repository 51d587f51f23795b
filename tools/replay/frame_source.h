#pragma once

#include "statreader/frame_processing.h"
#include "tools/replay/capture_cadence.h"

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace ostrelo::replay {

// One render call's picture: render frame `index`, shown at footage time atNs.
struct RenderFrame {
	int64_t index = 0;
	uint64_t atNs = 0;
	FrameView view;
};

// Footage as OBS would render it: one frame every 1/fps seconds.
class FrameSource {
public:
	virtual ~FrameSource() = default;
	// The next render frame; false at the end or on an error (then error() is set).
	virtual bool next(RenderFrame &frame) = 0;
	// Length of the footage; 0 when not known.
	virtual uint64_t durationNs() const = 0;
	// When input frame n (an image of a folder, a decoded frame of a video) first shows.
	virtual uint64_t inputFrameStartNs(int64_t n) const = 0;
	const QString &error() const { return error_; }

protected:
	QString error_;
};

// Screenshots (PNG or JPEG): each held for a fixed time, or shown from the times a times
// file gives: "SECONDS NAME" per line, in order, and optionally a last line "SECONDS" alone
// where the footage ends (else the last image is held the fixed time).
class ImageSequenceSource final : public FrameSource {
public:
	struct Shot {
		QString path;
		uint64_t startNs;
	};

	// folder: every *.png, *.jpg and *.jpeg in it, sorted by name, each held holdNs.
	static std::unique_ptr<ImageSequenceSource> fromFolder(const QString &folder, uint64_t holdNs, double fps,
							       QString &error);
	// timesFile: the shots and their start times; the last is held holdNs.
	static std::unique_ptr<ImageSequenceSource> fromTimesFile(const QString &timesFile, uint64_t holdNs, double fps,
								  QString &error);

	bool next(RenderFrame &frame) override;
	uint64_t durationNs() const override { return endNs_; }
	uint64_t inputFrameStartNs(int64_t n) const override;

private:
	ImageSequenceSource(std::vector<Shot> shots, uint64_t endNs, double fps);

	std::vector<Shot> shots_;
	uint64_t endNs_;
	double fps_;
	int64_t nextIndex_ = 0;
	int loaded_ = -1;
	QImage image_;
};

// A video file decoded by the ffmpeg command into raw RGBA frames at the replay's rate.
class VideoSource final : public FrameSource {
public:
	static std::unique_ptr<VideoSource> open(const QString &path, double fps, QString &error);
	~VideoSource() override;

	bool next(RenderFrame &frame) override;
	uint64_t durationNs() const override { return durationNs_; }
	uint64_t inputFrameStartNs(int64_t n) const override;

private:
	VideoSource() = default;

	QProcess ffmpeg_;
	int width_ = 0;
	int height_ = 0;
	double fps_ = 30;
	uint64_t durationNs_ = 0;
	int64_t nextIndex_ = 0;
	std::vector<uint8_t> buffer_;
};

} // namespace ostrelo::replay

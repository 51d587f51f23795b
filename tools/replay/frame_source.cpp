#include "tools/replay/frame_source.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

#include <cmath>
#include <optional>

namespace ostrelo::replay {

ImageSequenceSource::ImageSequenceSource(std::vector<Shot> shots, uint64_t endNs, double fps)
    : shots_(std::move(shots)), endNs_(endNs), fps_(fps)
{
}

std::unique_ptr<ImageSequenceSource> ImageSequenceSource::fromFolder(const QString &folder, uint64_t holdNs, double fps,
								     QString &error)
{
	const QDir dir(folder);
	if (!dir.exists()) {
		error = QStringLiteral("no folder %1").arg(folder);
		return nullptr;
	}
	const QStringList names =
		dir.entryList({"*.png", "*.jpg", "*.jpeg", "*.PNG", "*.JPG", "*.JPEG"}, QDir::Files, QDir::Name);
	if (names.isEmpty()) {
		error = QStringLiteral("no PNG or JPEG images in %1").arg(folder);
		return nullptr;
	}
	std::vector<Shot> shots;
	uint64_t at = 0;
	for (const QString &name : names) {
		shots.push_back(Shot{dir.filePath(name), at});
		at += holdNs;
	}
	return std::unique_ptr<ImageSequenceSource>(new ImageSequenceSource(std::move(shots), at, fps));
}

std::unique_ptr<ImageSequenceSource> ImageSequenceSource::fromTimesFile(const QString &timesFile, uint64_t holdNs,
									double fps, QString &error)
{
	QFile file(timesFile);
	if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
		error = QStringLiteral("cannot read %1").arg(timesFile);
		return nullptr;
	}
	const QDir base = QFileInfo(timesFile).dir();
	std::vector<Shot> shots;
	std::optional<uint64_t> endNs;
	QTextStream in(&file);
	int lineNo = 0;
	while (!in.atEnd()) {
		const QString line = in.readLine().trimmed();
		++lineNo;
		if (line.isEmpty() || line.startsWith('#'))
			continue;
		const QStringList parts = line.split(QRegularExpression(QStringLiteral("\\s+")));
		bool ok = false;
		const double seconds = parts[0].toDouble(&ok);
		const QString name = line.mid(parts[0].size()).trimmed();
		if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 1e7 || endNs) {
			error = QStringLiteral("%1 line %2: expected \"SECONDS FILE\", or \"SECONDS\" alone to end")
					.arg(timesFile)
					.arg(lineNo);
			return nullptr;
		}
		const uint64_t at = uint64_t(std::llround(seconds * 1e9));
		if (!shots.empty() && at < shots.back().startNs) {
			error = QStringLiteral("%1 line %2: times must not go back").arg(timesFile).arg(lineNo);
			return nullptr;
		}
		if (name.isEmpty())
			endNs = at;
		else
			shots.push_back(Shot{QDir::isAbsolutePath(name) ? name : base.filePath(name), at});
	}
	if (shots.empty()) {
		error = QStringLiteral("%1 lists no images").arg(timesFile);
		return nullptr;
	}
	const uint64_t end = endNs ? *endNs : shots.back().startNs + holdNs;
	return std::unique_ptr<ImageSequenceSource>(new ImageSequenceSource(std::move(shots), end, fps));
}

uint64_t ImageSequenceSource::inputFrameStartNs(int64_t n) const
{
	if (n < 0)
		return 0;
	return size_t(n) < shots_.size() ? shots_[size_t(n)].startNs : endNs_;
}

bool ImageSequenceSource::next(RenderFrame &frame)
{
	const uint64_t at = renderFrameNs(nextIndex_, fps_);
	if (at >= endNs_)
		return false;
	int shot = loaded_ < 0 ? 0 : loaded_;
	while (size_t(shot) + 1 < shots_.size() && shots_[size_t(shot) + 1].startNs <= at)
		++shot;
	if (shot != loaded_) {
		QImage img(shots_[size_t(shot)].path);
		if (img.isNull()) {
			error_ = QStringLiteral("cannot read the image %1").arg(shots_[size_t(shot)].path);
			return false;
		}
		// Capture stages frames as RGBA.
		image_ = img.convertToFormat(QImage::Format_RGBA8888);
		loaded_ = shot;
	}
	frame.index = nextIndex_++;
	frame.atNs = at;
	frame.view = FrameView{image_.constBits(), image_.width(), image_.height(), uint32_t(image_.bytesPerLine())};
	return true;
}

std::unique_ptr<VideoSource> VideoSource::open(const QString &path, double fps, QString &error)
{
	if (!QFileInfo::exists(path)) {
		error = QStringLiteral("no file %1").arg(path);
		return nullptr;
	}
	QProcess probe;
	probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "v:0", "-show_entries",
						"stream=width,height:format=duration", "-of", "default=nw=1", path});
	if (!probe.waitForFinished(60000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0) {
		error = QStringLiteral("ffprobe could not read %1 (is ffmpeg installed?) %2")
				.arg(path, QString::fromUtf8(probe.readAllStandardError()).trimmed());
		return nullptr;
	}
	std::unique_ptr<VideoSource> src(new VideoSource());
	src->fps_ = fps;
	for (const QString &line : QString::fromUtf8(probe.readAllStandardOutput()).split('\n')) {
		const QString key = line.section('=', 0, 0).trimmed();
		const QString value = line.section('=', 1).trimmed();
		if (key == "width")
			src->width_ = value.toInt();
		else if (key == "height")
			src->height_ = value.toInt();
		else if (key == "duration" && value.toDouble() > 0)
			src->durationNs_ = uint64_t(std::llround(value.toDouble() * 1e9));
	}
	if (src->width_ < 1 || src->height_ < 1 || src->width_ > 16384 || src->height_ > 16384) {
		error = QStringLiteral("%1 has no video stream ffprobe can size").arg(path);
		return nullptr;
	}
	src->buffer_.resize(size_t(src->width_) * size_t(src->height_) * 4);
	src->ffmpeg_.setProcessChannelMode(QProcess::SeparateChannels);
	src->ffmpeg_.setStandardErrorFile(QProcess::nullDevice());
	src->ffmpeg_.start(QStringLiteral("ffmpeg"),
			   {"-v", "error", "-nostdin", "-i", path, "-an", "-vf", QStringLiteral("fps=%1").arg(fps),
			    "-f", "rawvideo", "-pix_fmt", "rgba", "-"});
	if (!src->ffmpeg_.waitForStarted(30000)) {
		error = QStringLiteral("cannot start ffmpeg: %1").arg(src->ffmpeg_.errorString());
		return nullptr;
	}
	return src;
}

VideoSource::~VideoSource()
{
	if (ffmpeg_.state() != QProcess::NotRunning) {
		ffmpeg_.kill();
		ffmpeg_.waitForFinished(5000);
	}
}

uint64_t VideoSource::inputFrameStartNs(int64_t n) const
{
	return renderFrameNs(n, fps_);
}

bool VideoSource::next(RenderFrame &frame)
{
	size_t have = 0;
	while (have < buffer_.size()) {
		const qint64 got =
			ffmpeg_.read(reinterpret_cast<char *>(buffer_.data() + have), qint64(buffer_.size() - have));
		if (got < 0)
			break;
		have += size_t(got);
		if (have == buffer_.size())
			break;
		// Nothing buffered: wait for ffmpeg, which has ended when nothing more comes.
		if (got == 0 && !ffmpeg_.waitForReadyRead(30000))
			break;
	}
	if (have < buffer_.size()) {
		ffmpeg_.waitForFinished(30000);
		if (have > 0 || ffmpeg_.exitCode() != 0)
			error_ = QStringLiteral("ffmpeg stopped mid-stream (exit code %1)").arg(ffmpeg_.exitCode());
		return false;
	}
	frame.index = nextIndex_;
	frame.atNs = renderFrameNs(nextIndex_, fps_);
	++nextIndex_;
	frame.view = FrameView{buffer_.data(), width_, height_, uint32_t(width_) * 4};
	return true;
}

} // namespace ostrelo::replay

#include "tools/replay/replay_run.h"

#include "statreader/default_readers.h"
#include "statreader/hud_classifier.h"
#include "statreader/update_json.h"
#include "tools/replay/expectations.h"
#include "tools/replay/frame_source.h"
#include "tools/replay/poster.h"
#include "tools/replay/replay_session.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <cmath>
#include <cstdio>

namespace ostrelo::replay {

namespace {

QByteArray formatValue(const std::optional<double> &v)
{
	if (!v)
		return "none";
	if (*v == std::floor(*v))
		return QByteArray::number(qint64(*v));
	return QByteArray::number(*v, 'f', 1);
}

double seconds(uint64_t ns)
{
	return double(ns) / 1e9;
}

// The body the live client makes of an update, before the server's sequence number joins it.
QByteArray updateBody(const PendingSend &send)
{
	QJsonObject body = updateFieldsToJson(send.fields);
	body.insert("event_id", send.eventId);
	body.insert("event", send.eventId);
	if (send.gameNo > 0)
		body.insert("game_no", send.gameNo);
	return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

std::unique_ptr<FrameSource> openSource(const RunOptions &o, QString &error)
{
	const uint64_t hold = uint64_t(std::llround(o.holdSeconds * 1e9));
	if (!o.timesFile.isEmpty())
		return ImageSequenceSource::fromTimesFile(o.timesFile, hold, o.fps, error);
	if (QFileInfo(o.input).isDir())
		return ImageSequenceSource::fromFolder(o.input, hold, o.fps, error);
	return VideoSource::open(o.input, o.fps, error);
}

std::optional<ExpectFile> readExpectations(const QString &path)
{
	QFile f(path);
	if (!f.open(QIODevice::ReadOnly)) {
		std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
		return std::nullopt;
	}
	const QByteArray text = f.readAll();
	ExpectFile e = parseExpectations(std::string_view(text.constData(), size_t(text.size())));
	if (!e.error.empty()) {
		std::fprintf(stderr, "%s %s\n", qPrintable(path), e.error.c_str());
		return std::nullopt;
	}
	return e;
}

void printFindings(const ExpectationCheck &check)
{
	for (const auto &f : check.findings()) {
		if (f.kind == ExpectationCheck::Finding::Wrong)
			std::printf("wrong: %.3fs %s = %s, the footage shows %s (expectation line %d)\n",
				    seconds(f.atNs), f.key.c_str(), formatValue(f.got).constData(),
				    formatValue(f.expected).constData(), f.line);
		else if (f.kind == ExpectationCheck::Finding::Missed)
			std::printf("missed: %s = %s from %.3fs to %.3fs (expectation line %d)\n", f.key.c_str(),
				    formatValue(f.expected).constData(), seconds(f.atNs), seconds(f.endNs), f.line);
	}
	std::printf("expect: %d matched, %d missed, %d wrong\n", check.count(ExpectationCheck::Finding::Matched),
		    check.count(ExpectationCheck::Finding::Missed), check.count(ExpectationCheck::Finding::Wrong));
}

} // namespace

int runReplay(const RunOptions &o)
{
	if (!(o.fps >= 1 && o.fps <= 240)) {
		std::fprintf(stderr, "--fps must be between 1 and 240\n");
		return 2;
	}
	QString error;
	std::unique_ptr<FrameSource> source = openSource(o, error);
	if (!source) {
		std::fprintf(stderr, "%s\n", qPrintable(error));
		return 2;
	}
	std::optional<ExpectFile> expectFile;
	if (!o.expectFile.isEmpty() && !(expectFile = readExpectations(o.expectFile)))
		return 2;
	std::optional<ExpectationCheck> check;
	if (expectFile)
		check.emplace(
			expectFile->entries, [&](int64_t n) { return source->inputFrameStartNs(n); },
			uint64_t(std::llround(o.latencySeconds * 1e9)));

	FilterSettings settings = o.settings;
	if (!o.postUrl.isEmpty())
		settings.apiUrl = o.postUrl.toStdString();
	StatReaderState state;
	applySettings(state, settings, ReplaySession::kClockBaseNs);
	ReplaySession session(std::move(state), makeDefaultReaders());
	std::unique_ptr<Poster> poster = o.postUrl.isEmpty() ? nullptr : std::make_unique<Poster>();

	QElapsedTimer wall;
	wall.start();
	qint64 lastProgress = 0;
	int64_t renderFrames = 0, updates = 0, changes = 0, unconfigured = 0;
	uint64_t endNs = 0;
	RenderFrame frame;
	while (source->next(frame)) {
		++renderFrames;
		endNs = frame.atNs;
		const std::optional<ProcessedFrame> p = session.render(frame.view, frame.index, frame.atNs);
		if (!p)
			continue;
		const double t = seconds(p->atNs);
		if (p->hudAfter != p->hudBefore)
			std::printf("%9.3fs  #%-6lld hud %s -> %s\n", t, (long long)p->frame,
				    hudStateName(p->hudBefore), hudStateName(p->hudAfter));
		if (!p->changes.empty()) {
			QByteArray line;
			for (const ValueChange &c : p->changes) {
				line += (line.isEmpty() ? "" : ", ") + QByteArray(c.key.c_str()) + " " +
					formatValue(c.before) + " -> " + formatValue(c.after);
				++changes;
			}
			std::printf("%9.3fs  #%-6lld %s\n", t, (long long)p->frame, line.constData());
		}
		if (p->effects.warnNotConfigured && unconfigured++ == 0)
			std::printf("%9.3fs  #%-6lld new values ready but event id or overlay token is not set\n", t,
				    (long long)p->frame);
		if (p->effects.send) {
			++updates;
			std::printf("%9.3fs  #%-6lld update %s\n", t, (long long)p->frame,
				    updateBody(*p->effects.send).constData());
			if (poster) {
				const Poster::Outcome r = poster->post(*p->effects.send, o.postTimeoutMs);
				std::printf("%9.3fs  #%-6lld posted: %s\n", t, (long long)p->frame,
					    r.answered ? qPrintable(r.status) : "no answer in time");
				// What the filter's finished handler does with the service's game number.
				if (r.siteGameNo > 0 && r.siteGameNo != session.state().gameNo)
					session.setSiteGameNumber(r.siteGameNo);
			}
		}
		if (check)
			check->observe(p->atNs, session.observed());
		if (o.progress && wall.elapsed() - lastProgress >= 2000) {
			lastProgress = wall.elapsed();
			const uint64_t total = source->durationNs();
			if (total > 0)
				std::fprintf(stderr, "replay: %.1f s of %.1f s (%.0f%%)\n", t, seconds(total),
					     100.0 * double(p->atNs) / double(total));
			else
				std::fprintf(stderr, "replay: %.1f s\n", t);
		}
		std::fflush(stdout);
	}
	if (!source->error().isEmpty()) {
		std::fprintf(stderr, "%s\n", qPrintable(source->error()));
		return 2;
	}
	const double took = double(wall.elapsed()) / 1000.0;
	const double footage = renderFrames > 0 ? seconds(endNs) + 1.0 / o.fps : 0.0;
	std::printf("replay: %.1f s of footage, %lld render frames, %lld processed, %lld value changes, %lld updates, "
		    "%.1f s (%.0fx real time)\n",
		    footage, (long long)renderFrames, (long long)session.processedCount(), (long long)changes,
		    (long long)updates, took, took > 0 ? footage / took : 0.0);
	if (unconfigured > 1)
		std::printf("replay: %lld frames had values but no event id or token to send them with\n",
			    (long long)unconfigured);
	if (!check)
		return 0;
	check->finish(endNs + renderFrameNs(1, o.fps));
	printFindings(*check);
	return check->count(ExpectationCheck::Finding::Wrong) > 0 ? 1 : 0;
}

} // namespace ostrelo::replay

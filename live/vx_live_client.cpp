#include "live/vx_live_client.h"

#include <util/base.h>

#include <QJsonDocument>
#include <QPointer>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>
#include <QUrlQuery>

#include <utility>

using ostrelo::LiveResult;

namespace {

QString statusText(const LiveResult &result)
{
	if (result.ok)
		return QStringLiteral("Connected OK");
	if (result.status < 1) {
		return result.error.isEmpty() ? QStringLiteral("Failed: HTTP 0")
					      : QStringLiteral("Failed: HTTP 0 %1").arg(result.error);
	}
	return QStringLiteral("Failed: HTTP %1 %2").arg(result.status).arg(result.error).trimmed();
}

// "game_no=3 kills=5 plates=2.5": what the log says an update carried.
QString requestLabel(const QJsonObject &fields, int gameNo)
{
	QStringList parts;
	if (gameNo > 0)
		parts << QStringLiteral("game_no=%1").arg(gameNo);
	for (auto it = fields.begin(); it != fields.end(); ++it)
		parts << it.key() + QLatin1Char('=') + QString::number(it.value().toDouble(), 'g', 6);
	return parts.join(QLatin1Char(' '));
}

// What an update says only once, when it happens; the updates after it repeat the counters.
constexpr const char *kSentOnceFields[] = {"new_game", "placement", "game_no"};

// Updates wait in a row of more than one only when the game changes under a stalled request.
constexpr size_t kMaxWaiting = 16;

} // namespace

VxLiveClient::VxLiveClient() : alive_(std::make_shared<ostrelo::LiveClientLink>())
{
	alive_->client = this;
}

VxLiveClient::~VxLiveClient()
{
	std::lock_guard<std::mutex> guard(alive_->lock);
	alive_->alive.store(false);
	alive_->client = nullptr;
}

void VxLiveClient::setTransportOptions(const ostrelo::LiveTransportOptions &options)
{
	options_ = options;
}

void VxLiveClient::sendUpdate(const QString &url, const QString &token, int eventId, const QJsonObject &fields,
			      int gameNo)
{
	if (url.isEmpty() || token.isEmpty() || eventId <= 0 || (fields.isEmpty() && gameNo < 1))
		return;
	{
		std::lock_guard<std::mutex> guard(mutex_);
		if (busy_) {
			enqueueWaiting(PendingUpdate{url, token, eventId, fields, gameNo});
			return;
		}
		busy_ = true;
	}
	startUpdate(url, token, eventId, fields, gameNo);
}

void VxLiveClient::enqueueWaiting(PendingUpdate update)
{
	if (!waiting_.empty()) {
		PendingUpdate &last = waiting_.back();
		if (last.url == update.url && last.token == update.token && last.eventId == update.eventId &&
		    last.gameNo == update.gameNo) {
			// The newer counters win; what only the older one said still goes out.
			for (const char *key : kSentOnceFields) {
				const QString name = QLatin1String(key);
				if (last.fields.contains(name) && !update.fields.contains(name))
					update.fields.insert(name, last.fields.value(name));
			}
			last = std::move(update);
			return;
		}
	}
	waiting_.push_back(std::move(update));
	if (waiting_.size() > kMaxWaiting) {
		const QByteArray label = requestLabel(waiting_.front().fields, waiting_.front().gameNo).toUtf8();
		blog(LOG_WARNING, "Vexmoor stat reader: too many updates waiting; the oldest (%s) was dropped.",
		     label.constData());
		waiting_.pop_front();
	}
}

void VxLiveClient::startUpdate(const QString &url, const QString &token, int eventId, const QJsonObject &fields,
			       int gameNo)
{
	QJsonObject body = fields;
	body.insert(QStringLiteral("event_id"), eventId);
	body.insert(QStringLiteral("event"), eventId);
	if (gameNo > 0)
		body.insert(QStringLiteral("game_no"), gameNo);

	int seq = -1;
	{
		std::lock_guard<std::mutex> guard(mutex_);
		seq = lastSeq_;
	}
	if (seq >= 0 && !body.contains(QStringLiteral("if_seq")))
		body.insert(QStringLiteral("if_seq"), seq);

	dispatchRequest(QStringLiteral("POST"), url, token, QJsonDocument(body).toJson(QJsonDocument::Compact), eventId,
			requestLabel(fields, gameNo), false, gameNo);
}

void VxLiveClient::testConnection(const QString &url, const QString &token, int eventId)
{
	if (url.isEmpty() || token.isEmpty() || eventId <= 0) {
		blog(LOG_WARNING, "Vexmoor stat reader: set the event id and overlay token first.");
		emit finished(false, QStringLiteral("Failed: set the event id and overlay token first."), -1);
		return;
	}
	QUrl target(url);
	QUrlQuery query(target);
	query.addQueryItem(QStringLiteral("event"), QString::number(eventId));
	target.setQuery(query);
	dispatchRequest(QStringLiteral("GET"), target.toString(QUrl::FullyEncoded), token, QByteArray(), eventId,
			QString(), true, 0);
}

void VxLiveClient::dispatchRequest(const QString &method, const QString &url, const QString &token,
				   const QByteArray &body, int eventId, const QString &label, bool isTest, int gameNo)
{
	ostrelo::LiveRequest request{method, url, token, body, eventId, label, isTest, gameNo, options_};
	auto task = std::make_unique<ostrelo::LiveRequestTask>(alive_, std::move(request));
	QThreadPool::globalInstance()->start(task.release(), 0); // the pool owns and deletes it
}

void VxLiveClient::handleResult(const LiveResult &result)
{
	const QString status = statusText(result);
	const QByteArray error = result.error.toUtf8();
	if (result.isTest) {
		if (result.ok)
			blog(LOG_INFO, "Vexmoor stat reader: token and event %d look good.", result.eventId);
		else
			blog(LOG_WARNING, "Vexmoor stat reader: test failed (HTTP %d, event %d): %s", result.status,
			     result.eventId, error.constData());
		emit finished(result.ok, status, result.siteGameNo);
		return;
	}

	const QByteArray label = result.label.toUtf8();
	if (result.ok)
		blog(LOG_INFO, "Vexmoor stat reader: sent event %d (%s).", result.eventId, label.constData());
	else
		blog(LOG_WARNING, "Vexmoor stat reader: update failed (HTTP %d, event %d, %s): %s", result.status,
		     result.eventId, label.constData(), error.constData());
	{
		std::lock_guard<std::mutex> guard(mutex_);
		busy_ = false;
		if (result.ok && result.seq >= 0)
			lastSeq_ = result.seq;
	}
	// A receiver connected directly may delete the client from inside a signal.
	const QPointer<VxLiveClient> self(this);
	emit updateAnswered(result.gameNo, result.siteGameNo);
	if (!self)
		return;
	emit finished(result.ok, status, result.siteGameNo);
	if (self)
		sendPending();
}

void VxLiveClient::sendPending()
{
	PendingUpdate next;
	{
		std::lock_guard<std::mutex> guard(mutex_);
		if (waiting_.empty() || busy_)
			return;
		busy_ = true;
		next = std::move(waiting_.front());
		waiting_.pop_front();
	}
	startUpdate(next.url, next.token, next.eventId, next.fields, next.gameNo);
}

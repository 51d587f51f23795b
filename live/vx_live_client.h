#pragma once

#include "live/live_request_task.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <deque>
#include <memory>
#include <mutex>

// Carries one stat reader's results to the live-results service: each update becomes one
// JSON POST and each connection test one GET, run on the global thread pool. At most one
// update is in flight. Updates that arrive meanwhile wait: a newer update of the same game
// replaces the waiting one but takes over what that one was sending only once ("new_game",
// "placement", a "game_no" reset), and an update of another game waits behind it. Every
// completed request, and a test refused for missing settings, ends in exactly one `finished`
// on the client's thread.
//
// Lives on the application thread and is called only there (others reach it through queued
// invocations). It may be deleted while requests run: they finish their exchange and
// deliver nothing.
class VxLiveClient : public QObject {
	Q_OBJECT

public:
	VxLiveClient();
	~VxLiveClient() override;

	// Ignored without a word when the URL or token is empty, the event id is not positive, or
	// there are no fields and no game number of 1 or more.
	void sendUpdate(const QString &url, const QString &token, int eventId, const QJsonObject &fields, int gameNo);
	void testConnection(const QString &url, const QString &token, int eventId);

	// Test hook: short time-outs and a loopback root certificate. The product never calls it.
	void setTransportOptions(const ostrelo::LiveTransportOptions &options);

signals:
	void finished(bool ok, QString status, int site_game_no = -1);
	// Emitted just before `finished` for every completed update: the game number the update
	// was sent with, and the one the service's answer named (-1 = none). An answer speaks
	// for the game its request named, which the caller may have left since.
	void updateAnswered(int game_no, int site_game_no);

private:
	friend class ostrelo::LiveRequestTask;

	struct PendingUpdate {
		QString url;
		QString token;
		int eventId = 0;
		QJsonObject fields;
		int gameNo = 0;
	};

	void startUpdate(const QString &url, const QString &token, int eventId, const QJsonObject &fields, int gameNo);
	void dispatchRequest(const QString &method, const QString &url, const QString &token, const QByteArray &body,
			     int eventId, const QString &label, bool isTest, int gameNo);
	void handleResult(const ostrelo::LiveResult &result);
	void sendPending();
	void enqueueWaiting(PendingUpdate update); // with the mutex held

	std::shared_ptr<ostrelo::LiveClientLink> alive_;

	std::mutex mutex_; // guards the members below; never held across a request or a signal
	bool busy_ = false;
	int lastSeq_ = -1;
	std::deque<PendingUpdate> waiting_; // oldest first; one per game in a row

	ostrelo::LiveTransportOptions options_; // client thread only
};

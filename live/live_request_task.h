#pragma once

#include "live/live_http.h"

#include <QByteArray>
#include <QRunnable>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class VxLiveClient;

namespace ostrelo {

// What a client shares with its request tasks; it lives until the last of them lets go.
// The client clears `alive` and `client` first thing in its destructor, under `lock`. A task
// posts its result under the same lock, so between the check and the post the client cannot
// be freed, and Qt discards the posted call together with the client should the client go
// before the call runs.
struct LiveClientLink {
	std::mutex lock;
	std::atomic<bool> alive{true};
	VxLiveClient *client = nullptr;
};

// Everything one request needs, copied: the task holds no pointer into the client.
struct LiveRequest {
	QString method;
	QString url;
	QString token;
	QByteArray body;
	int eventId = 0;
	QString label; // for the log only
	bool isTest = false;
	int gameNo = 0; // the game number an update was sent with
	LiveTransportOptions options;
};

struct LiveResult {
	bool ok = false;
	int status = 0; // 0 when no status was obtained
	QString error;
	bool isTest = false;
	int eventId = 0;
	QString label;
	int gameNo = 0;      // the request's own game number
	int siteGameNo = -1; // "game_no" of an update's response, -1 = none
	int seq = -1;        // "rev", else "live_seq", of an update's response, -1 = none
};

// Runs one request and reads its outcome (pool thread): success is a status from 1 to 399;
// only then are "game_no", "rev" and "live_seq" taken from the body (a test reads none).
LiveResult runLiveRequest(const LiveRequest &request);

class LiveRequestTask : public QRunnable {
public:
	LiveRequestTask(std::shared_ptr<LiveClientLink> link, LiveRequest request);
	void run() override;

private:
	std::shared_ptr<LiveClientLink> link_;
	LiveRequest request_;
};

} // namespace ostrelo

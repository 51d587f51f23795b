#include "live/live_request_task.h"

#include "common/tsan_handoff.h"
#include "live/json_scan.h"
#include "live/vx_live_client.h"

#include <QMetaObject>
#include <QUrl>

#include <string_view>
#include <utility>

namespace ostrelo {

LiveResult runLiveRequest(const LiveRequest &request)
{
	LiveResult result;
	result.isTest = request.isTest;
	result.eventId = request.eventId;
	result.label = request.label;
	result.gameNo = request.gameNo;

	QByteArray response;
	result.status = liveHttpRequest(request.method, QUrl(request.url), request.token, request.body, result.error,
					request.isTest ? nullptr : &response, request.options);
	if (result.status >= 1 && result.status <= 399) {
		result.ok = true;
		const std::string_view body(response.constData(), size_t(response.size()));
		result.siteGameNo = scanJsonInt(body, "game_no");
		result.seq = scanJsonInt(body, "rev");
		if (result.seq < 0)
			result.seq = scanJsonInt(body, "live_seq");
	}
	return result;
}

LiveRequestTask::LiveRequestTask(std::shared_ptr<LiveClientLink> link, LiveRequest request)
    : link_(std::move(link)), request_(std::move(request))
{
	setAutoDelete(true);
	// Qt's pool hands the task to one of its threads under a lock ThreadSanitizer cannot see.
	tsanRelease(this);
}

void LiveRequestTask::run()
{
	tsanAcquire(this);
	LiveResult result = runLiveRequest(request_);

	std::lock_guard<std::mutex> guard(link_->lock);
	if (!link_->alive.load())
		return;
	VxLiveClient *client = link_->client;
	QMetaObject::invokeMethod(client, handOff([link = link_, client, result = std::move(result)] {
					  if (link->alive.load())
						  client->handleResult(result);
				  }),
				  Qt::QueuedConnection);
}

} // namespace ostrelo

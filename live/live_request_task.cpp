#include "live/live_request_task.h"

#include "live/json_scan.h"
#include "live/vx_live_client.h"

#include <QMetaObject>
#include <QUrl>

#include <string_view>
#include <utility>

// Qt's pool hands a task to one of its threads under a futex-based lock inside Qt, which
// ThreadSanitizer cannot see. Its builds are told about that hand-over here, so that what it
// reports is about this code and not about Qt's.
#if defined(__SANITIZE_THREAD__)
#define OSTRELO_TSAN_HANDOVER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define OSTRELO_TSAN_HANDOVER 1
#endif
#endif
#ifdef OSTRELO_TSAN_HANDOVER
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#endif

namespace ostrelo {

LiveResult runLiveRequest(const LiveRequest &request)
{
	LiveResult result;
	result.isTest = request.isTest;
	result.eventId = request.eventId;
	result.label = request.label;

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
#ifdef OSTRELO_TSAN_HANDOVER
	__tsan_release(this);
#endif
}

void LiveRequestTask::run()
{
#ifdef OSTRELO_TSAN_HANDOVER
	__tsan_acquire(this);
#endif
	LiveResult result = runLiveRequest(request_);

	std::lock_guard<std::mutex> guard(link_->lock);
	if (!link_->alive.load())
		return;
	VxLiveClient *client = link_->client;
	QMetaObject::invokeMethod(
		client,
		[link = link_, client, result = std::move(result)] {
			if (link->alive.load())
				client->handleResult(result);
		},
		Qt::QueuedConnection);
}

} // namespace ostrelo

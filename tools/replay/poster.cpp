#include "tools/replay/poster.h"

#include "live/vx_live_client.h"
#include "statreader/update_json.h"

#include <QEventLoop>
#include <QTimer>

namespace ostrelo::replay {

Poster::Poster() : client_(std::make_unique<VxLiveClient>()) {}

Poster::~Poster() = default;

Poster::Outcome Poster::post(const PendingSend &send, int timeoutMs)
{
	Outcome out;
	QEventLoop loop;
	QTimer timer;
	timer.setSingleShot(true);
	QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
	const QMetaObject::Connection done = QObject::connect(client_.get(), &VxLiveClient::finished, &loop,
							      [&](bool ok, const QString &status, int siteGameNo) {
								      out.answered = true;
								      out.ok = ok;
								      out.status = status;
								      out.siteGameNo = siteGameNo;
								      loop.quit();
							      });
	client_->sendUpdate(QString::fromStdString(send.apiUrl), QString::fromStdString(send.token), send.eventId,
			    updateFieldsToJson(send.fields), send.gameNo);
	timer.start(timeoutMs);
	loop.exec();
	QObject::disconnect(done);
	return out;
}

} // namespace ostrelo::replay

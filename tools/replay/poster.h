#pragma once

#include "statreader/update_fields.h"

#include <QString>

#include <memory>

class VxLiveClient;

namespace ostrelo::replay {

// Posts a replay's updates through the filter's own live client, one at a time: the replay
// waits for each answer, so no update is coalesced away and the service's game number
// reaches the next processed frame as it would in OBS.
class Poster {
public:
	Poster();
	~Poster();

	struct Outcome {
		bool answered = false; // false: no answer within the time-out
		bool ok = false;
		QString status;
		int siteGameNo = -1;
	};

	Outcome post(const PendingSend &send, int timeoutMs);

private:
	std::unique_ptr<VxLiveClient> client_;
};

} // namespace ostrelo::replay

// The buttons (UI thread) and frame processing (graphics thread) change the same state. Run
// both at once; under ThreadSanitizer any access that bypasses the lock is reported.

#include "statreader/frame_processing.h"
#include "statreader/hud_classifier.h"
#include "statreader/numbering.h"
#include "statreader/shared_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace ostrelo;

namespace {

class CountingReaders : public StatReaders {
public:
	int32_t value = 150;
	int32_t classify(const FrameView &) override { return kHudInMatch; }
	StatReading readDigitStat(const RgbaImage &, std::string_view key, bool) override
	{
		StatReading r;
		r.ok = true;
		r.confidence = 0.9f;
		r.value = key == "kills" ? 2 : key == "teams_left" ? 30 : value;
		return r;
	}
	StatReading readPlates(const RgbaImage &, const std::optional<PlatesOutline> &, float) override { return {}; }
	StatReading readCardNumber(const RgbaImage &, std::string_view) override { return {}; }
};

} // namespace

TEST(SharedState, ButtonsAndProcessingAtOnce)
{
	SharedState shared;
	shared.with([](StatReaderState &s) {
		s.config.token = "tok";
		s.config.eventId = 3;
	});
	std::atomic<bool> stop{false};
	std::atomic<int> sends{0};
	std::atomic<int> frames{0};
	std::vector<uint8_t> pixels(640 * 360 * 4, 0);

	std::thread graphics([&] {
		CountingReaders readers;
		uint64_t now = 1;
		while (!stop) {
			now += 200'000'000;
			readers.value = readers.value > 60 ? readers.value - 1 : 150;
			const FrameEffects fx = shared.with([&](StatReaderState &s) {
				return processFrame(s, FrameView{pixels.data(), 640, 360, 640 * 4}, now, 0, readers);
			});
			if (fx.send)
				++sends;
			++frames;
		}
	});

	int presses = 0;
	// Keep pressing until both sides have run many times over each other.
	for (int i = 0; i < 2000 || frames < 300; ++i) {
		const NumberingChange change = shared.with([i](StatReaderState &s) {
			return i % 3 ? pressNewGame(s, uint64_t(i)) : pressResetGameNumber(s, uint64_t(i));
		});
		if (change.send)
			++presses;
		// The panel reads what processing writes.
		const std::string status = shared.with([](StatReaderState &s) {
			s.statusText = "Connected OK";
			return std::to_string(s.gameNo) + " " + std::to_string(s.trackers[kStatPlayersLeft].value);
		});
		EXPECT_FALSE(status.empty());
	}
	stop = true;
	graphics.join();

	EXPECT_GE(presses, 2000);
	EXPECT_GE(frames.load(), 300);
	const int gameNo = shared.with([](StatReaderState &s) { return s.gameNo; });
	EXPECT_GE(gameNo, 1);
	EXPECT_LE(gameNo, 999);
}

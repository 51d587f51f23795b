#include "statreader/default_readers.h"
#include "statreader/frame_processing.h"
#include "tools/hudframes/hud_frame.h"

#include <benchmark/benchmark.h>

#include <QColor>
#include <QGuiApplication>

#include <cstring>
#include <memory>
#include <vector>

using namespace ostrelo;

namespace {

// The default readers, counting how often the learned reader is asked.
class CountingReaders final : public StatReaders {
public:
	explicit CountingReaders(bool learned) : inner_(makeDefaultReaders(learned)) {}
	int64_t learnedReads = 0;

	int32_t classify(const FrameView &f) override { return inner_->classify(f); }
	StatReading readDigitStat(const RgbaImage &crop, std::string_view key, bool special) override
	{
		return inner_->readDigitStat(crop, key, special);
	}
	StatReading readPlates(const RgbaImage &crop, const std::optional<PlatesOutline> &outline, float angle) override
	{
		return inner_->readPlates(crop, outline, angle);
	}
	StatReading readCardNumber(const RgbaImage &crop, std::string_view key) override
	{
		return inner_->readCardNumber(crop, key);
	}
	LearnedReading readLearned(const RgbaImage &crop) override
	{
		++learnedReads;
		return inner_->readLearned(crop);
	}

private:
	std::unique_ptr<StatReaders> inner_;
};

void processedFrame(benchmark::State &bench, int width, int height, bool learned = true, bool counters = true)
{
	static int argc = 1;
	static char name[] = "bench";
	static char *argv[] = {name, nullptr};
	static QGuiApplication *app = QCoreApplication::instance() ? nullptr : new QGuiApplication(argc, argv);
	(void)app;

	hudframes::HudFrame hf;
	hf.width = width;
	hf.height = height;
	hf.kills = 5;
	hf.playersLeft = 97;
	hf.teamsLeft = 38;
	hf.wins = 2;
	hf.plates = 2.5;
	QImage image = hudframes::renderHudFrame(hf);
	if (!counters) // the HUD's numbers hidden (a menu, the map): every read fails
		image.fill(QColor(30, 34, 38));
	const QRectF wins = hudframes::winsRect();

	StatReaderState state;
	state.config.token = "tok";
	state.config.eventId = 7;
	state.config.regions[kStatWins] = {int32_t(wins.x() * width), int32_t(wins.y() * height),
					   int32_t(wins.width() * width), int32_t(wins.height() * height)};
	CountingReaders readers(learned);
	std::vector<uint8_t> snapshot;
	uint64_t now = 1'000'000'000'000ULL;
	const FrameView frame{image.constBits(), image.width(), image.height(), uint32_t(image.bytesPerLine())};
	for (auto _ : bench) {
		// What capture does with every mapped frame: the snapshot copy, then processing.
		snapshot.resize(size_t(image.sizeInBytes()));
		std::memcpy(snapshot.data(), image.constBits(), snapshot.size());
		now += 200'000'000ULL;
		FrameEffects fx = processFrame(state, frame, now, 0, readers);
		benchmark::DoNotOptimize(fx);
	}
	bench.counters["confirmed_kills"] = state.trackers[kStatKills].valid ? state.trackers[kStatKills].value : -1;
	bench.counters["learned_reads_per_frame"] =
		benchmark::Counter(double(readers.learnedReads), benchmark::Counter::kAvgIterations);
}

} // namespace

BENCHMARK_CAPTURE(processedFrame, 720p, 1280, 720)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(processedFrame, 1080p, 1920, 1080)->Unit(benchmark::kMicrosecond);
// The same frame read by the template readers alone: the difference to 1080p is what the
// learned reader costs while the values stand still.
BENCHMARK_CAPTURE(processedFrame, 1080p_without_learned, 1920, 1080, false)->Unit(benchmark::kMicrosecond);
// No numbers on screen: every read fails, so the learned reader is asked for every counter.
BENCHMARK_CAPTURE(processedFrame, 1080p_no_numbers, 1920, 1080, true, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(processedFrame, 1080p_no_numbers_without_learned, 1920, 1080, false, false)
	->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(processedFrame, 4K, 3840, 2160)->Unit(benchmark::kMicrosecond);

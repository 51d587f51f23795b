// One processed frame of the stat reader (Warzone, all five stats set, the HUD classifier, the
// end card where one shows) on each screen the game shows, at 720p, 1080p and 4K, beside one
// memcpy of the same frame in the same run. The graphics thread pays this per processed frame,
// so the table at the end gives it as a multiple of that memcpy.
//
// The filter meets each frame in a stage surface the GPU has just written, never in the CPU's
// caches, so both measurements walk over copies of the frame that together exceed them.
//
// Defaults to 7 repetitions and reports medians; --benchmark_repetitions overrides.

#include "statreader/default_readers.h"
#include "statreader/frame_processing.h"
#include "statreader/hud_classifier.h"
#include "tools/hudframes/hud_frame.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace ostrelo;

namespace {

struct Size {
	const char *name;
	int width, height;
};
const Size kSizes[] = {{"720p", 1280, 720}, {"1080p", 1920, 1080}, {"4K", 3840, 2160}};

struct Scene {
	const char *name;
	hudframes::Screen screen; // drawn when file is null
	const char *file;         // a stand-in screen of tests/data/hud, scaled to the size
};
const Scene kScenes[] = {
	{"in-match", hudframes::Screen::InMatch, nullptr},
	{"no-hud", hudframes::Screen::Lobby, nullptr},
	{"menu", hudframes::Screen::Lobby, "menu.png"},
	{"spectating", hudframes::Screen::Lobby, "watching-teammate.png"},
	{"placement-card", hudframes::Screen::Lobby, "placement.png"},
	{"after-action", hudframes::Screen::Lobby, "after-action.png"},
};

QImage sceneImage(const Scene &scene, const Size &size)
{
	if (scene.file) {
		const QImage screen(QString(OSTRELO_HUD_SCREENS_DIR "/") + scene.file);
		return screen.scaled(size.width, size.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
			.convertToFormat(QImage::Format_RGBA8888);
	}
	hudframes::HudFrame hf;
	hf.screen = scene.screen;
	hf.width = size.width;
	hf.height = size.height;
	hf.kills = 5;
	hf.playersLeft = 97;
	hf.teamsLeft = 38;
	hf.wins = 2;
	hf.plates = 2.5;
	return hudframes::renderHudFrame(hf);
}

// The default readers, counting how often the learned reader is asked.
class CountingReaders final : public ForwardingReaders {
public:
	explicit CountingReaders(bool learned) : ForwardingReaders(learned) {}
	int64_t learnedReads = 0;

	LearnedReading readLearned(const RgbaImage &crop) override
	{
		++learnedReads;
		return ForwardingReaders::readLearned(crop);
	}
};

// Copies of one frame spread over three times the last-level cache (32 MiB here), taken in
// turn. Drawn when a benchmark first asks for them and kept while it runs; made again when
// another one starts.
class ColdFrames {
public:
	static ColdFrames &of(const Scene &scene, const Size &size)
	{
		static ColdFrames current;
		if (current.scene_ != &scene || current.size_ != &size) {
			current.scene_ = &scene;
			current.size_ = &size;
			current.image_ = sceneImage(scene, size);
			const uint8_t *bits = current.image_.constBits();
			const size_t bytes = size_t(current.image_.sizeInBytes());
			const size_t count = std::max<size_t>(2, (size_t(96) << 20) / bytes + 1);
			current.copies_.assign(count, std::vector<uint8_t>(bits, bits + bytes));
			current.next_ = 0;
		}
		return current;
	}

	FrameView next()
	{
		const uint8_t *p = copies_[next_].data();
		next_ = (next_ + 1) % copies_.size();
		return FrameView{p, image_.width(), image_.height(), uint32_t(image_.bytesPerLine())};
	}
	size_t count() const { return copies_.size(); }
	size_t frameBytes() const { return size_t(image_.sizeInBytes()); }

private:
	const Scene *scene_ = nullptr;
	const Size *size_ = nullptr;
	QImage image_;
	std::vector<std::vector<uint8_t>> copies_;
	size_t next_ = 0;
};

void processedFrame(benchmark::State &bench, const Scene &scene, const Size &size, bool learned)
{
	ColdFrames &frames = ColdFrames::of(scene, size);
	const QRectF wins = hudframes::winsRect();
	StatReaderState state;
	state.config.token = "tok";
	state.config.eventId = 7;
	state.config.regions[kStatWins] = {int32_t(wins.x() * size.width), int32_t(wins.y() * size.height),
					   int32_t(wins.width() * size.width), int32_t(wins.height() * size.height)};
	CountingReaders readers(learned);
	uint64_t now = 1'000'000'000'000ULL;
	for (auto _ : bench) {
		now += 200'000'000ULL;
		FrameEffects fx = processFrame(state, frames.next(), now, 0, readers);
		benchmark::DoNotOptimize(fx);
	}
	bench.counters["hud_state"] = state.hudState;
	bench.counters["confirmed_kills"] = state.trackers[kStatKills].valid ? state.trackers[kStatKills].value : -1;
	bench.counters["learned_reads_per_frame"] =
		benchmark::Counter(double(readers.learnedReads), benchmark::Counter::kAvgIterations);
}

// The HUD classifier alone: the part of processing that does not depend on the stats read.
void classifiedFrame(benchmark::State &bench, const Scene &scene, const Size &size)
{
	ColdFrames &frames = ColdFrames::of(scene, size);
	int32_t state = 0;
	for (auto _ : bench) {
		const FrameView f = frames.next();
		state = classifyHudState(f.data, f.width, f.height, f.lineSize);
		benchmark::DoNotOptimize(state);
	}
	bench.counters["hud_state"] = state;
}

void frameMemcpy(benchmark::State &bench, const Scene &scene, const Size &size)
{
	ColdFrames &frames = ColdFrames::of(scene, size);
	// As many destinations as sources: the snapshot is not in the caches either.
	std::vector<std::vector<uint8_t>> copies(frames.count(), std::vector<uint8_t>(frames.frameBytes(), 1));
	size_t i = 0;
	for (auto _ : bench) {
		std::memcpy(copies[i].data(), frames.next().data, copies[i].size());
		benchmark::DoNotOptimize(copies[i].data());
		benchmark::ClobberMemory();
		i = (i + 1) % copies.size();
	}
}

// Keeps the medians for the table at the end, and prints as usual.
class MedianReporter : public benchmark::ConsoleReporter {
public:
	struct Times {
		double real = 0, cpu = 0;
		double hudState = -1;
		double learnedReads = -1; // per frame
	};
	std::map<std::string, Times> medians;

	void ReportRuns(const std::vector<Run> &runs) override
	{
		for (const Run &r : runs)
			if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median" && !r.error_occurred) {
				const auto counter = [&](const char *name) {
					const auto it = r.counters.find(name);
					return it == r.counters.end() ? -1.0 : it->second.value;
				};
				medians[r.run_name.function_name] = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime(),
								     counter("hud_state"),
								     counter("learned_reads_per_frame")};
			}
		ConsoleReporter::ReportRuns(runs);
	}
};

std::string nameOf(const char *what, const Scene *scene, const Size &size)
{
	return std::string(what) + "/" + (scene ? std::string(scene->name) + "/" : std::string()) + size.name;
}

} // namespace

int main(int argc, char **argv)
{
	int qtArgc = 1;
	QGuiApplication app(qtArgc, argv);

	std::vector<char *> args(argv, argv + argc);
	bool repetitionsGiven = false;
	for (char *a : args)
		repetitionsGiven = repetitionsGiven || std::strncmp(a, "--benchmark_repetitions", 23) == 0;
	static char repetitions[] = "--benchmark_repetitions=7";
	static char aggregatesOnly[] = "--benchmark_report_aggregates_only=true";
	if (!repetitionsGiven) {
		args.push_back(repetitions);
		args.push_back(aggregatesOnly);
	}
	int benchArgc = int(args.size());
	benchmark::Initialize(&benchArgc, args.data());

	for (const Size &size : kSizes) {
		benchmark::RegisterBenchmark(nameOf("memcpy", nullptr, size).c_str(), frameMemcpy, kScenes[0], size)
			->Unit(benchmark::kMicrosecond);
		for (const Scene &scene : kScenes) {
			benchmark::RegisterBenchmark(nameOf("process", &scene, size).c_str(), processedFrame, scene,
						     size, true)
				->Unit(benchmark::kMicrosecond);
			// The template readers alone: the difference is what the learned reader costs.
			benchmark::RegisterBenchmark(nameOf("process-template-only", &scene, size).c_str(),
						     processedFrame, scene, size, false)
				->Unit(benchmark::kMicrosecond);
			benchmark::RegisterBenchmark(nameOf("classify", &scene, size).c_str(), classifiedFrame, scene,
						     size)
				->Unit(benchmark::kMicrosecond);
		}
	}

	MedianReporter reporter;
	benchmark::RunSpecifiedBenchmarks(&reporter);
	benchmark::Shutdown();

	const auto median = [&](const std::string &name) {
		const auto it = reporter.medians.find(name);
		return it == reporter.medians.end() ? MedianReporter::Times{} : it->second;
	};
	std::printf("\nMedians in us; ratios to one memcpy of the same frame, real time (cpu time); learned reads per "
		    "processed frame\n");
	std::printf("%-15s %-6s %-14s %9s %9s %9s %15s %15s %8s\n", "screen", "size", "classified as", "memcpy",
		    "process", "classify", "process/memcpy", "classify/memcpy", "learned");
	for (const Size &size : kSizes) {
		const MedianReporter::Times copy = median(nameOf("memcpy", nullptr, size));
		if (copy.real <= 0)
			continue;
		for (const Scene &scene : kScenes) {
			const MedianReporter::Times p = median(nameOf("process", &scene, size));
			const MedianReporter::Times c = median(nameOf("classify", &scene, size));
			if (p.real <= 0 && c.real <= 0)
				continue;
			std::printf("%-15s %-6s %-14s %9.1f %9.1f %9.1f %6.2f (%5.2f) %7.2f (%5.2f) %8.2f\n",
				    scene.name, size.name, hudStateName(int32_t(c.hudState)), copy.real, p.real, c.real,
				    p.real / copy.real, p.cpu / copy.cpu, c.real / copy.real, c.cpu / copy.cpu,
				    p.learnedReads);
		}
	}
	return 0;
}

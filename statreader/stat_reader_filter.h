#pragma once

#include "statreader/filter_state.h"
#include "statreader/frame_processing.h"
#include "statreader/shared_state.h"

#include <obs.h>

#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;
class VxLiveClient;
class VxAlignWindow;

namespace ostrelo {

// The latest processed frame, kept for the alignment window: RGBA rows, tightly packed.
struct FrameSnapshot {
	int32_t width = 0;
	int32_t height = 0;
	std::vector<uint8_t> pixels;
};

// What the capture asked of the GPU and did with the frames it read, counted as it goes (a few
// increments per render call) so that tests can hold each render call to its work exactly.
struct CaptureCounts {
	std::atomic<uint64_t> renderCalls{0};
	std::atomic<uint64_t> passThroughs{0};    // input drawn straight to the output
	std::atomic<uint64_t> texrenderPasses{0}; // input drawn into the texture renderer
	std::atomic<uint64_t> stagings{0};        // frames staged into a stage surface
	std::atomic<uint64_t> maps{0};            // stage surfaces mapped
	std::atomic<uint64_t> unmaps{0};          // and unmapped
	std::atomic<uint64_t> processed{0};       // mapped frames handed to processing
	std::atomic<uint64_t> snapshotCopies{0};  // of those, copied into the snapshot
};

// GPU side of the capture; touched only on the graphics thread (and by destroy inside the
// graphics context).
struct CaptureState {
	gs_texrender_t *texrender = nullptr;
	gs_stagesurf_t *stage[2] = {nullptr, nullptr};
	bool staged[2] = {false, false};
	int nextStage = 0;
	int pendingStage = -1;
	uint32_t stageWidth = 0;
	uint32_t stageHeight = 0;
	uint64_t lastConsumeNs = 0;
	bool snapshotOnPending = false;
	bool outputDrawn = false; // the current render call has drawn the input to the output
	CaptureCounts counts;
};

// One instance per "Vexmoor Stat Reader" filter. OBS holds one reference from create to
// destroy; queued calls to the UI thread hold more, so the record outlives destroy until the
// last of them has run. They touch the source only while alive, under the lifetime lock.
struct StatReaderFilter {
	obs_source_t *source = nullptr; // not owned

	CaptureState capture;

	// Processing (graphics thread), the buttons, the panel and the live client's result
	// handler (UI thread) all reach the state through its lock.
	SharedState shared;

	// The game number the service reported, handed from the UI to the graphics thread. Set
	// and cleared under the state lock, so it always belongs to the current game number.
	std::atomic<int32_t> pendingSiteGameNo{0};

	// The snapshot is the last frame processed for the alignment window's request; no other
	// frame is copied, so processing costs the graphics thread no copy of the frame.
	std::mutex snapshotMutex; // held only while the snapshot is copied in or out
	FrameSnapshot snapshot;
	// Size of the last processed frame, width << 32 | height, for the preset button.
	std::atomic<uint64_t> processedSize{0};

	std::unique_ptr<StatReaders> readers;

	// alive turns false under the lifetime lock when destroy begins; a queued call checks it
	// and uses the source under the same lock, so destroy cannot free the source mid-use.
	std::recursive_mutex lifetimeMutex;
	std::atomic<bool> alive{true};
	std::atomic<bool> destroying{false};
	std::atomic<bool> snapshotRequested{false};

	// UI thread only.
	QObject *dispatch = nullptr;
	VxLiveClient *client = nullptr;
	QPointer<VxAlignWindow> alignWindow;
};

using FilterRef = std::shared_ptr<StatReaderFilter>;

// Registers the filter type "vexmoor_stat_reader" with OBS.
void registerStatReaderFilter();

// ---- capture (graphics thread) -----------------------------------------------------------
void captureVideoRender(const FilterRef &filter);
// Draws the filter's input to the output unchanged, without a texture of the filter's own.
void passThrough(StatReaderFilter &filter);
void releaseCaptureResources(CaptureState &capture);

// ---- the UI side (filter_bridge.cpp) ----------------------------------------------------
// Runs fn on the application thread. Without an application object nothing can deliver it.
void postToUi(std::function<void()> fn);
// Runs fn on the application thread with the filter's source, unless destroy has begun.
void postIfAlive(const FilterRef &filter, std::function<void(StatReaderFilter &)> fn);
void ensureDispatch(StatReaderFilter &filter);
void ensureLiveClient(const FilterRef &filter);
void postPropertiesRefresh(const FilterRef &filter);
void postSend(const FilterRef &filter, PendingSend send);
void postTestConnection(const FilterRef &filter);
// Marks the numbering unsaved and queues its write; the write takes the values current when
// it runs, so a newer change that was written first is never overwritten.
void postNumberingSave(const FilterRef &filter);
// Writes the numbering as it is now into the filter's settings (UI thread).
void writeNumbering(StatReaderFilter &filter);
void postOpenAlignWindow(const FilterRef &filter);
void postSnapshotHandOff(const FilterRef &filter);
// Takes down the Qt side on the UI thread (window, live client, dispatch object).
void teardownUiSide(const FilterRef &filter);

// ---- properties (filter_properties.cpp) -----------------------------------------------
obs_properties_t *buildProperties(const FilterRef &filter);

} // namespace ostrelo

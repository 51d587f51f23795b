// The capture cycle on the graphics thread: draw the input through unchanged, and every
// 200 ms stage one frame into a stage surface that is read one render call later, so the
// GPU is never waited on. The output is the input drawn straight through on every call; only
// the calls that stage draw it a second time, into a texture of the filter's own.

#include "statreader/stat_reader_filter.h"

#include <graphics/graphics.h>
#include <util/platform.h>

#include <cstring>
#include <exception>

namespace ostrelo {

namespace {

constexpr uint64_t kCaptureSpacingNs = 200'000'000ULL;

void copySnapshot(StatReaderFilter &f, const uint8_t *data, uint32_t width, uint32_t height, uint32_t lineSize)
{
	const size_t rowBytes = size_t(width) * 4;
	std::lock_guard lock(f.snapshotMutex);
	// Sized first: a failed allocation leaves the previous snapshot whole.
	f.snapshot.pixels.resize(rowBytes * height);
	f.snapshot.width = int32_t(width);
	f.snapshot.height = int32_t(height);
	if (lineSize == rowBytes) {
		std::memcpy(f.snapshot.pixels.data(), data, rowBytes * height);
	} else {
		for (uint32_t y = 0; y < height; ++y)
			std::memcpy(f.snapshot.pixels.data() + rowBytes * y, data + size_t(lineSize) * y, rowBytes);
	}
}

// forSnapshot: the frame was staged for the alignment window's request.
void processMapped(const FilterRef &ref, const uint8_t *data, uint32_t width, uint32_t height, uint32_t lineSize,
		   bool forSnapshot)
{
	StatReaderFilter &f = *ref;
	if (forSnapshot) {
		copySnapshot(f, data, width, height, lineSize);
		++f.capture.counts.snapshotCopies;
	}
	f.processedSize.store(uint64_t(width) << 32 | height);
	++f.capture.counts.processed;

	const FrameView frame{data, int32_t(width), int32_t(height), lineSize};
	FrameEffects fx = f.shared.with([&](StatReaderState &s) {
		return processFrame(s, frame, os_gettime_ns(), f.pendingSiteGameNo.exchange(0), *f.readers);
	});
	if (fx.saveNumbering)
		postNumberingSave(ref);
	if (fx.refreshProperties)
		postPropertiesRefresh(ref);
	if (fx.send)
		postSend(ref, std::move(*fx.send));
	if (fx.warnNotConfigured)
		blog(LOG_WARNING, "Vexmoor stat reader: new values ready but event id or overlay token is not set.");
}

// Processing that fails (an allocation, a queued call) drops its frame; the render call goes
// on, so the output is drawn once and the surface unmapped whatever happened.
bool processOrDrop(const FilterRef &ref, const uint8_t *data, uint32_t width, uint32_t height, uint32_t lineSize,
		   bool forSnapshot) noexcept
{
	try {
		processMapped(ref, data, width, height, lineSize, forSnapshot);
		return true;
	} catch (const std::exception &e) {
		blog(LOG_WARNING, "Vexmoor stat reader: a frame could not be processed (%s)", e.what());
	} catch (...) {
		blog(LOG_WARNING, "Vexmoor stat reader: a frame could not be processed");
	}
	return false;
}

// Unmaps a mapped stage surface when it goes out of scope.
class StageMapping {
public:
	StageMapping(gs_stagesurf_t *surface, CaptureCounts &counts) : surface_(surface), counts_(counts) {}
	~StageMapping()
	{
		gs_stagesurface_unmap(surface_);
		++counts_.unmaps;
	}
	StageMapping(const StageMapping &) = delete;
	StageMapping &operator=(const StageMapping &) = delete;

private:
	gs_stagesurf_t *surface_;
	CaptureCounts &counts_;
};

void ensureStageSurfaces(CaptureState &c, uint32_t width, uint32_t height)
{
	if (c.stage[0] && c.stage[1] && c.stageWidth == width && c.stageHeight == height)
		return;
	for (gs_stagesurf_t *&s : c.stage) {
		gs_stagesurface_destroy(s);
		s = gs_stagesurface_create(width, height, GS_RGBA);
	}
	c.staged[0] = c.staged[1] = false;
	c.stageWidth = width;
	c.stageHeight = height;
	c.nextStage = 0;
	c.pendingStage = -1;
}

} // namespace

void passThrough(StatReaderFilter &f)
{
	++f.capture.counts.passThroughs;
	f.capture.outputDrawn = true;
	obs_source_skip_video_filter(f.source);
}

void captureVideoRender(const FilterRef &ref)
{
	StatReaderFilter &f = *ref;
	CaptureState &c = f.capture;
	++c.counts.renderCalls;

	obs_source_t *target = obs_filter_get_target(f.source);
	obs_source_t *parent = obs_filter_get_parent(f.source);
	if (!target || !parent) {
		passThrough(f);
		return;
	}
	const uint32_t width = obs_source_get_base_width(target);
	const uint32_t height = obs_source_get_base_height(target);
	if (!width || !height) {
		passThrough(f);
		return;
	}

	const uint64_t now = os_gettime_ns();
	const bool requested = f.snapshotRequested.load();
	// previous is the consume time from before this call, so the call that reads a frame
	// after a pause stages the second frame of the pair at once.
	const uint64_t previous = c.lastConsumeNs;
	const bool stageNow = now - previous >= kCaptureSpacingNs || requested;

	// The output is always the input drawn straight through, as an unfiltered source draws:
	// a texture drawn out in its place cannot know how the input blends (straight or
	// premultiplied alpha, in linear light) and made translucent pixels darker.
	passThrough(f);

	// Only a call that stages needs the picture in a texture of its own.
	gs_texture_t *texture = nullptr;
	if (stageNow) {
		if (!c.texrender)
			c.texrender = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
		gs_texrender_reset(c.texrender);
		if (gs_texrender_begin(c.texrender, width, height)) {
			vec4 clear;
			vec4_zero(&clear);
			gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
			gs_ortho(0.0f, float(width), 0.0f, float(height), -100.0f, 100.0f);
			// The input's own pixels, alpha included, not blended in as OBS blends onto its
			// output (which would apply the alpha once more).
			gs_blend_state_push();
			gs_blend_function(GS_BLEND_ONE, GS_BLEND_ZERO);
			obs_source_skip_video_filter(f.source);
			gs_blend_state_pop();
			gs_texrender_end(c.texrender);
			++c.counts.texrenderPasses;
			texture = gs_texrender_get_texture(c.texrender);
		}
	}

	if (c.pendingStage >= 0) {
		const int i = c.pendingStage;
		c.pendingStage = -1;
		// A frame staged at another size is dropped: it belongs to the old input.
		if (c.stage[i] && c.staged[i] && c.stageWidth == width && c.stageHeight == height) {
			uint8_t *data = nullptr;
			uint32_t lineSize = 0;
			if (gs_stagesurface_map(c.stage[i], &data, &lineSize)) {
				++c.counts.maps;
				bool processed = false;
				{
					const StageMapping mapping(c.stage[i], c.counts);
					if (data)
						processed = processOrDrop(ref, data, width, height, lineSize,
									  c.snapshotOnPending);
				}
				if (data && c.snapshotOnPending) {
					// A request whose frame could not be processed is dropped with it: the
					// window keeps its picture until the user asks again.
					c.snapshotOnPending = false;
					f.snapshotRequested.store(false);
					if (processed)
						postSnapshotHandOff(ref);
				}
			}
		}
		c.lastConsumeNs = now;
	}

	if (!texture)
		return;

	ensureStageSurfaces(c, width, height);
	const int i = c.nextStage;
	if (!c.stage[i])
		return;
	gs_stage_texture(c.stage[i], texture);
	++c.counts.stagings;
	c.staged[i] = true;
	c.pendingStage = i;
	// The request seen at the start of this call may have been answered by the frame read
	// above; the frame staged now then goes to processing alone, not to the window again.
	if (requested && f.snapshotRequested.load())
		c.snapshotOnPending = true;
	c.nextStage = 1 - i;
}

void releaseCaptureResources(CaptureState &c)
{
	obs_enter_graphics();
	for (gs_stagesurf_t *&s : c.stage) {
		gs_stagesurface_destroy(s);
		s = nullptr;
	}
	gs_texrender_destroy(c.texrender);
	c.texrender = nullptr;
	c.staged[0] = c.staged[1] = false;
	c.stageWidth = c.stageHeight = 0;
	c.nextStage = 0;
	c.pendingStage = -1;
	c.snapshotOnPending = false;
	obs_leave_graphics();
}

} // namespace ostrelo

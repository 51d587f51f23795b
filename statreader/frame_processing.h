#pragma once

#include "common/rgba_crop.h"
#include "common/stat_reading.h"
#include "digits/learned_reader.h"
#include "plates/plates_reader.h"
#include "statreader/filter_state.h"
#include "statreader/update_fields.h"

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace ostrelo {

class StatReaders;

// A frame as capture hands it over: the mapped stage surface, valid only during the call.
struct FrameView {
	const uint8_t *data = nullptr;
	int32_t width = 0;
	int32_t height = 0;
	uint32_t lineSize = 0;
};

// The learned reader's reading of the last crop of each stat and of each end-card number. The
// network reads the same bytes the same way every time, so a crop byte for byte equal to the
// last one of its slot gets that reading again without running it: a screen that stands still
// (a menu, a loading screen, the end card) costs nothing after its first frame.
class LearnedMemo {
public:
	// The stats by index, then the end card's kills and placement.
	static constexpr size_t kSlots = size_t(kStatCount) + 2;
	static constexpr size_t kCardKills = size_t(kStatCount);
	static constexpr size_t kCardPlacement = size_t(kStatCount) + 1;

	LearnedReading read(size_t slot, const RgbaImage &crop, StatReaders &readers);

private:
	struct Slot {
		bool held = false;
		int32_t width = 0;
		int32_t height = 0;
		std::vector<uint8_t> pixels;
		LearnedReading reading;
	};
	std::array<Slot, kSlots> slots_;
};

// The readers processing calls. The filter uses the real digit and plates readers and the
// HUD classifier; tests put in readers that answer what the test needs.
class StatReaders {
public:
	virtual ~StatReaders() = default;
	virtual int32_t classify(const FrameView &frame) = 0;
	// A digit stat's crop; special: a Warzone counter that may be drawn in red.
	virtual StatReading readDigitStat(const RgbaImage &crop, std::string_view key, bool special) = 0;
	virtual StatReading readPlates(const RgbaImage &crop, const std::optional<PlatesOutline> &outline,
				       float angle) = 0;
	// A number on the end-of-match card (placement or kills).
	virtual StatReading readCardNumber(const RgbaImage &crop, std::string_view key) = 0;
	// The learned reader's opinion of a digit crop, which can veto or stand in for the
	// readings above (combineWithLearned). Readers without one read nothing here.
	virtual LearnedReading readLearned(const RgbaImage &crop);

	// Processing leaves out readings that cannot change what it does: every stat but the
	// counters on a frame the Warzone match gate drops, the counters after the one that makes
	// the gate drop it, and the learned reader on a crop it read before (learnedMemo). Readers
	// that want every reading anyway, to report on readings the gate drops or to check those
	// shortcuts against processing without them, answer true.
	virtual bool wantsEveryReading() const { return false; }

	// The learned readings these readers gave processing; valid for these readers only.
	LearnedMemo learnedMemo;
};

// What a processed frame asks of the world outside the graphics thread. The edge carries it
// out after releasing the state lock.
struct FrameEffects {
	bool saveNumbering = false;
	bool refreshProperties = false;
	std::optional<PendingSend> send;
	bool warnNotConfigured = false;
};

// Readings below this confidence count as no reading.
inline constexpr float kMinConfidence = 0.76f;

// One processed frame. pendingSiteGameNo is the game number the service reported since the
// last frame (0 for none); nowNs is os_gettime_ns() at processing time.
FrameEffects processFrame(StatReaderState &state, const FrameView &frame, uint64_t nowNs, int32_t pendingSiteGameNo,
			  StatReaders &readers);

// The service's game number taken over at the start of a frame: true when it changed the
// game number (tracking reset, numbering to be saved).
bool adoptSiteGameNumber(StatReaderState &state, int32_t siteGameNo, uint64_t nowNs);

// The value a confirmed stat carries in an update: plates in plates (tenths / 10), every
// other stat as an integer.
FieldValue fieldValueOf(int statIndex, int32_t trackerValue);

} // namespace ostrelo

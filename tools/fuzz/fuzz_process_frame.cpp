// Frame processing with the real readers on arbitrary frames and settings: regions anywhere
// (negative, huge, off the frame), any plates outline and angle (NaN included), either game,
// padded line sizes, a few frames in a row with the service's game number thrown in. The
// frame buffer is exactly as long as its line size says (to the sanitizer), so a read past it is
// caught.

#include "statreader/default_readers.h"
#include "statreader/frame_processing.h"
#include "tools/fuzz/digits_fuzz_input.h"

#include <cstring>
#include <map>
#include <string>

using namespace ostrelo;

namespace {

// The real readers, each answer kept for the rest of one execution. Every execution shows
// processing one frame three times (so that readings can confirm), and processing asks the
// readers about the same crops again: they answer from what they are given alone, so asking
// again would run exactly the code, and reach exactly the coverage, of the first time. Kept
// answers leave what processing sees and explores as it was, for a third of the reading.
class KeptAnswers final : public StatReaders {
public:
	explicit KeptAnswers(StatReaders &readers) : readers_(readers) {}

	int32_t classify(const FrameView &f) override
	{
		// The frame stays as it is through the execution: where it lies and its shape say which.
		std::string key;
		add(key, f.data);
		add(key, f.width);
		add(key, f.height);
		add(key, f.lineSize);
		return keep(classified_, key, [&] { return readers_.classify(f); });
	}

	StatReading readDigitStat(const RgbaImage &crop, std::string_view statKey, bool special) override
	{
		std::string key = keyOf(crop);
		key.append(statKey);
		add(key, special);
		return keep(digits_, key, [&] { return readers_.readDigitStat(crop, statKey, special); });
	}

	StatReading readPlates(const RgbaImage &crop, const std::optional<PlatesOutline> &outline, float angle) override
	{
		std::string key = keyOf(crop);
		add(key, outline.has_value());
		if (outline)
			for (const PointF &p : *outline) {
				add(key, p.x);
				add(key, p.y);
			}
		add(key, angle);
		return keep(plates_, key, [&] { return readers_.readPlates(crop, outline, angle); });
	}

	StatReading readCardNumber(const RgbaImage &crop, std::string_view statKey) override
	{
		std::string key = keyOf(crop);
		key.append(statKey);
		return keep(cards_, key, [&] { return readers_.readCardNumber(crop, statKey); });
	}

	LearnedReading readLearned(const RgbaImage &crop) override
	{
		return keep(learned_, keyOf(crop), [&] { return readers_.readLearned(crop); });
	}

private:
	// Values go into keys by their bytes: a NaN angle is the same key as itself.
	template <class T>
	static void add(std::string &key, const T &v)
	{
		key.append(reinterpret_cast<const char *>(&v), sizeof v);
	}

	static std::string keyOf(const RgbaImage &crop)
	{
		std::string key;
		add(key, crop.width);
		add(key, crop.height);
		key.append(crop.pixels.begin(), crop.pixels.end());
		key.push_back('|'); // the arguments that follow cannot pass for pixels
		return key;
	}

	template <class T, class Read>
	static T keep(std::map<std::string, T> &answers, const std::string &key, Read &&read)
	{
		const auto it = answers.find(key);
		if (it != answers.end())
			return it->second;
		return answers.emplace(key, read()).first->second;
	}

	StatReaders &readers_;
	std::map<std::string, int32_t> classified_;
	std::map<std::string, StatReading> digits_, plates_, cards_;
	std::map<std::string, LearnedReading> learned_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	fuzz::Input in(data, size);
	static const std::unique_ptr<StatReaders> readers = makeDefaultReaders();

	FilterSettings s;
	const uint8_t flags = in.byte();
	s.game = (flags & 1) ? kGameMw4 : kGameWarzone;
	s.useWzPreset = flags & 2;
	s.send = flags & 4;
	s.token = (flags & 8) ? "tok" : "";
	s.eventId = in.byte();
	s.gameNo = in.int32();
	s.gameNoEvent = s.eventId;
	s.matchLive = flags & 16;
	s.sawFullLobby = flags & 32;
	for (auto &r : s.regions) {
		// Mostly small regions inside small frames; sometimes any 32-bit value.
		const bool wild = (in.byte() & 7) == 7;
		for (auto &v : r)
			v = wild ? in.int32() : in.byte() % 160;
	}
	s.platesQuadN = in.byte() % 6;
	// Outline corners mostly near the frame's top-left corner; one outline in eight anywhere in
	// 16 bits. Far corners make straightened bars of millions of pixels, a second and more per
	// read under the sanitizers: drawn as often as near ones, those few took nearly all of
	// the run. The rare ones still reach every corner.
	const bool wildOutline = (in.byte() & 7) == 7;
	for (size_t i = 0; i < 4; ++i) {
		s.qx[i] = wildOutline ? int16_t(in.word()) : int32_t(in.byte()) - 32;
		s.qy[i] = wildOutline ? int16_t(in.word()) : int32_t(in.byte()) - 32;
	}
	double angle;
	const uint32_t a = uint32_t(in.int32());
	const uint64_t bits = (uint64_t(a) << 32) | uint32_t(in.int32());
	std::memcpy(&angle, &bits, sizeof angle);
	s.platesAngle = angle;

	const int32_t w = (flags & 64) ? 16 + in.word() % 625 : 16 + in.byte() % 185;
	const int32_t h = (flags & 64) ? 16 + in.word() % 345 : 16 + in.byte() % 105;
	const uint32_t lineSize = uint32_t(w) * 4 + (in.byte() & 0x1f);
	const size_t bytes = size_t(lineSize) * size_t(h);
	static fuzz::FrameBuffer buffer;
	uint8_t *const frame = buffer.take(bytes);
	const size_t n = in.left();
	const uint8_t *px = in.rest();
	fuzz::repeatInto(frame, bytes, px, n);

	StatReaderState state;
	uint64_t now = 1000'000'000'000ULL;
	applySettings(state, s, now);
	const FrameView view{frame, w, h, lineSize};
	KeptAnswers answers(*readers);
	for (int k = 0; k < 3; ++k) {
		now += 200'000'000ULL;
		const int32_t site = n > 0 ? int32_t(px[k % n]) * 5 - 10 : 0;
		const FrameEffects fx = processFrame(state, view, now, site, answers);
		if (state.gameNo < 1 || state.gameNo > 999)
			__builtin_trap();
		if (fx.send && (fx.send->eventId <= 0 || fx.send->token.empty()))
			__builtin_trap();
	}
	return 0;
}

#include "statreader/default_readers.h"

#include "digits/digit_reader.h"
#include "digits/learned_reader.h"
#include "plates/plates_reader.h"
#include "statreader/hud_classifier.h"

namespace ostrelo {

namespace {

class DefaultReaders final : public StatReaders {
public:
	explicit DefaultReaders(bool learned) : learned_(learned) {}

	int32_t classify(const FrameView &f) override
	{
		return classifyHudState(f.data, f.width, f.height, f.lineSize);
	}

	StatReading readDigitStat(const RgbaImage &crop, std::string_view, bool special) override
	{
		const RgbaCrop view = crop.view();
		StatReading r;
		// Counters that turn red (few players left, a kill streak) read better from their
		// redness than from grey.
		if (special && countRedPixels(view) >= 6)
			r = readRedDigits(view);
		if (!r.ok)
			r = readDigits(toGray(view));
		if (!r.ok && special)
			r = readRedDigits(view);
		return r;
	}

	StatReading readPlates(const RgbaImage &crop, const std::optional<PlatesOutline> &outline, float angle) override
	{
		std::optional<std::array<PointF, 4>> quad;
		if (outline) {
			quad.emplace();
			for (size_t i = 0; i < 4; ++i)
				(*quad)[i] = PointF{(*outline)[i].x, (*outline)[i].y};
		}
		return ostrelo::readPlates(crop.view(), quad, angle);
	}

	StatReading readCardNumber(const RgbaImage &crop, std::string_view) override
	{
		return readDigitsMultiScale(toMaxChannel(crop.view()));
	}

	LearnedReading readLearned(const RgbaImage &crop) override
	{
		return learned_ ? ostrelo::readLearned(crop.view()) : LearnedReading{};
	}

private:
	bool learned_;
};

} // namespace

std::unique_ptr<StatReaders> makeDefaultReaders(bool learned)
{
	return std::make_unique<DefaultReaders>(learned);
}

} // namespace ostrelo

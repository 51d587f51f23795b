#pragma once

#include "statreader/frame_processing.h"

#include <memory>

namespace ostrelo {

// The readers the filter uses on real frames: the HUD classifier, the digit reader with the
// red-counter path, the plates reader, the end-card reader and the learned reader. Without
// `learned` the learned reader reads nothing (measurements of the template readers alone).
std::unique_ptr<StatReaders> makeDefaultReaders(bool learned = true);

// The default readers behind a class of one's own: tools and tests that watch or record what
// processing asks override the calls they watch and pass the rest on.
class ForwardingReaders : public StatReaders {
public:
	explicit ForwardingReaders(bool learned = true) : inner_(makeDefaultReaders(learned)) {}

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
	LearnedReading readLearned(const RgbaImage &crop) override { return inner_->readLearned(crop); }

private:
	std::unique_ptr<StatReaders> inner_;
};

} // namespace ostrelo

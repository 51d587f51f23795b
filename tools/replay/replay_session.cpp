#include "tools/replay/replay_session.h"

#include <cstring>

namespace ostrelo::replay {

const std::vector<std::string> &observedKeys()
{
	static const std::vector<std::string> keys = [] {
		std::vector<std::string> k;
		for (const StatDef &def : kStatTable)
			k.emplace_back(def.key);
		k.emplace_back("placement");
		k.emplace_back("game_no");
		return k;
	}();
	return keys;
}

ReplaySession::ReplaySession(StatReaderState initial, std::unique_ptr<StatReaders> readers)
    : state_(std::move(initial)), readers_(std::move(readers))
{
}

Observed ReplaySession::observed() const
{
	Observed o;
	for (int i = 0; i < kStatCount; ++i) {
		const StatTracker &t = state_.trackers[size_t(i)];
		if (t.valid && statApplies(i, state_.config.game))
			o[kStatTable[size_t(i)].key] = i == kStatPlates ? t.value / 10.0 : t.value; // plates: tenths
	}
	if (state_.final && state_.cardPlacement.valid)
		o["placement"] = state_.cardPlacement.value;
	o["game_no"] = state_.gameNo;
	return o;
}

std::optional<ProcessedFrame> ReplaySession::render(const FrameView &frame, int64_t frameIndex, uint64_t atNs)
{
	const uint64_t now = kClockBaseNs + atNs;
	const CaptureCadence::Step step = cadence_.onRender(frameIndex, now);

	std::optional<ProcessedFrame> out;
	// A staged frame of another size belongs to the old input and is dropped, as on the GPU.
	if (step.processed && stagedWidth_ == frame.width && stagedHeight_ == frame.height) {
		const Observed before = observed();
		ProcessedFrame p;
		p.frame = *step.processed;
		p.atNs = atNs;
		p.hudBefore = state_.hudState;
		const FrameView staged{staged_.data(), stagedWidth_, stagedHeight_, uint32_t(stagedWidth_) * 4};
		const int32_t site = pendingSiteGameNo_;
		pendingSiteGameNo_ = 0;
		p.effects = processFrame(state_, staged, now, site, *readers_);
		p.hudAfter = state_.hudState;
		const Observed after = observed();
		for (const std::string &key : observedKeys()) {
			const auto b = before.find(key);
			const auto a = after.find(key);
			const std::optional<double> vb = b == before.end() ? std::nullopt : std::optional(b->second);
			const std::optional<double> va = a == after.end() ? std::nullopt : std::optional(a->second);
			if (vb != va)
				p.changes.push_back(ValueChange{key, vb, va});
		}
		++processedCount_;
		out = std::move(p);
	}

	if (step.stage) {
		const size_t rowBytes = size_t(frame.width) * 4;
		staged_.resize(rowBytes * size_t(frame.height));
		for (int32_t y = 0; y < frame.height; ++y)
			std::memcpy(staged_.data() + rowBytes * size_t(y),
				    frame.data + size_t(frame.lineSize) * size_t(y), rowBytes);
		stagedWidth_ = frame.width;
		stagedHeight_ = frame.height;
	}
	return out;
}

} // namespace ostrelo::replay

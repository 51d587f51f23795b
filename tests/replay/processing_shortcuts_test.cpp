// Frame processing leaves out readings that cannot change its outcome (the stats of a frame
// the match gate drops, the learned reader on a crop it read before). Every scripted match,
// replayed once with those shortcuts and once reading everything, must come out the same on
// every processed frame: HUD state, confirmed values, updates, match state.

#include "statreader/default_readers.h"
#include "tools/replay/capture_cadence.h"
#include "tools/replay/match_script.h"
#include "tools/replay/replay_session.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cstdio>

using namespace ostrelo;
using namespace ostrelo::replay;

namespace {

// The filter's readers, counting how often the learned reader runs.
class CountingReaders final : public ForwardingReaders {
public:
	CountingReaders(bool everyReading, int64_t &learnedReads) : every_(everyReading), learnedReads_(learnedReads) {}

	LearnedReading readLearned(const RgbaImage &crop) override
	{
		++learnedReads_;
		return ForwardingReaders::readLearned(crop);
	}
	bool wantsEveryReading() const override { return every_; }

private:
	bool every_;
	int64_t &learnedReads_;
};

std::string outcomeOf(const ProcessedFrame &p, const StatReaderState &st)
{
	std::string s = "hud " + std::to_string(p.hudAfter);
	for (const ValueChange &c : p.changes)
		s += " " + c.key + ":" + (c.before ? std::to_string(*c.before) : "-") + "->" +
		     (c.after ? std::to_string(*c.after) : "-");
	const FrameEffects &fx = p.effects;
	s += " save " + std::to_string(fx.saveNumbering) + " refresh " + std::to_string(fx.refreshProperties);
	if (fx.send) {
		s += " send " + std::to_string(fx.send->gameNo);
		for (const auto &[key, v] : fx.send->fields)
			s += " " + key + "=" + (v.isDouble ? std::to_string(v.d) : std::to_string(v.i));
	}
	for (const StatTracker &t : st.trackers)
		s += " " + std::to_string(t.valid) + ":" + std::to_string(t.value) + ":" + std::to_string(t.candidate) +
		     ":" + std::to_string(t.count);
	s += " card " + std::to_string(st.cardKills.value) + "/" + std::to_string(st.cardKills.count) + " " +
	     std::to_string(st.cardPlacement.value) + "/" + std::to_string(st.cardPlacement.count);
	s += " live " + std::to_string(st.matchLive) + " lobby " + std::to_string(st.sawFullLobby) + " final " +
	     std::to_string(st.final) + " lobbies " + std::to_string(st.fullLobbiesAfterFinal);
	return s;
}

} // namespace

TEST(ProcessingShortcuts, ScriptedMatchesComeOutAsWithEveryReading)
{
	qputenv("QT_QPA_PLATFORM", "offscreen");
	int argc = 1;
	char name[] = "replay_processing_shortcuts_test";
	char *argv[] = {name, nullptr};
	QGuiApplication app(argc, argv);

	int64_t totalWith = 0, totalWithout = 0, totalFrames = 0;
	for (const QString &match : matchNames()) {
		SCOPED_TRACE(match.toStdString());
		const std::vector<MatchStep> steps = matchScript(match);
		ASSERT_FALSE(steps.empty()) << "missing face " << matchFaceFile(match).toStdString();
		FilterSettings settings;
		settings.game = kGameWarzone;
		settings.eventId = 1;
		settings.token = "shortcuts";
		StatReaderState start;
		applySettings(start, settings, ReplaySession::kClockBaseNs);
		int64_t learnedWith = 0, learnedWithout = 0;
		ReplaySession fewer(start, std::make_unique<CountingReaders>(false, learnedWith));
		ReplaySession every(start, std::make_unique<CountingReaders>(true, learnedWithout));

		int64_t frame = 0, processed = 0;
		for (const MatchStep &step : steps) {
			const QImage image =
				hudframes::renderHudFrame(step.frame).convertToFormat(QImage::Format_RGBA8888);
			const FrameView view{image.constBits(), image.width(), image.height(),
					     uint32_t(image.bytesPerLine())};
			const uint64_t end = renderFrameNs(frame, 30.0) + uint64_t(step.seconds * 1e9);
			for (; renderFrameNs(frame, 30.0) < end; ++frame) {
				const uint64_t at = renderFrameNs(frame, 30.0);
				const std::optional<ProcessedFrame> a = fewer.render(view, frame, at);
				const std::optional<ProcessedFrame> b = every.render(view, frame, at);
				ASSERT_EQ(a.has_value(), b.has_value()) << "frame " << frame;
				if (!a)
					continue;
				ASSERT_EQ(outcomeOf(*a, fewer.state()), outcomeOf(*b, every.state()))
					<< "frame " << frame;
				++processed;
			}
		}
		EXPECT_GT(processed, 0);
		EXPECT_LE(learnedWith, learnedWithout);
		std::printf("%s: %lld frames processed, learned reads %lld with the shortcuts, %lld without\n",
			    qPrintable(match), static_cast<long long>(processed), static_cast<long long>(learnedWith),
			    static_cast<long long>(learnedWithout));
		totalWith += learnedWith;
		totalWithout += learnedWithout;
		totalFrames += processed;
	}
	std::printf("all matches: %lld frames, learned reads %lld with the shortcuts, %lld without\n",
		    static_cast<long long>(totalFrames), static_cast<long long>(totalWith),
		    static_cast<long long>(totalWithout));
	EXPECT_LT(totalWith, totalWithout);
}

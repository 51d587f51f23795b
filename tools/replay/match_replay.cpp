#include "tools/replay/match_replay.h"

#include "digits/learned_rules.h"
#include "statreader/default_readers.h"
#include "statreader/hud_classifier.h"
#include "statreader/stat_table.h"
#include "tools/replay/expectations.h"
#include "tools/replay/replay_session.h"

#include <QImage>

#include <cmath>
#include <cstdio>

namespace ostrelo::replay {

namespace {

using hudframes::Screen;

// The default readers, remembering what each stat read on the frame being processed: the
// template readers' reading and, where processing asked for it, the learned reader's opinion
// of the same crop (asked right after the reading it judges). The report counts the right
// readings the gate drops, so processing is asked to take every reading.
class RecordingReaders final : public ForwardingReaders {
public:
	bool wantsEveryReading() const override { return true; }

	StatReading readDigitStat(const RgbaImage &crop, std::string_view key, bool special) override
	{
		return record(key, ForwardingReaders::readDigitStat(crop, key, special));
	}
	StatReading readPlates(const RgbaImage &crop, const std::optional<PlatesOutline> &outline, float angle) override
	{
		return record("plates", ForwardingReaders::readPlates(crop, outline, angle));
	}
	StatReading readCardNumber(const RgbaImage &crop, std::string_view key) override
	{
		lastKey_.clear();
		return ForwardingReaders::readCardNumber(crop, key);
	}
	LearnedReading readLearned(const RgbaImage &crop) override
	{
		LearnedReading l = ForwardingReaders::readLearned(crop);
		if (!lastKey_.empty())
			learned_[lastKey_] = l;
		return l;
	}

	void clear()
	{
		last_.clear();
		learned_.clear();
		lastKey_.clear();
	}
	// The value processing accepts from the last reading of a stat, if it accepts one.
	std::optional<double> accepted(int stat) const
	{
		const auto it = last_.find(kStatTable[size_t(stat)].key);
		if (it == last_.end())
			return std::nullopt;
		const StatReading &r = it->second;
		if (stat == kStatPlates)
			return !r.ok                                          ? std::nullopt
			       : r.exactValue >= 0.f && r.exactValue <= 3.05f ? std::optional(double(r.exactValue))
									      : std::nullopt;
		const StatDef &def = kStatTable[size_t(stat)];
		const StatReading floored = r.confidence < kMinConfidence ? StatReading{} : r;
		const auto learned = learned_.find(def.key);
		const StatReading c =
			learned == learned_.end() ? floored : combineWithLearned(floored, learned->second);
		if (!c.ok || c.value < def.minValue || c.value > def.maxValue ||
		    (stat == kStatPlayersLeft && c.value > 155))
			return std::nullopt;
		return double(c.value);
	}

private:
	StatReading record(std::string_view key, StatReading r)
	{
		lastKey_ = std::string(key);
		last_[lastKey_] = r;
		return r;
	}

	std::map<std::string, StatReading> last_;
	std::map<std::string, LearnedReading> learned_;
	std::string lastKey_;
};

bool isEndCard(int32_t hud)
{
	return hud == kHudPlacementCard || hud == kHudAfterAction;
}

// Whether the Warzone match gate lets this frame's readings through, from the readings and
// the match state before the frame.
bool gatePasses(const RecordingReaders &r, bool endCard, bool liveBefore, bool lobbyBefore, bool finalBefore)
{
	const auto k = r.accepted(kStatKills), p = r.accepted(kStatPlayersLeft), t = r.accepted(kStatTeamsLeft);
	const bool plausible = k && p && t && *k >= 0 && *k <= 999 && *p >= 1 && *p <= 155 && *t >= 0 && *t <= *p;
	if (!plausible)
		return false;
	const bool lobby = lobbyBefore || *p >= 120;
	return !endCard && !finalBefore && (*p >= 2 || *t == *p) && (liveBefore || *p >= 20 || lobby);
}

QString describe(const MatchStep &s)
{
	QString ground = hudframes::groundName(s.frame.ground);
	if (s.frame.haze > 0)
		ground += QStringLiteral(" haze %1").arg(s.frame.haze, 0, 'f', 2);
	static const char *const screens[] = {"in-match", "downed", "placement card", "lobby"};
	return QStringLiteral("%1 on %2").arg(screens[int(s.frame.screen)], ground);
}

} // namespace

MatchReport replayMatch(const QString &name, const std::vector<MatchStep> &steps, double fps, double latency)
{
	MatchReport report;
	report.name = name;
	std::vector<QImage> images;
	std::vector<uint64_t> startNs;
	QString expectText;
	double at = 0;
	for (const MatchStep &s : steps) {
		images.push_back(hudframes::renderHudFrame(s.frame).convertToFormat(QImage::Format_RGBA8888));
		startNs.push_back(uint64_t(std::llround(at * 1e9)));
		expectText += QStringLiteral("%1 %2\n").arg(at, 0, 'f', 3).arg(s.expect);
		at += s.seconds;
	}
	const uint64_t endNs = uint64_t(std::llround(at * 1e9));
	const QByteArray expectBytes = expectText.toUtf8();
	const ExpectFile expect =
		parseExpectations(std::string_view(expectBytes.constData(), size_t(expectBytes.size())));
	if (!expect.error.empty() || steps.empty()) {
		report.wrongs.push_back("the script does not parse: " + expect.error);
		++report.wrong;
		return report;
	}
	ExpectationCheck check(
		expect.entries, [](int64_t) { return uint64_t(0); }, uint64_t(std::llround(latency * 1e9)));

	FilterSettings settings;
	settings.game = kGameWarzone;
	settings.useWzPreset = true;
	settings.eventId = 1;
	settings.token = "replay";
	settings.gameNo = 1;
	settings.gameNoEvent = 1;
	StatReaderState state;
	applySettings(state, settings, ReplaySession::kClockBaseNs);
	auto readers = std::make_unique<RecordingReaders>();
	RecordingReaders &recorder = *readers;
	ReplaySession session(std::move(state), std::move(readers));

	const auto stepAt = [&](uint64_t ns) {
		size_t i = 0;
		while (i + 1 < startNs.size() && startNs[i + 1] <= ns)
			++i;
		return i;
	};
	std::map<std::pair<size_t, int32_t>, int> wrongStates; // (step, state) -> frames
	uint64_t lastNs = 0;
	for (int64_t n = 0;; ++n) {
		const uint64_t t = renderFrameNs(n, fps);
		if (t >= endNs)
			break;
		lastNs = t;
		const QImage &img = images[stepAt(t)];
		const FrameView view{img.constBits(), img.width(), img.height(), uint32_t(img.bytesPerLine())};
		const StatReaderState &st = session.state();
		const bool liveBefore = st.matchLive, lobbyBefore = st.sawFullLobby, finalBefore = st.final;
		recorder.clear();
		const std::optional<ProcessedFrame> p = session.render(view, n, t);
		if (!p)
			continue;
		++report.processed;
		const size_t shown = stepAt(renderFrameNs(p->frame, fps));
		const hudframes::HudFrame &f = steps[shown].frame;
		const bool card = isEndCard(p->hudAfter);
		for (const ValueChange &c : p->changes)
			if (c.key == "placement" && c.after && f.screen != Screen::PlacementCard)
				++report.finalFromOtherFrame;
		if (f.screen == Screen::PlacementCard) {
			++report.cardFrames;
			report.cardFramesAsCard += card ? 1 : 0;
			if (!card)
				++wrongStates[{shown, p->hudAfter}];
		} else if (f.screen == Screen::InMatch || f.screen == Screen::Downed) {
			++report.matchFrames;
			if (card) {
				++report.matchFramesAsCard;
				++wrongStates[{shown, p->hudAfter}];
			}
			const bool passes = gatePasses(recorder, card, liveBefore, lobbyBefore, finalBefore);
			report.gatedFrames += passes ? 0 : 1;
			const std::pair<int, double> truths[] = {{kStatKills, f.kills},
								 {kStatPlayersLeft, f.playersLeft},
								 {kStatTeamsLeft, f.teamsLeft},
								 {kStatPlates, f.plates}};
			for (const auto &[stat, truth] : truths) {
				if (stat == kStatPlates && f.screen == Screen::Downed)
					continue; // the tinted bar shows no count anyone wrote down
				const auto v = recorder.accepted(stat);
				if (!v || std::fabs(*v - truth) > 1e-3)
					continue;
				MatchReport::Reads &r = report.reads[kStatTable[size_t(stat)].key];
				++r.right;
				r.blocked += passes ? 0 : 1;
				if (stat == kStatPlates && !passes)
					++report.gatedFramesWithRightPlates;
			}
		}
		check.observe(p->atNs, session.observed());
	}
	check.finish(lastNs + renderFrameNs(1, fps));
	for (const auto &finding : check.findings()) {
		switch (finding.kind) {
		case ExpectationCheck::Finding::Matched:
			++report.matched;
			break;
		case ExpectationCheck::Finding::Missed:
			++report.missed;
			break;
		case ExpectationCheck::Finding::Wrong: {
			++report.wrong;
			char line[160];
			std::snprintf(line, sizeof line, "%.3fs %s = %g, the footage shows %g",
				      double(finding.atNs) / 1e9, finding.key.c_str(), finding.got, finding.expected);
			report.wrongs.emplace_back(line);
			break;
		}
		}
	}
	for (const auto &[key, frames] : wrongStates) {
		const MatchStep &s = steps[key.first];
		report.misclassified.push_back(QStringLiteral("step %1 (%2): %3 processed frames as %4")
						       .arg(key.first)
						       .arg(describe(s))
						       .arg(frames)
						       .arg(hudStateName(key.second))
						       .toStdString());
	}
	return report;
}

std::string formatReport(const MatchReport &r)
{
	QString out = QStringLiteral("%1: %2 matched, %3 missed, %4 wrong; %5 frames processed\n")
			      .arg(r.name)
			      .arg(r.matched)
			      .arg(r.missed)
			      .arg(r.wrong)
			      .arg(r.processed);
	out += QStringLiteral("  classifier: %1 of %2 in-match frames as an end card, %3 of %4 card frames as one\n")
		       .arg(r.matchFramesAsCard)
		       .arg(r.matchFrames)
		       .arg(r.cardFramesAsCard)
		       .arg(r.cardFrames);
	out += QStringLiteral("  gate: dropped %1 of %2 in-match frames (%3 of them with the plates read right)")
		       .arg(r.gatedFrames)
		       .arg(r.matchFrames)
		       .arg(r.gatedFramesWithRightPlates);
	for (const auto &[key, reads] : r.reads)
		out += QStringLiteral("; %1 %2 of %3 right readings dropped")
			       .arg(QString::fromStdString(key))
			       .arg(reads.blocked)
			       .arg(reads.right);
	out += '\n';
	for (const std::string &w : r.wrongs)
		out += QStringLiteral("  wrong: %1\n").arg(QString::fromStdString(w));
	for (const std::string &m : r.misclassified)
		out += QStringLiteral("  classified: %1\n").arg(QString::fromStdString(m));
	return out.toStdString();
}

} // namespace ostrelo::replay

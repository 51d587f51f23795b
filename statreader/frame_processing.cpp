#include "statreader/frame_processing.h"

#include "digits/learned_rules.h"
#include "statreader/hud_classifier.h"
#include "statreader/presets.h"

#include <algorithm>
#include <cmath>

namespace ostrelo {

namespace {

constexpr uint64_t kHeartbeatNs = 10'000'000'000ULL;
constexpr uint64_t kMinGameLengthNs = 300'000'000'000ULL;

struct StatRead {
	bool attempted = false;
	bool ok = false;
	int32_t value = 0;
};

// Clips [x, x + w) x [y, y + h) to the frame in 64 bits; false when too small to read.
bool clipRegion(const StatRegion &r, const FrameView &f, int32_t &x0, int32_t &y0, int32_t &x1, int32_t &y1)
{
	if (r.w < 4 || r.h < 6)
		return false;
	x0 = std::max(r.x, 0);
	y0 = std::max(r.y, 0);
	x1 = int32_t(std::min<int64_t>(int64_t(r.x) + r.w, f.width));
	y1 = int32_t(std::min<int64_t>(int64_t(r.y) + r.h, f.height));
	return x1 - x0 >= 4 && y1 - y0 >= 6;
}

RgbaImage cropOf(const FrameView &f, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
	return copyRect(f.data, f.lineSize, x0, y0, x1, y1);
}

// The template readers' reading after the confidence floor, with the learned reader's second
// opinion where it can change what the tracker does with it. A reading equal to the confirmed
// value leaves the tracker as a failed read would (the count restarts either way), so the
// learned reader is not asked then: while the numbers stand still it costs nothing.
StatReading withSecondOpinion(StatReading r, const RgbaImage &crop, const StatTracker &tracker, StatReaders &readers,
			      size_t memoSlot)
{
	if (r.confidence < kMinConfidence)
		r = StatReading{};
	if (r.ok && tracker.valid && r.value == tracker.value)
		return r;
	return combineWithLearned(r, readers.wantsEveryReading() ? readers.readLearned(crop)
								 : readers.learnedMemo.read(memoSlot, crop, readers));
}

// A stat whose region fits the frame is attempted: its tracker hears of the frame, with or
// without a reading.
StatRead attemptedWithoutReading(const StatReaderState &st, int i, const FrameView &f)
{
	StatRead out;
	int32_t x0, y0, x1, y1;
	out.attempted = clipRegion(st.config.regions[size_t(i)], f, x0, y0, x1, y1);
	return out;
}

StatRead readDigitStat(const StatReaderState &st, int i, const FrameView &f, StatReaders &readers, bool isWarzone)
{
	StatRead out;
	int32_t x0, y0, x1, y1;
	if (!clipRegion(st.config.regions[size_t(i)], f, x0, y0, x1, y1))
		return out;
	const StatDef &def = kStatTable[size_t(i)];
	const bool special = isWarzone && (i == kStatPlayersLeft || i == kStatTeamsLeft || i == kStatKills);
	const RgbaImage crop = cropOf(f, x0, y0, x1, y1);
	const StatReading r = withSecondOpinion(readers.readDigitStat(crop, def.key, special), crop,
						st.trackers[size_t(i)], readers, size_t(i));
	out.attempted = true;
	out.ok =
		r.ok && r.value >= def.minValue && r.value <= def.maxValue && (i != kStatPlayersLeft || r.value <= 155);
	out.value = r.value;
	return out;
}

StatRead readPlatesStat(const StatReaderState &st, const FrameView &f, StatReaders &readers)
{
	StatRead out;
	int32_t x0, y0, x1, y1;
	if (!clipRegion(st.config.regions[kStatPlates], f, x0, y0, x1, y1))
		return out;
	const PlatesQuad &q = st.config.plates;
	StatReading r;
	bool read = false;
	if (q.n == 4) {
		// Read the outline's bounds (widened by 2 px) with the corners relative to them.
		const auto [minX, maxX] = std::minmax_element(q.qx.begin(), q.qx.end());
		const auto [minY, maxY] = std::minmax_element(q.qy.begin(), q.qy.end());
		const int32_t bx0 = int32_t(std::max<int64_t>(int64_t(*minX) - 2, 0));
		const int32_t by0 = int32_t(std::max<int64_t>(int64_t(*minY) - 2, 0));
		const int32_t bx1 = int32_t(std::min<int64_t>(int64_t(*maxX) + 2, f.width));
		const int32_t by1 = int32_t(std::min<int64_t>(int64_t(*maxY) + 2, f.height));
		if (bx1 - bx0 >= 12 && by1 - by0 >= 8) {
			PlatesOutline outline;
			for (size_t c = 0; c < 4; ++c)
				outline[c] = PointF{float(q.qx[c] - bx0), float(q.qy[c] - by0)};
			r = readers.readPlates(cropOf(f, bx0, by0, bx1, by1), outline, 0.f);
			read = true;
		}
	}
	if (!read)
		r = readers.readPlates(cropOf(f, x0, y0, x1, y1), std::nullopt, float(q.angle));
	out.attempted = true;
	out.ok = r.ok && r.exactValue >= 0.f && r.exactValue <= 3.05f;
	// Tenths of a plate: 2.5 plates are tracked as 25.
	out.value = out.ok ? int32_t(std::lround(double(r.exactValue) * 10.0)) : 0;
	return out;
}

// One number of the end card: its table row converted for the frame, read from the
// brightest channel; no reading when the row does not fit.
StatReading readCardRect(const FrameView &f, std::string_view table, std::string_view key, const StatTracker &tracker,
			 StatReaders &readers, size_t memoSlot)
{
	const auto row = cardTableRow(table, key);
	if (!row)
		return {};
	const auto rect = toPixelRect(*row, f.width, f.height);
	if (!rect)
		return {};
	const RgbaImage crop = cropOf(f, rect->x, rect->y, rect->x + rect->w, rect->y + rect->h);
	return withSecondOpinion(readers.readCardNumber(crop, key), crop, tracker, readers, memoSlot);
}

// Frames of counters showing a full lobby after the final result that start the next game.
constexpr int32_t kFullLobbiesForNextGame = 2;

bool isCounter(int i)
{
	return i == kStatKills || i == kStatPlayersLeft || i == kStatTeamsLeft;
}

// What the Warzone match gate makes of the three counters' readings.
struct GateVerdict {
	bool plausible = false; // all three read and consistent
	bool fullLobby = false; // plausible, with 120 players or more
	bool keeps = false;     // the frame's readings go on to the trackers
};

GateVerdict judgeGate(const StatReaderState &st, const std::array<StatRead, kStatCount> &reads, bool endCard)
{
	const StatRead &kr = reads[kStatKills];
	const StatRead &pr = reads[kStatPlayersLeft];
	const StatRead &tr = reads[kStatTeamsLeft];
	const int32_t k = kr.ok ? kr.value : 0;
	const int32_t p = pr.ok ? pr.value : 0;
	const int32_t t = tr.ok ? tr.value : 0;
	GateVerdict v;
	v.plausible = kr.ok && pr.ok && tr.ok && k >= 0 && k <= 999 && p >= 1 && p <= 155 && t >= 0 && t <= p;
	v.fullLobby = v.plausible && p >= 120;
	v.keeps = !endCard && !st.final && v.plausible && (p >= 2 || t == p) &&
		  (st.matchLive || p >= 20 || st.sawFullLobby || v.fullLobby);
	return v;
}

// Whether the counters not read yet can still make the gate do anything but drop the frame
// and forget any full lobbies counted after the final result, given those read so far
// (absent: not read yet; each one read was accepted). When they cannot, they need no reading.
bool gateUndecided(const StatReaderState &st, bool endCard, std::optional<int32_t> k, std::optional<int32_t> p,
		   std::optional<int32_t> t)
{
	if ((k && (*k < 0 || *k > 999)) || (p && (*p < 1 || *p > 155)) || (t && *t < 0) || (p && t && *t > *p))
		return false; // never plausible
	// A full lobby is remembered for the game, and after the final result counted towards the
	// next one.
	if ((!p || *p >= 120) && (!st.sawFullLobby || (st.final && !endCard)))
		return true;
	return !endCard && !st.final &&
	       (!p || ((*p >= 2 || !t || *t == *p) && (st.matchLive || *p >= 20 || st.sawFullLobby)));
}

// Warzone's stats in the order that settles the gate soonest. The counters decide whether the
// gate keeps anything of the frame, so they come first, one at a time, and reading stops as
// soon as the gate's verdict is certain: a frame without counters (a menu, a loading screen,
// the killcam) costs one failed reading. The other stats are read only when the gate keeps the
// frame. A stat left unread is attempted without a reading, which is what the gate leaves of
// every reading of a frame it drops.
void readWarzoneStats(const StatReaderState &st, const FrameView &f, StatReaders &readers, bool endCard,
		      std::array<StatRead, kStatCount> &reads)
{
	const std::string_view game = st.config.game;
	std::optional<int32_t> known[kStatCount];
	bool open = true;
	for (const int i : {kStatPlayersLeft, kStatTeamsLeft, kStatKills}) {
		if (!statApplies(i, game))
			continue;
		open = open &&
		       gateUndecided(st, endCard, known[kStatKills], known[kStatPlayersLeft], known[kStatTeamsLeft]);
		reads[size_t(i)] = open ? readDigitStat(st, i, f, readers, true) : attemptedWithoutReading(st, i, f);
		if (open && !reads[size_t(i)].ok)
			open = false; // the triple can no longer be plausible
		known[i] = reads[size_t(i)].value;
	}
	const bool keeps = judgeGate(st, reads, endCard).keeps;
	for (int i = 0; i < kStatCount; ++i) {
		if (isCounter(i) || !statApplies(i, game))
			continue;
		if (!keeps)
			reads[size_t(i)] = attemptedWithoutReading(st, i, f);
		else
			reads[size_t(i)] = i == kStatPlates ? readPlatesStat(st, f, readers)
							    : readDigitStat(st, i, f, readers, true);
	}
}

// Returns true when the counters show that the next game has begun after the final result.
bool gateWarzoneMatch(StatReaderState &st, std::array<StatRead, kStatCount> &reads, bool endCard, FrameEffects &fx)
{
	const GateVerdict v = judgeGate(st, reads, endCard);
	const bool liveBefore = st.matchLive;
	const bool lobbyBefore = st.sawFullLobby;
	if (v.fullLobby)
		st.sawFullLobby = true;
	if (v.keeps)
		st.matchLive = true;
	else
		for (StatRead &r : reads)
			r.ok = false;
	if (st.matchLive != liveBefore || st.sawFullLobby != lobbyBefore)
		fx.saveNumbering = true;

	// After the final result the gate drops every reading, so the next game can only begin
	// through the HUD state; a HUD the classifier does not know would lose the whole next
	// match. A full lobby on the counters, a few frames running and off the end card, is a
	// new game as surely as the in-match HUD is.
	if (st.final && !endCard && v.fullLobby)
		++st.fullLobbiesAfterFinal;
	else
		st.fullLobbiesAfterFinal = 0;
	return st.fullLobbiesAfterFinal >= kFullLobbiesForNextGame;
}

} // namespace

LearnedReading StatReaders::readLearned(const RgbaImage &)
{
	return {};
}

LearnedReading LearnedMemo::read(size_t slot, const RgbaImage &crop, StatReaders &readers)
{
	Slot &s = slots_[slot];
	if (s.held && s.width == crop.width && s.height == crop.height && s.pixels == crop.pixels)
		return s.reading;
	s.held = false; // until the new reading is in
	s.reading = readers.readLearned(crop);
	s.width = crop.width;
	s.height = crop.height;
	s.pixels = crop.pixels;
	s.held = true;
	return s.reading;
}

FieldValue fieldValueOf(int statIndex, int32_t trackerValue)
{
	if (statIndex == kStatPlates)
		return FieldValue::real(trackerValue / 10.0);
	return FieldValue::integer(trackerValue);
}

bool adoptSiteGameNumber(StatReaderState &st, int32_t siteGameNo, uint64_t nowNs)
{
	if (siteGameNo < 1)
		return false;
	// Compare what would be adopted: a service answering above the cap must not reset
	// tracking on every frame once the filter sits at the cap.
	const int32_t adopted = std::min(siteGameNo, 999);
	if (adopted == st.gameNo)
		return false;
	st.gameNo = adopted;
	st.resetTracking();
	st.lastSendNs = nowNs;
	return true;
}

FrameEffects processFrame(StatReaderState &st, const FrameView &f, uint64_t now, int32_t pendingSiteGameNo,
			  StatReaders &readers)
{
	FrameEffects fx;
	FilterConfig &cfg = st.config;

	applyWarzonePreset(cfg, f.width, f.height);

	const int32_t previousHud = st.hudState;
	st.hudState = readers.classify(f);
	const bool endCard = st.hudState == kHudPlacementCard || st.hudState == kHudAfterAction;

	if (adoptSiteGameNumber(st, pendingSiteGameNo, now))
		fx.saveNumbering = true;

	UpdateFields fields;
	const bool isWarzone = cfg.isWarzone();
	bool changed = false;
	bool newGame = false;

	std::array<StatRead, kStatCount> reads{};
	if (isWarzone && !readers.wantsEveryReading()) {
		readWarzoneStats(st, f, readers, endCard, reads);
	} else {
		for (int i = 0; i < kStatCount; ++i) {
			if (!statApplies(i, cfg.game))
				continue;
			reads[size_t(i)] = i == kStatPlates ? readPlatesStat(st, f, readers)
							    : readDigitStat(st, i, f, readers, isWarzone);
		}
	}

	const bool lobbyAfterFinal = isWarzone && gateWarzoneMatch(st, reads, endCard, fx);

	for (int i = 0; i < kStatCount; ++i) {
		const StatRead &r = reads[size_t(i)];
		if (!r.attempted)
			continue;
		StatTracker &t = st.trackers[size_t(i)];
		const bool validBefore = t.valid;
		const int32_t valueBefore = t.value;
		const bool confirmed = updateTracker(t, trackerRules(i), r.ok, r.value);
		if (confirmed && cfg.send && t.value != st.lastSent[size_t(i)]) {
			fields[kStatTable[size_t(i)].key] = fieldValueOf(i, t.value);
			st.lastSent[size_t(i)] = t.value;
		}
		if (t.valid != validBefore || t.value != valueBefore) {
			changed = true;
			// A lobby refilling from the last few players to a full one is a new game,
			// unless the current game is too young for that to be plausible.
			if (i == kStatPlayersLeft && isWarzone && validBefore && valueBefore <= 30 && t.value >= 120 &&
			    (st.gameStartNs == 0 ||
			     (now >= st.gameStartNs && now - st.gameStartNs >= kMinGameLengthNs)))
				newGame = true;
		}
	}

	if (newGame || lobbyAfterFinal || (st.final && (st.hudState == kHudInMatch || st.hudState == kHudDowned))) {
		st.gameNo = std::min(st.gameNo + 1, 999);
		st.gameStartNs = now;
		st.final = false;
		st.fullLobbiesAfterFinal = 0;
		st.cardKills.clear();
		st.cardPlacement.clear();
		st.resetTracking();
		fx.saveNumbering = true;
		st.forceSend = true;
		changed = true;
	}

	if (st.hudState != previousHud || changed)
		fx.refreshProperties = true;

	if (endCard && isWarzone) {
		const std::string_view table = st.hudState == kHudAfterAction ? "aar" : "placement";
		if (cardTableRow(table, "kills")) {
			const StatReading r =
				readCardRect(f, table, "kills", st.cardKills, readers, LearnedMemo::kCardKills);
			updateTracker(st.cardKills, endCardTrackerRules(), r.ok && r.value >= 0 && r.value <= 999,
				      r.value);
		}
		if (cardTableRow(table, "placement")) {
			const StatReading r = readCardRect(f, table, "placement", st.cardPlacement, readers,
							   LearnedMemo::kCardPlacement);
			updateTracker(st.cardPlacement, endCardTrackerRules(), r.ok && r.value >= 1 && r.value <= 200,
				      r.value);
		}
		if (st.cardKills.valid && st.cardPlacement.valid && !st.final) {
			// The card may show a few kills fewer than were counted live, never more.
			int32_t kills = st.cardKills.value;
			StatTracker &live = st.trackers[kStatKills];
			if (live.valid && live.value > kills && live.value - kills <= 3)
				kills = live.value;
			live.valid = true;
			live.value = kills;
			fields.clear();
			fields["kills"] = FieldValue::integer(kills);
			fields["placement"] = FieldValue::integer(st.cardPlacement.value);
			st.lastSent[kStatKills] = kills;
			st.final = true;
			st.matchLive = false;
			st.forceSend = true;
			fx.saveNumbering = true;
		}
	}

	const bool force = st.forceSend;
	st.forceSend = false;
	bool anyValid = false;
	for (int i = 0; i < kStatCount; ++i)
		anyValid = anyValid || (statApplies(i, cfg.game) && st.trackers[size_t(i)].valid);
	const bool heartbeat = cfg.send && anyValid && st.lastSendNs != 0 && now >= st.lastSendNs &&
			       now - st.lastSendNs >= kHeartbeatNs;
	if (force || !fields.empty() || heartbeat) {
		// The final result goes out alone; otherwise every update carries every confirmed
		// value, so a receiver that missed one update catches up with the next.
		if (!(st.final && fields.count("placement"))) {
			for (int i = 0; i < kStatCount; ++i) {
				if (!statApplies(i, cfg.game) || !st.trackers[size_t(i)].valid)
					continue;
				if (st.final && (i == kStatPlayersLeft || i == kStatTeamsLeft))
					continue;
				fields[kStatTable[size_t(i)].key] = fieldValueOf(i, st.trackers[size_t(i)].value);
				st.lastSent[size_t(i)] = st.trackers[size_t(i)].value;
			}
		}
		st.lastSendNs = now;
	}

	if ((!fields.empty() || force) && cfg.send) {
		if (!cfg.token.empty() && cfg.eventId > 0) {
			if (force)
				fields["new_game"] = FieldValue::integer(1);
			fx.send = PendingSend{cfg.apiUrl, cfg.token, cfg.eventId, std::move(fields), st.gameNo};
		} else {
			fx.warnNotConfigured = true;
		}
	}
	return fx;
}

} // namespace ostrelo

#include "tools/corpus/corpus_read.h"

#include "digits/learned_rules.h"

#include <cmath>

namespace ostrelo::corpus {

ReadResult readEntry(StatReaders &readers, const Entry &entry, const RgbaImage &crop)
{
	ReadResult out;
	if (entry.kind == Kind::Plates) {
		std::optional<PlatesOutline> outline;
		if (entry.quad) {
			outline.emplace();
			for (size_t i = 0; i < 4; ++i)
				(*outline)[i] = PointF{(*entry.quad)[2 * i], (*entry.quad)[2 * i + 1]};
		}
		const StatReading r = readers.readPlates(crop, outline, entry.angle);
		// What processing accepts of a plates reading.
		if (!r.ok || r.exactValue < 0.f || r.exactValue > 3.05f)
			return out;
		out.value = double(r.exactValue);
	} else {
		StatReading r = entry.kind == Kind::Card ? readers.readCardNumber(crop, "placement")
							 : readers.readDigitStat(crop, "kills", true);
		if (r.confidence < kMinConfidence)
			r = StatReading{};
		r = combineWithLearned(r, readers.readLearned(crop));
		if (!r.ok)
			return out;
		out.value = r.value;
	}
	out.outcome = std::fabs(out.value - entry.truth) < 1e-3 ? Outcome::Correct : Outcome::Wrong;
	return out;
}

} // namespace ostrelo::corpus

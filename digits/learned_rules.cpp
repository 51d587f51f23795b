#include "digits/learned_rules.h"

namespace ostrelo {

StatReading combineWithLearned(const StatReading &reading, const LearnedReading &opinion, const LearnedThresholds &t)
{
	const StatReading &learned = opinion.reading;
	// Sure of another number or digit count, or sure that there is no number at all.
	const bool disagrees = learned.ok ? learned.confidence >= t.veto &&
						    (learned.value != reading.value || learned.digits != reading.digits)
					  : opinion.emptyConfidence >= t.empty;
	StatReading result = reading.ok && disagrees ? StatReading{} : reading;
	if (!result.ok && learned.ok && learned.confidence >= t.backup)
		result = learned;
	return result;
}

} // namespace ostrelo

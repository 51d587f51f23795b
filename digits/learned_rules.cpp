#include "digits/learned_rules.h"

namespace ostrelo {

StatReading combineWithLearned(const StatReading &specified, const LearnedReading &opinion, const LearnedThresholds &t)
{
	const StatReading &learned = opinion.reading;
	// Sure of another number or digit count, or sure that there is no number at all.
	const bool disagrees = learned.ok ? learned.confidence >= t.veto && (learned.value != specified.value ||
									     learned.digits != specified.digits)
					  : opinion.emptyConfidence >= t.empty;
	StatReading result = specified.ok && disagrees ? StatReading{} : specified;
	if (!result.ok && learned.ok && learned.confidence >= t.backup)
		result = learned;
	return result;
}

} // namespace ostrelo

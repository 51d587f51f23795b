#include "digits/learned_rules.h"

namespace ostrelo {

StatReading combineWithLearned(const StatReading &specified, const StatReading &learned, const LearnedThresholds &t)
{
	const bool sure = learned.ok && learned.confidence >= t.veto;
	StatReading result = specified;
	if (result.ok && sure && (learned.value != result.value || learned.digits != result.digits))
		result = StatReading{};
	if (!result.ok && learned.ok && learned.confidence >= t.backup)
		result = learned;
	return result;
}

} // namespace ostrelo

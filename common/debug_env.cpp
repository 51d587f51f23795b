#include "common/debug_env.h"

#include <cstdlib>

namespace ostrelo {

// Looked up on every call on purpose: a user can switch tracing on for a running process
// only by restarting it anyway, but tests set and clear the variables between reads.
bool digitDebugEnabled()
{
	return std::getenv("VX_DIGIT_DEBUG") != nullptr;
}

bool softDumpEnabled()
{
	return std::getenv("VX_SOFT_DUMP") != nullptr;
}

} // namespace ostrelo

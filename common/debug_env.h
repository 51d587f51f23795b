#pragma once

namespace ostrelo {

// The reader's diagnostic switches. Only presence matters, not the value.
bool digitDebugEnabled(); // VX_DIGIT_DEBUG
bool softDumpEnabled();   // VX_SOFT_DUMP

} // namespace ostrelo

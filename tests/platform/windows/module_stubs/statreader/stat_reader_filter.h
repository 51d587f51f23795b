#pragma once

// Stand-in for the filter's header in the cross-compiled check of the module's exports.
namespace ostrelo {
void registerStatReaderFilter();
} // namespace ostrelo

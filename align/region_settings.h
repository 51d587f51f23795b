#pragma once

#include "align/align_region.h"

#include <obs.h>

#include <vector>

// The align window's road to the filter: its settings, reached through a weak reference to
// the filter's source that may expire while the window is open.
namespace ostrelo {

// The regions of the filter's game profile, as stored; empty when the filter is gone.
std::vector<AlignRegion> loadRegions(obs_weak_source_t *weakSource);

// Writes every region into the filter's settings with "use_wz_preset" set to usePreset and
// has OBS apply them. False (and nothing written) when the filter is gone.
bool saveRegions(obs_weak_source_t *weakSource, const std::vector<AlignRegion> &regions, bool usePreset);

} // namespace ostrelo

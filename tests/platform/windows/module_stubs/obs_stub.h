#pragma once

// The stand-in obs.dll's own calls: a note of every libobs call made into it, read back by
// the check.
#if defined(OSTRELO_BUILDING_OBS_STUB)
#define OBS_STUB_API extern "C" __declspec(dllexport)
#else
#define OBS_STUB_API extern "C"
#endif

OBS_STUB_API void obs_stub_note(const char *call);
OBS_STUB_API const char *obs_stub_calls(void); // the notes so far, joined by "; "
OBS_STUB_API void obs_stub_clear(void);

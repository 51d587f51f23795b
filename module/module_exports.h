#pragma once

#include <cstdint>

// Undecorated C exports: OBS finds the entry points by these exact names.
#if defined(_WIN32)
#define OSTRELO_EXPORT extern "C" __declspec(dllexport)
#else
#define OSTRELO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace ostrelo {

// The libobs API the module declares itself built against: 31.1.1.
inline constexpr uint32_t kModuleApiVersion = (31u << 24) | (1u << 16) | 1u;
static_assert(kModuleApiVersion == 0x1F010001u);

inline constexpr const char *kModuleDescription =
	"Ostrelo 4.4.1: Glasswing layouts, Vexmoor Stat Reader, in-app updates, and local "
	"scene/stream/recording controls by Pellworth";

} // namespace ostrelo

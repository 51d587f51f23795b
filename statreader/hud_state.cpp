#include "statreader/hud_state.h"

namespace ostrelo {

const char *hudStateName(int32_t state)
{
	static const char *const names[] = {"unknown",    "menu",           "in-match",    "downed",
					    "spectating", "placement-card", "after-action"};
	return state >= 0 && state <= kHudAfterAction ? names[state] : names[0];
}

} // namespace ostrelo

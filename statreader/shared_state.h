#pragma once

#include "statreader/filter_state.h"

#include <mutex>
#include <utility>

namespace ostrelo {

// The filter's state, shared by the graphics thread (update, frame processing) and the UI
// thread (buttons, panel, the live client's result). Every access goes through with(), which
// holds one lock for the duration of the given function. The functions are plain state
// changes: calls into OBS and network requests happen after with() returns, with the copies
// it handed out, so the graphics thread never waits on the UI beyond a state change.
class SharedState {
public:
	template <typename F>
	decltype(auto) with(F &&f)
	{
		std::lock_guard lock(mutex_);
		return std::forward<F>(f)(state_);
	}

private:
	std::mutex mutex_;
	StatReaderState state_;
};

} // namespace ostrelo

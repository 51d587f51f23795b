#pragma once

// Collects libobs log lines (level and text) while passing them on to the usual handler.
// libobs swaps its handler without a lock: make and drop a capture while no other thread logs
// (before libobs starts its threads and after they stopped).

#include <util/base.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace ostrelo::test {

class LogCapture {
public:
	LogCapture()
	{
		base_get_log_handler(&previous_, &previousParam_);
		base_set_log_handler(&LogCapture::handle, this);
	}
	~LogCapture() { base_set_log_handler(previous_, previousParam_); }
	LogCapture(const LogCapture &) = delete;
	LogCapture &operator=(const LogCapture &) = delete;

	std::vector<std::pair<int, std::string>> lines() const
	{
		std::lock_guard lock(mutex_);
		return lines_;
	}

	void clear()
	{
		std::lock_guard lock(mutex_);
		lines_.clear();
	}

	// How many lines at this level contain the text (any level when level is 0).
	int count(const std::string &text, int level = 0) const
	{
		int n = 0;
		for (const auto &[lineLevel, line] : lines())
			if ((level == 0 || lineLevel == level) && line.find(text) != std::string::npos)
				++n;
		return n;
	}

private:
	static void handle(int level, const char *format, va_list args, void *param)
	{
		auto *self = static_cast<LogCapture *>(param);
		va_list copy;
		va_copy(copy, args);
		char buffer[4096];
		std::vsnprintf(buffer, sizeof(buffer), format, copy);
		va_end(copy);
		{
			std::lock_guard lock(self->mutex_);
			self->lines_.emplace_back(level, buffer);
		}
		if (self->previous_)
			self->previous_(level, format, args, self->previousParam_);
	}

	log_handler_t previous_ = nullptr;
	void *previousParam_ = nullptr;
	mutable std::mutex mutex_;
	std::vector<std::pair<int, std::string>> lines_;
};

} // namespace ostrelo::test

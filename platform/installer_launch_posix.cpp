// Off Windows there is no elevated Windows installer to start: the file is held like on
// Windows (without sharing rules, which POSIX does not have) and the launch reports failure,
// so the user is told it did not start and the checked file stays in the temp folder.

#include "platform/installer_launch.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace ostrelo::platform {

HeldFile::HeldFile(const std::string &utf8Path)
{
	if (!utf8Path.empty())
		fd_ = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
}

HeldFile::~HeldFile()
{
	close();
}

bool HeldFile::isOpen() const
{
	return fd_ >= 0;
}

int64_t HeldFile::read(char *buffer, int64_t size)
{
	if (fd_ < 0 || size < 0)
		return -1;
	for (;;) {
		const ssize_t n = ::read(fd_, buffer, size_t(size));
		if (n >= 0 || errno != EINTR)
			return n;
	}
}

void HeldFile::close()
{
	if (fd_ >= 0)
		::close(fd_);
	fd_ = -1;
}

bool launchInstallerElevated(const std::string &)
{
	return false;
}

} // namespace ostrelo::platform

#pragma once

#include <cstdint>
#include <string>

// Starting the downloaded installer. No Qt and no libobs here: the Windows source builds alone.
namespace ostrelo::platform {

// Holds a file open for reading from before it is checked until it has been started, so what
// was checked is what runs. On Windows the handle shares reading only: nobody can write,
// rename, replace or delete the file while it is held. Elsewhere it is a plain read-only
// descriptor (there is no mandatory sharing to ask for).
class HeldFile {
public:
	explicit HeldFile(const std::string &utf8Path);
	~HeldFile();
	HeldFile(const HeldFile &) = delete;
	HeldFile &operator=(const HeldFile &) = delete;

	bool isOpen() const;
	// Reads up to size bytes from where the last read ended: the count read, 0 at the end,
	// -1 on an error.
	int64_t read(char *buffer, int64_t size);
	void close();

private:
#ifdef _WIN32
	void *handle_ = nullptr;
#else
	int fd_ = -1;
#endif
};

// Starts the installer at utf8Path (native separators) elevated and silent ("/S"), without
// waiting for it. False when it did not start, the user's refusal of elevation included.
// Only Windows has such an installer; elsewhere this always answers false.
bool launchInstallerElevated(const std::string &utf8Path);

} // namespace ostrelo::platform

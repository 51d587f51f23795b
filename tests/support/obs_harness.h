#pragma once

// A headless libobs session for integration tests: Qt application first, then libobs on
// X11/EGL with the OpenGL renderer (Mesa in software), Debian's image-source module and our
// built module. One session per test program; main() is provided.

#include <obs.h>

#include <QString>

#include <chrono>
#include <functional>
#include <string>

namespace ostrelo::test {

// True once libobs started and both modules loaded; tests skip nothing silently: the
// environment fails the run when it cannot start.
bool obsReady();

// Runs the Qt event loop until pred() holds or the time-out passes; returns pred().
bool waitFor(const std::function<bool()> &pred, std::chrono::milliseconds timeout);

// Pumps Qt events for a while (queued calls from the graphics thread land here).
void pumpEvents(std::chrono::milliseconds duration);

// Path of the built module and of the test data folder.
std::string modulePath();

// A solid or patterned frame shown through Debian's image source: writes the RGBA pixels
// as a PNG into a temp file and returns the path.
std::string writePng(const std::string &name, int width, int height, const unsigned char *rgba);

// Reads back what the main output renders: width x height RGBA, rows top to bottom.
bool renderOutput(obs_source_t *source, int width, int height, std::vector<unsigned char> &rgba);

} // namespace ostrelo::test

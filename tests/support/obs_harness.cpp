#include "tests/support/obs_harness.h"

#include <gtest/gtest.h>

#include <obs-module.h>
#include <obs-nix-platform.h>
#include <util/bmem.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>

#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>

namespace ostrelo::test {

namespace {

bool g_ready = false;
Display *g_display = nullptr;
QTemporaryDir *g_tempDir = nullptr;

bool openModule(const char *binary, const char *data)
{
	obs_module_t *module = nullptr;
	const int rc = obs_open_module(&module, binary, data);
	if (rc != MODULE_SUCCESS) {
		ADD_FAILURE() << "obs_open_module(" << binary << ") failed with " << rc;
		return false;
	}
	if (!obs_init_module(module)) {
		ADD_FAILURE() << "obs_init_module(" << binary << ") failed";
		return false;
	}
	return true;
}

class ObsEnvironment : public ::testing::Environment {
public:
	void SetUp() override
	{
		XInitThreads();
		g_display = XOpenDisplay(nullptr);
		ASSERT_NE(g_display, nullptr) << "no X display (run under tests/support/with-display.sh)";
		obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
		obs_set_nix_platform_display(g_display);
		ASSERT_TRUE(obs_startup("en-US", nullptr, nullptr));

		obs_audio_info ai = {};
		ai.samples_per_sec = 48000;
		ai.speakers = SPEAKERS_STEREO;
		ASSERT_TRUE(obs_reset_audio(&ai));

		obs_video_info vi = {};
		vi.graphics_module = "libobs-opengl";
		vi.fps_num = 30;
		vi.fps_den = 1;
		vi.base_width = 1920;
		vi.base_height = 1080;
		vi.output_width = 1920;
		vi.output_height = 1080;
		vi.output_format = VIDEO_FORMAT_NV12;
		vi.colorspace = VIDEO_CS_SRGB;
		vi.range = VIDEO_RANGE_FULL;
		vi.scale_type = OBS_SCALE_BICUBIC;
		vi.gpu_conversion = true;
		ASSERT_EQ(obs_reset_video(&vi), OBS_VIDEO_SUCCESS);

		ASSERT_TRUE(openModule(OSTRELO_OBS_PLUGIN_DIR "/image-source.so",
				       OSTRELO_OBS_PLUGIN_DATA_DIR "/image-source"));
		ASSERT_TRUE(openModule(OSTRELO_MODULE_PATH, OSTRELO_MODULE_DATA_DIR));
		obs_post_load_modules();
		g_tempDir = new QTemporaryDir();
		g_ready = true;
	}

	void TearDown() override
	{
		if (g_ready) {
			obs_set_output_source(0, nullptr);
			// Let queued calls of destroyed filters run before the libraries go away.
			pumpEvents(std::chrono::milliseconds(100));
			obs_shutdown();
			pumpEvents(std::chrono::milliseconds(50));
			EXPECT_EQ(bnum_allocs(), 0) << "libobs allocations leaked";
		}
		// The pool's threads end now, while OpenSSL can still free what it keeps per thread
		// (the module's update check and the live requests ran there); at exit it cannot.
		QThreadPool::globalInstance()->waitForDone();
		delete g_tempDir;
		g_tempDir = nullptr;
		if (g_display)
			XCloseDisplay(g_display);
		g_display = nullptr;
	}
};

} // namespace

bool obsReady()
{
	return g_ready;
}

void pumpEvents(std::chrono::milliseconds duration)
{
	QElapsedTimer timer;
	timer.start();
	do {
		QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
		QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
		QThread::msleep(2);
	} while (timer.elapsed() < duration.count());
}

bool waitFor(const std::function<bool()> &pred, std::chrono::milliseconds timeout)
{
	QElapsedTimer timer;
	timer.start();
	while (!pred()) {
		if (timer.elapsed() > timeout.count())
			return pred();
		QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
		QThread::msleep(2);
	}
	return true;
}

std::string modulePath()
{
	return OSTRELO_MODULE_PATH;
}

std::string writePng(const std::string &name, int width, int height, const unsigned char *rgba)
{
	QImage image(rgba, width, height, width * 4, QImage::Format_RGBA8888);
	const QString path = g_tempDir->filePath(QString::fromStdString(name) + ".png");
	if (!image.save(path, "PNG"))
		return {};
	return path.toStdString();
}

bool renderOutput(obs_source_t *source, int width, int height, std::vector<unsigned char> &rgba)
{
	bool ok = false;
	obs_enter_graphics();
	gs_texrender_t *texrender = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
	gs_stagesurf_t *stage = gs_stagesurface_create(uint32_t(width), uint32_t(height), GS_RGBA);
	if (texrender && stage && gs_texrender_begin(texrender, uint32_t(width), uint32_t(height))) {
		vec4 clear;
		vec4_zero(&clear);
		gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
		gs_ortho(0.0f, float(width), 0.0f, float(height), -100.0f, 100.0f);
		gs_blend_state_push();
		gs_blend_function(GS_BLEND_ONE, GS_BLEND_ZERO);
		obs_source_video_render(source);
		gs_blend_state_pop();
		gs_texrender_end(texrender);
		gs_stage_texture(stage, gs_texrender_get_texture(texrender));
		uint8_t *data = nullptr;
		uint32_t linesize = 0;
		if (gs_stagesurface_map(stage, &data, &linesize)) {
			rgba.resize(size_t(width) * size_t(height) * 4);
			for (int y = 0; y < height; ++y)
				std::memcpy(rgba.data() + size_t(y) * size_t(width) * 4, data + size_t(y) * linesize,
					    size_t(width) * 4);
			gs_stagesurface_unmap(stage);
			ok = true;
		}
	}
	gs_stagesurface_destroy(stage);
	gs_texrender_destroy(texrender);
	obs_leave_graphics();
	return ok;
}

} // namespace ostrelo::test

int main(int argc, char **argv)
{
	::testing::InitGoogleTest(&argc, argv);
	if (!std::getenv("QT_QPA_PLATFORM"))
		setenv("QT_QPA_PLATFORM", "offscreen", 1);
	// Qt takes arguments such as -plugin for itself: give it only the program name.
	int qtArgc = 1;
	char *qtArgv[] = {argv[0], nullptr};
	QApplication app(qtArgc, qtArgv);
	// The module schedules an update check and the dock reads its token: keep both away from
	// the real user's settings.
	QTemporaryDir settingsDir;
	QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
	QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
	::testing::AddGlobalTestEnvironment(new ostrelo::test::ObsEnvironment);
	return RUN_ALL_TESTS();
}

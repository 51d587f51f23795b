// The classifier against the plain reference (hud_reference.cpp) on many frames: every measure,
// every template score and the state must come out the same, bit for bit. The classifier is
// free to be fast; it is not free to decide differently.

#include "hud_reference.h"
#include "hud_test_frames.h"

#include "statreader/hud_classifier.h"
#include "statreader/hud_classifier_internal.h"
#include "statreader/hud_kernels.h"
#include "tools/hudframes/hud_frame.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace ostrelo;
using ostrelo::test::Rgb;
using ostrelo::test::TestFrame;

namespace {

uint32_t bitsOf(float f)
{
	uint32_t bits;
	std::memcpy(&bits, &f, sizeof bits);
	return bits;
}

// Compares everything the decision may look at, and the decision.
void expectEvidence(const hud::FrameView &view, const test::ReferenceEvidence &want, const std::string &what)
{
	hud::HudEvidence got(view);
	EXPECT_EQ(got.topLeftDetail(), want.topLeftDetail()) << what;
	EXPECT_EQ(got.counterStrip(), want.counterStrip()) << what;
	EXPECT_EQ(got.barWarmth(), want.barWarmth()) << what;
	EXPECT_EQ(got.centreBright(), want.centreBright()) << what;
	EXPECT_EQ(got.cardStandsOut(), want.cardStandsOut()) << what;
	for (int id = 0; id < kHudTemplateCount; ++id)
		EXPECT_EQ(bitsOf(got.score(HudTemplateId(id))), bitsOf(want.score(HudTemplateId(id))))
			<< what << ": " << kHudTemplateDefs[size_t(id)].name << " " << got.score(HudTemplateId(id))
			<< " vs " << want.score(HudTemplateId(id));
	test::ReferenceEvidence decided = want;
	EXPECT_EQ(classifyHudState(view.data, view.width, view.height, view.lineSize), hud::decideHudState(decided))
		<< what;
}

// The same with the kernels of every instruction set this processor has.
void expectSameEvidence(const TestFrame &f, const std::string &what)
{
	const hud::FrameView view = f.view();
	ASSERT_TRUE(view.usable()) << what;
	const test::ReferenceEvidence want = test::referenceEvidence(view);
	for (const hud::KernelSet set : {hud::KernelSet::Plain, hud::KernelSet::Sse2, hud::KernelSet::Avx2}) {
		if (set > hud::bestKernels())
			continue;
		hud::useKernels(set);
		expectEvidence(view, want, what + ", kernel set " + std::to_string(int(set)));
	}
	hud::useKernels(hud::bestKernels());
}

TestFrame frameOf(const QImage &image, uint32_t padding = 0)
{
	const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
	TestFrame f(rgba.width(), rgba.height(), Rgb{0, 0, 0}, padding);
	for (int32_t y = 0; y < rgba.height(); ++y)
		std::memcpy(f.data() + size_t(y) * f.lineSize(), rgba.constScanLine(y), size_t(rgba.width()) * 4);
	return f;
}

QImage standIn(const char *file, int width, int height, QPoint shift = {})
{
	const QImage screen(QString(OSTRELO_TEST_DATA_DIR "/hud/") + file);
	QImage out(width, height, QImage::Format_RGBA8888);
	out.fill(Qt::black);
	QPainter p(&out);
	p.setRenderHint(QPainter::SmoothPixmapTransform);
	p.drawImage(QRect(shift, QSize(width, height)), screen);
	return out;
}

struct Size {
	int32_t width, height;
};

// 720p, 1080p and 4K, and sizes whose reduction factor, rounding or template sizes differ:
// below 540 lines (no reduction), odd factors, a factor above 8, odd widths, the smallest
// frame classified.
const Size kSizes[] = {{1280, 720}, {1920, 1080}, {3840, 2160}, {854, 480},   {1366, 768},
		       {539, 303},  {1081, 811},  {1283, 1351}, {1200, 2700}, {64, 64}};

// Pixels from a seed, in blocks so that the reduced image keeps texture; bright, warm and
// dark blocks all occur.
TestFrame randomFrame(int32_t width, int32_t height, uint32_t seed, uint32_t padding)
{
	TestFrame f(width, height, Rgb{0, 0, 0}, padding);
	uint32_t s = seed;
	const auto next = [&s] {
		s = s * 1664525u + 1013904223u;
		return s >> 8;
	};
	const int32_t block = 1 + int32_t(next() % 6);
	for (int32_t y = 0; y < height; y += block)
		for (int32_t x = 0; x < width; x += block) {
			const uint32_t v = next();
			f.fill(x, y, x + block, y + block, Rgb{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)});
		}
	return f;
}

} // namespace

TEST(HudEquivalence, SyntheticFramesAtEverySize)
{
	using Draw = std::function<void(TestFrame &)>;
	const struct {
		const char *what;
		Draw draw;
	} kinds[] = {
		{"flat world", [](TestFrame &f) { test::drawWorld(f); }},
		{"textured world", [](TestFrame &f) { test::drawWorld(f, true); }},
		{"match", [](TestFrame &f) { test::drawMatchFrame(f, true); }},
		{"downed",
		 [](TestFrame &f) {
			 test::drawMatchFrame(f, true);
			 test::drawWarmBand(f, 12, 40);
		 }},
		{"counters only",
		 [](TestFrame &f) {
			 test::drawWorld(f, true);
			 test::drawCounters(f, 2);
		 }},
		{"white",
		 [](TestFrame &f) {
			 f.fill(0, 0, f.width(), f.height(), Rgb{255, 255, 255});
		 }},
	};
	uint32_t padding = 0;
	for (const Size &s : kSizes)
		for (const auto &k : kinds) {
			padding = (padding + 4) % 16;
			TestFrame f(s.width, s.height, Rgb{0, 0, 0}, padding);
			k.draw(f);
			expectSameEvidence(f, std::string(k.what) + " " + std::to_string(s.width) + "x" +
						      std::to_string(s.height) + " padding " + std::to_string(padding));
		}
}

TEST(HudEquivalence, RandomFrames)
{
	for (uint32_t seed = 1; seed <= 16; ++seed) {
		const Size &s = kSizes[seed % std::size(kSizes)];
		expectSameEvidence(randomFrame(s.width, s.height, seed, seed % 3 * 4),
				   "seed " + std::to_string(seed) + " at " + std::to_string(s.width) + "x" +
					   std::to_string(s.height));
	}
}

TEST(HudEquivalence, ScreensOfTheGameScaledAndShifted)
{
	int argc = 1;
	char name[] = "test";
	char *argv[] = {name, nullptr};
	QGuiApplication app(argc, argv);

	const char *files[] = {"after-action.png", "watching-teammate.png", "menu.png", "placement.png"};
	// Shifted a little, the templates are found off their expected corners.
	const QPoint shifts[] = {{0, 0}, {3, -2}, {-7, 5}};
	int i = 0;
	for (const Size &s : kSizes)
		for (const char *file : files) {
			const QPoint shift = shifts[i++ % std::size(shifts)];
			expectSameEvidence(frameOf(standIn(file, s.width, s.height, shift), 8),
					   std::string(file) + " at " + std::to_string(s.width) + "x" +
						   std::to_string(s.height) + " shifted " + std::to_string(shift.x()) +
						   "," + std::to_string(shift.y()));
		}

	// Drawn HUD frames of a match: counters, plates, downed, the end card and the lobby.
	using hudframes::Screen;
	for (const Size &s : {Size{1280, 720}, Size{1920, 1080}, Size{3840, 2160}})
		for (Screen screen : {Screen::InMatch, Screen::Downed, Screen::PlacementCard, Screen::Lobby}) {
			hudframes::HudFrame hf;
			hf.screen = screen;
			hf.width = s.width;
			hf.height = s.height;
			hf.kills = 12;
			hf.playersLeft = 23;
			hf.teamsLeft = 9;
			hf.redPlayers = true;
			hf.placement = 3;
			hf.cardKills = 12;
			hf.seed = uint32_t(s.width);
			expectSameEvidence(frameOf(hudframes::renderHudFrame(hf)),
					   "drawn screen " + std::to_string(int(screen)) + " at " +
						   std::to_string(s.width) + "x" + std::to_string(s.height));
		}
}

// The built-in stand-in templates against the stand-in screens they were cut from
// (tests/data/hud, written by "hudtemplates render"). Tables replaced by captures of the game
// are skipped here: those screens are not ours to commit.

#include "hud_test_frames.h"

#include "statreader/hud_classifier.h"
#include "statreader/hud_classifier_internal.h"
#include "statreader/hud_template_recipe.h"
#include "statreader/hud_templates.h"

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <string>

using namespace ostrelo;
using ostrelo::test::TestFrame;

namespace {

QImage loadScreen(const char *file)
{
	const QImage image(QString(OSTRELO_TEST_DATA_DIR "/hud/") + file);
	return image.convertToFormat(QImage::Format_RGBA8888);
}

TestFrame frameOf(const QImage &image)
{
	return TestFrame::copyOf(image.constBits(), image.width(), image.height(), uint32_t(image.bytesPerLine()));
}

struct Screen {
	const char *file;
	int32_t state;
	std::vector<HudTemplateId> templates; // cut from this screen
};

const Screen kScreens[] = {
	{"after-action.png", kHudAfterAction, {kTemplateAfterAction1, kTemplateAfterAction2}},
	{"watching-teammate.png", kHudSpectating, {kTemplateSpectating1, kTemplateSpectating2}},
	{"menu.png", kHudMenu, {kTemplateMenu}},
	{"placement.png", kHudPlacementCard, {kTemplatePlacement}},
};

bool allStandIns(const Screen &s)
{
	for (HudTemplateId id : s.templates)
		if (!kHudTemplatePixels[size_t(id)].standIn)
			return false;
	return true;
}

} // namespace

TEST(HudStandIns, TablesAreCutFromTheCommittedScreens)
{
	// A table that no longer matches its screen was edited by hand or left behind when the
	// screens were rendered again: "hudtemplates generate" must be run.
	for (const Screen &s : kScreens) {
		const QImage image = loadScreen(s.file);
		ASSERT_EQ(image.width(), kTemplateScreenWidth) << s.file;
		ASSERT_EQ(image.height(), kTemplateScreenHeight) << s.file;
		for (HudTemplateId id : s.templates) {
			const HudTemplateDef &def = kHudTemplateDefs[size_t(id)];
			const HudTemplatePixels &table = kHudTemplatePixels[size_t(id)];
			ASSERT_EQ(table.size, size_t(def.storedWidth) * size_t(def.storedHeight)) << def.name;
			if (!table.standIn)
				continue;
			const std::vector<uint8_t> cut = cutTemplate(
				image.constBits(), image.width(), image.height(), uint32_t(image.bytesPerLine()),
				defaultTemplateBox(def), def.storedWidth, def.storedHeight);
			EXPECT_EQ(cut, std::vector<uint8_t>(table.pixels, table.pixels + table.size)) << def.name;
		}
	}
}

TEST(HudStandIns, EachScreenIsItsStateAt1080And720)
{
	for (const Screen &s : kScreens) {
		if (!allStandIns(s)) {
			std::printf("%s: templates replaced by captures, not checked\n", s.file);
			continue;
		}
		const QImage full = loadScreen(s.file);
		const QImage small = full.scaled(1280, 720, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
		for (const QImage &image : {full, small}) {
			const TestFrame f = frameOf(image);
			EXPECT_EQ(std::string(hudStateName(f.classify())), hudStateName(s.state))
				<< s.file << " at " << image.height();
			hud::HudEvidence e(f.view());
			for (HudTemplateId id : s.templates) {
				const float score = e.score(id);
				std::printf("%s at %d lines: %s scores %.3f\n", s.file, image.height(),
					    kHudTemplateDefs[size_t(id)].name, double(score));
				if (image.height() == 1080) {
					EXPECT_GT(score, 0.7f) << kHudTemplateDefs[size_t(id)].name;
				}
			}
		}
	}
}

TEST(HudStandIns, TheHudOverridesEveryScreenButSpectating)
{
	// With the counters and the minimap on screen the templates of the after-action screen,
	// the menu and the placement card are not even matched.
	for (const Screen &s : kScreens) {
		if (!allStandIns(s))
			continue;
		TestFrame f = frameOf(loadScreen(s.file));
		ostrelo::test::drawTopLeftDetail(f);
		ostrelo::test::drawCounters(f);
		const int32_t expect = s.state == kHudSpectating ? kHudSpectating : kHudInMatch;
		EXPECT_EQ(std::string(hudStateName(f.classify())), hudStateName(expect)) << s.file;
		ostrelo::test::drawWarmBand(f, 12, 30);
		const int32_t downed = s.state == kHudSpectating ? kHudSpectating : kHudDowned;
		EXPECT_EQ(std::string(hudStateName(f.classify())), hudStateName(downed)) << s.file;
	}
}

TEST(HudStandIns, CountersWithoutTheMinimapAreNoHud)
{
	// Counters alone do not make the HUD: the end-of-match templates are still matched. The
	// after-action header gives the top-left its detail by itself, so there the HUD is whole.
	const struct {
		const char *file;
		HudTemplateId id;
		int32_t expect;
	} cases[] = {
		{"after-action.png", kTemplateAfterAction1, kHudInMatch},
		{"placement.png", kTemplatePlacement, kHudPlacementCard},
		{"menu.png", kTemplateMenu, kHudUnknown}, // the menu rule needs the counters gone
		{"watching-teammate.png", kTemplateSpectating1, kHudSpectating},
	};
	for (const auto &c : cases) {
		if (!kHudTemplatePixels[size_t(c.id)].standIn)
			continue;
		TestFrame f = frameOf(loadScreen(c.file));
		ostrelo::test::drawCounters(f);
		EXPECT_EQ(std::string(hudStateName(f.classify())), hudStateName(c.expect)) << c.file;
	}
}

TEST(HudStandIns, CountersAloneTurnTheAfterActionScreenIntoAMatch)
{
	// The after-action header itself gives the top-left its detail; the counters complete the
	// HUD, and the after-action templates then stay unmatched.
	const QImage image = loadScreen("after-action.png");
	if (!kHudTemplatePixels[kTemplateAfterAction1].standIn)
		GTEST_SKIP() << "after-action templates replaced by captures";
	TestFrame f = frameOf(image);
	hud::HudEvidence before(f.view());
	ASSERT_TRUE(before.topLeftDetail());
	ASSERT_FALSE(before.counterStrip());
	ASSERT_GT(before.score(kTemplateAfterAction1), 0.7f);
	ostrelo::test::drawCounters(f);
	hud::HudEvidence after(f.view());
	EXPECT_TRUE(after.hudPresent());
	EXPECT_EQ(after.score(kTemplateAfterAction1), -1.f);
	EXPECT_EQ(after.score(kTemplateAfterAction2), -1.f);
	EXPECT_EQ(std::string(hudStateName(f.classify())), "in-match");
}

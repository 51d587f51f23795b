// Preview reads: what each region would read on a snapshot, cut out the way the align window
// cuts it (the box clipped to the picture, the plates outline moved into the crop).

#include "align/region_preview.h"

#include "bar_drawing.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <limits>

namespace ostrelo {
namespace {

constexpr int32_t kW = 640, kH = 360;

RgbaImage darkFrame()
{
	RgbaImage f;
	f.width = kW;
	f.height = kH;
	f.pixels.resize(size_t(kW) * kH * 4);
	for (size_t i = 0; i < f.pixels.size(); i += 4) {
		f.pixels[i] = 25;
		f.pixels[i + 1] = 25;
		f.pixels[i + 2] = 25;
		f.pixels[i + 3] = 255;
	}
	return f;
}

// Copies an image into the frame with its top-left corner at (x, y).
void blit(RgbaImage &frame, const RgbaImage &image, int32_t x, int32_t y)
{
	for (int32_t r = 0; r < image.height; ++r)
		std::memcpy(frame.pixels.data() + (size_t(y + r) * kW + size_t(x)) * 4,
			    image.pixels.data() + size_t(r) * image.width * 4, size_t(image.width) * 4);
}

AlignRegion region(const char *key, StatRegion box)
{
	AlignRegion r = makeAlignRegion(key);
	r.box = box;
	return r;
}

TEST(PreviewCrop, ClipsTheBoxToThePicture)
{
	struct Case {
		const char *name;
		StatRegion box;
		std::optional<CropRect> crop;
	};
	const Case cases[] = {
		{"inside", {10, 20, 30, 40}, CropRect{10, 20, 40, 60}},
		{"over the right and bottom edges", {630, 350, 40, 40}, CropRect{630, 350, 640, 360}},
		{"negative origin", {-20, -10, 30, 20}, CropRect{0, 0, 10, 10}},
		{"clip leaves 3 columns", {637, 0, 40, 40}, std::nullopt},
		{"clip leaves 5 rows", {0, 355, 40, 40}, std::nullopt},
		{"box under 4 wide", {10, 10, 3, 40}, std::nullopt},
		{"box under 6 high", {10, 10, 40, 5}, std::nullopt},
		{"far right, end past 32 bits", {2147483000, 0, 1000, 1000}, std::nullopt},
		{"far left, end past 32 bits", {INT32_MIN, 0, INT32_MAX, 100}, std::nullopt},
	};
	for (const Case &c : cases) {
		const auto crop = previewCrop(c.box, kW, kH);
		ASSERT_EQ(crop.has_value(), c.crop.has_value()) << c.name;
		if (crop) {
			EXPECT_EQ(crop->x0, c.crop->x0) << c.name;
			EXPECT_EQ(crop->y0, c.crop->y0) << c.name;
			EXPECT_EQ(crop->x1, c.crop->x1) << c.name;
			EXPECT_EQ(crop->y1, c.crop->y1) << c.name;
		}
	}
}

TEST(PreviewRead, ShowsWhatEachRegionReads)
{
	RgbaImage frame = darkFrame();
	// "47" in the built-in font, white on the frame's dark grey, at (100, 50).
	const RgbaImage number = test::tint(test::renderNumber("47", 22, 235, 25), 255, 255, 255, 25, 25, 25);
	blit(frame, number, 100, 50);
	// Two and a half plates, upright, at (300, 40).
	const RgbaImage bar = platestest::drawBar(platestest::threeCells(1.0, 1.0, 0.5));
	blit(frame, bar, 300, 40);

	std::vector<AlignRegion> regions = {
		region("kills", {100, 50, number.width, number.height}),
		region("players_left", {400, 200, 40, 24}),        // nothing there
		region("teams_left", {100, 50, 3, number.height}), // too narrow to read
		region("wins", {638, 0, 40, 40}),                  // mostly off the picture
		region("plates", {300, 40, bar.width, bar.height}),
	};
	regions[1].previewText = "stale";
	previewRead(regions, frame.view());
	EXPECT_EQ(regions[0].previewText, "47");
	EXPECT_EQ(regions[1].previewText, kFailedReadText) << "a failed read shows the dash";
	EXPECT_EQ(regions[1].previewText, "\u2014");
	EXPECT_EQ(regions[2].previewText, "");
	EXPECT_EQ(regions[3].previewText, "");
	EXPECT_EQ(regions[4].previewText, "3") << "2.5 plates show rounded";
}

TEST(PreviewRead, PlatesOutlineIsMovedIntoTheCrop)
{
	// The bar seen in perspective on a canvas placed at (200, 120) of the frame; the outline
	// is clicked in frame pixels and the box starts at the canvas's corner.
	const RgbaImage bar = platestest::drawBar(platestest::threeCells(1.0, 1.0, 0.0));
	const PlatesOutline inCanvas = {PointF{20, 14}, PointF{236, 6}, PointF{240, 58}, PointF{16, 70}};
	const RgbaImage canvas = platestest::inPerspective(bar, inCanvas, 260, 80);
	RgbaImage frame = darkFrame();
	blit(frame, canvas, 200, 120);

	AlignRegion plates = region("plates", {200, 120, 260, 80});
	for (size_t i = 0; i < 4; ++i)
		plates.points[i] = OutlinePoint{200 + int32_t(inCanvas[i].x), 120 + int32_t(inCanvas[i].y)};
	plates.outlineCount = 4;
	plates.angle = 25.0; // ignored beside a complete outline
	EXPECT_EQ(previewText(plates, frame.view()), "2");
}

TEST(PreviewRead, PlatesBoxIsTurnedByTheAngle)
{
	const RgbaImage bar = platestest::drawBar(platestest::threeCells(1.0, 1.0, 1.0));
	const RgbaImage canvas = platestest::turned(bar, 12.0, 260, 110);
	RgbaImage frame = darkFrame();
	blit(frame, canvas, 50, 200);
	AlignRegion plates = region("plates", {50, 200, 260, 110});
	plates.angle = -12.0;
	EXPECT_EQ(previewText(plates, frame.view()), "3");
	// Angles no float can hold are read unrotated, like any angle past 30.5 degrees, rather
	// than converted as they are.
	plates.angle = 0.0;
	const std::string unrotated = previewText(plates, frame.view());
	for (double angle : {45.0, 1e300, -1e300, std::numeric_limits<double>::quiet_NaN()}) {
		plates.angle = angle;
		EXPECT_EQ(previewText(plates, frame.view()), unrotated) << angle;
	}
}

TEST(PreviewRead, NoPictureNoText)
{
	std::vector<AlignRegion> regions = {region("kills", {0, 0, 40, 40}), region("plates", {0, 0, 40, 40})};
	regions[0].previewText = "12";
	previewRead(regions, RgbaCrop{});
	EXPECT_EQ(regions[0].previewText, "");
	EXPECT_EQ(regions[1].previewText, "");
}

} // namespace
} // namespace ostrelo

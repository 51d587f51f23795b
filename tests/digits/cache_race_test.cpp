// The template tables are built on first use. Two threads reading their first digits together
// (the graphics thread and the align window) must both see complete tables, built once. This test
// runs alone in its process so the tables really are cold; run it under ThreadSanitizer to check
// the construction for races.
#include "digits/digit_reader.h"
#include "digits/glyph_templates.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace ostrelo {
namespace {

struct FirstUse {
	std::array<float, 10> scores{};
	StatReading boxReading;
	StatReading softReading;
	const std::vector<SoftTemplate> *library = nullptr;
	size_t librarySize = 0;
};

TEST(TemplateCaches, TwoThreadsOnFirstUse)
{
	const GrayImage eight = renderFontDigit(8);
	const GrayImage crop = test::renderNumber("907", 22, 235, 25);
	const GrayImage soft = test::sampleNumber("804", 2);

	std::atomic<int32_t> ready{0};
	FirstUse seen[2];
	auto work = [&](FirstUse &out, bool softFirst) {
		ready.fetch_add(1);
		while (ready.load() < 2) {
		}
		// One thread starts with the soft library (which builds on the font tables), the other
		// with the font tables themselves.
		if (softFirst) {
			out.softReading = readSoftGlyphs(soft);
			out.scores = digitScores(eight);
		} else {
			out.scores = digitScores(eight);
			out.softReading = readSoftGlyphs(soft);
		}
		out.boxReading = readDigits(crop);
		out.library = &softLibrary();
		out.librarySize = out.library->size();
	};
	std::thread a(work, std::ref(seen[0]), true);
	std::thread b(work, std::ref(seen[1]), false);
	a.join();
	b.join();

	for (const FirstUse &s : seen) {
		EXPECT_EQ(s.scores[8], 1.f);
		EXPECT_EQ(s.scores, digitScores(eight));
		EXPECT_EQ(s.boxReading.text, "907");
		EXPECT_EQ(s.softReading.text, "804");
		EXPECT_EQ(s.library, &softLibrary());
		EXPECT_EQ(s.librarySize, 49u);
	}
	EXPECT_EQ(seen[0].softReading.confidence, seen[1].softReading.confidence);
	EXPECT_EQ(seen[0].boxReading.confidence, seen[1].boxReading.confidence);
}

} // namespace
} // namespace ostrelo

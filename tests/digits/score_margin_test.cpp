// Margins between glyph scores hold exactly at their stated bounds, whatever float rounding does
// to the two scores: in the box reader, the soft-glyph reader and the pair rules.

#include "digits/box_reader.h"
#include "digits/glyph_templates.h"
#include "digits/shape_rules.h"
#include "digits/soft_glyphs.h"

#include <gtest/gtest.h>

namespace ostrelo {
namespace {

enum class Rule {
	Box,          // a glyph reads when it leads by 0.08, or by 0.02 at 0.87 and above
	Soft,         // a soft glyph reads when it leads by 0.06
	HoleOverride, // a two-holed glyph turns a 9 into an 8 when the two are within 0.2
	General,      // a full bottom bar turns a 3 into a 2 within 0.001 below it and 0.12 apart
};

// Whether the rule lets the glyph through: score is the leading digit's (the 9 or the 3 in the
// pair rules), second its rival's.
bool passes(Rule rule, float score, float second)
{
	switch (rule) {
	case Rule::Box: {
		DigitCandidate lead{5, 0.99f, 0.1f, false}, glyph{3, score, second, false};
		return readCandidates({lead, glyph}).ok;
	}
	case Rule::Soft:
		return softGlyphClear(score, second);
	case Rule::HoleOverride:
	case Rule::General: {
		const bool holes = rule == Rule::HoleOverride;
		std::array<float, 10> scores;
		scores.fill(0.3f);
		int32_t best = holes ? 9 : 3;
		scores[size_t(best)] = score;
		scores[holes ? 8 : 2] = second;
		refineScores(renderFontDigit(holes ? 8 : 2), best, scores);
		return best == (holes ? 8 : 2);
	}
	}
	return false;
}

TEST(ScoreMargins, HoldAtTheirStatedBounds)
{
	struct Case {
		const char *name;
		Rule rule;
		float score, second;
		bool passes;
	} cases[] = {
		{"box: 0.87 over 0.85", Rule::Box, 0.87f, 0.85f, true},
		{"box: 0.86 over 0.79", Rule::Box, 0.86f, 0.79f, false},
		{"box: 0.8 over 0.72", Rule::Box, 0.8f, 0.72f, true},
		{"box: 0.87 over 0.851", Rule::Box, 0.87f, 0.851f, false},
		{"soft: 0.7 over 0.66", Rule::Soft, 0.7f, 0.66f, false},
		{"soft: 0.78 over 0.72", Rule::Soft, 0.78f, 0.72f, true},
		{"soft: 0.78 over 0.721", Rule::Soft, 0.78f, 0.721f, false},
		{"8 and 9: 0.82 and 0.8", Rule::HoleOverride, 0.82f, 0.8f, true},
		{"8 and 9: 0.85 and 0.65", Rule::HoleOverride, 0.85f, 0.65f, true},
		{"8 and 9: 0.851 and 0.65", Rule::HoleOverride, 0.851f, 0.65f, false},
		{"2 and 3: 0.75 and 0.7", Rule::General, 0.75f, 0.7f, false},
		{"2 and 3: 0.605 and 0.604", Rule::General, 0.605f, 0.604f, true},
		{"2 and 3: 0.48 and 0.6", Rule::General, 0.48f, 0.6f, true},
		{"2 and 3: 0.479 and 0.6", Rule::General, 0.479f, 0.6f, false},
	};
	for (const Case &c : cases)
		EXPECT_EQ(passes(c.rule, c.score, c.second), c.passes) << c.name;
}

} // namespace
} // namespace ostrelo

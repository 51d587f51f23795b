#pragma once

// Comparisons of glyph scores against margins written in decimal (0.02, 0.06, 0.12). A score is
// a float near 1 and neither it nor the margin is exact in binary: 0.87f - 0.85f comes out just
// under 0.02f, so a glyph that leads by exactly the margin would fail by rounding alone. Every
// margin comparison allows that rounding and nothing more.

namespace ostrelo {

// Far below any difference a glyph's pixels can make, far above float rounding near 1.
constexpr double kScoreTolerance = 1e-5;

// score - second >= margin
inline bool leadsBy(float score, float second, float margin)
{
	return double(score) - double(second) >= double(margin) - kScoreTolerance;
}

// difference <= margin
inline bool withinMargin(float difference, float margin)
{
	return double(difference) <= double(margin) + kScoreTolerance;
}

} // namespace ostrelo

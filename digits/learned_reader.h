#pragma once

// The learned digit reader: a small network trained on many faces and grounds
// (tools/learned) reads a whole RGBA crop as one sequence of digits. It is a second opinion
// next to the template readers, independent of their binarisation and segmentation.

#include "common/rgba_crop.h"
#include "common/stat_reading.h"

#include <vector>

namespace ostrelo {

// A reading of the learned reader: the number as a StatReading (confidence = the network's
// probability of exactly this digit sequence), each digit's own confidence, most significant
// first, and how sure the network is that the crop shows no digit at all.
struct LearnedReading {
	StatReading reading;
	std::vector<float> digitConfidence;
	float emptyConfidence = 0.f;
};

// Readings less sure than this are no reading.
inline constexpr float kLearnedMinConfidence = 0.3f;
// Longer sequences are no reading (the counters have at most six digits).
inline constexpr int kLearnedMaxDigits = 6;

// Reads a crop with the built-in weights. No reading for an empty crop, an empty or longer
// than six digits sequence, a number with a leading zero, or a confidence under
// kLearnedMinConfidence.
LearnedReading readLearned(const RgbaCrop &crop);

// The same with other weights (learned::kWeightCount floats), e.g. a freshly trained model.
LearnedReading readLearned(const RgbaCrop &crop, const float *weights);

namespace learned {

// The network's input for a crop: scaled by area to kInputHeight rows (or kMaxWidth columns),
// standardised, on a canvas [y][x][c]; width receives the canvas width. Empty for an empty crop.
std::vector<float> prepareCanvas(const RgbaCrop &crop, int &width);

// The scores of every frame for a crop (frames x kClasses), as the network gives them.
std::vector<float> cropScores(const RgbaCrop &crop, const float *weights);

// Frame scores to a reading: the best class of each frame, repeats merged, blanks dropped.
LearnedReading decodeScores(const std::vector<float> &scores);

} // namespace learned

} // namespace ostrelo

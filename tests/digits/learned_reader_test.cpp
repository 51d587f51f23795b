// The learned reader: the C++ network against the scores torch gave for the same crops, the
// decoding of frame scores, and the rules that combine it with the template readers.
//
// The parity vectors come from tools/learned/train.py with the weights built in. Setting
// OSTRELO_LEARNED_PARITY and OSTRELO_LEARNED_WEIGHTS to a training run's parity.txt and
// weights.txt checks that run's model instead (the smoke training does).

#include "digits/learned_model.h"
#include "digits/learned_reader.h"
#include "digits/learned_rules.h"
#include "digits/learned_weights.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace ostrelo;

namespace {

struct ParityCase {
	RgbaImage crop;
	std::vector<float> scores; // frames x kClasses
};

std::string envOr(const char *name, const char *fallback)
{
	const char *v = std::getenv(name);
	return v && *v ? v : fallback;
}

std::vector<ParityCase> readParity(const std::string &path)
{
	std::vector<ParityCase> cases;
	std::ifstream in(path);
	std::string word;
	while (in >> word) {
		if (word == "#") {
			std::getline(in, word);
		} else if (word == "crop") {
			ParityCase c;
			in >> c.crop.width >> c.crop.height;
			std::string hex;
			const size_t bytes = size_t(c.crop.width) * size_t(c.crop.height) * 3;
			while (hex.size() < bytes * 2 && in >> word)
				hex += word;
			for (size_t i = 0; i < bytes; ++i) {
				c.crop.pixels.push_back(uint8_t(std::stoi(hex.substr(2 * i, 2), nullptr, 16)));
				if (i % 3 == 2)
					c.crop.pixels.push_back(255);
			}
			cases.push_back(std::move(c));
		} else if (word == "scores" && !cases.empty()) {
			int frames = 0;
			in >> frames;
			cases.back().scores.resize(size_t(frames) * learned::kClasses);
			for (float &v : cases.back().scores)
				in >> v;
		}
	}
	return cases;
}

std::vector<float> readWeights(const std::string &path)
{
	std::vector<float> w;
	std::ifstream in(path);
	float v;
	while (in >> v)
		w.push_back(v);
	return w;
}

std::vector<float> softmax(const float *s)
{
	std::vector<float> p(s, s + learned::kClasses);
	const float top = *std::max_element(p.begin(), p.end());
	float z = 0;
	for (float &v : p)
		z += v = std::exp(v - top);
	for (float &v : p)
		v /= z;
	return p;
}

TEST(LearnedReader, MatchesTorchOnTheExportedCrops)
{
	const std::vector<ParityCase> cases = readParity(envOr("OSTRELO_LEARNED_PARITY", OSTRELO_LEARNED_PARITY_FILE));
	ASSERT_GE(cases.size(), 5u) << "no parity vectors";
	std::vector<float> loaded;
	const float *weights = learned::kWeights;
	if (const char *file = std::getenv("OSTRELO_LEARNED_WEIGHTS"); file && *file) {
		loaded = readWeights(file);
		ASSERT_EQ(loaded.size(), learned::kWeightCount) << file;
		weights = loaded.data();
	}
	// Both builds of the layers, where this machine runs the AVX2 one.
	std::vector<std::pair<const char *, learned::Kernels>> kernels = {{"portable", learned::Kernels::Portable}};
	if (learned::avx2Available())
		kernels.emplace_back("AVX2", learned::Kernels::Avx2);
	for (const auto &[name, set] : kernels)
		for (size_t k = 0; k < cases.size(); ++k) {
			const ParityCase &c = cases[k];
			int width = 0;
			const std::vector<float> canvas = learned::prepareCanvas(c.crop.view(), width);
			const std::vector<float> got = learned::runNetwork(weights, canvas.data(), width, set);
			ASSERT_EQ(got.size(), c.scores.size())
				<< name << " crop " << k << " (" << c.crop.width << " x " << c.crop.height << ")";
			for (size_t f = 0; f < got.size() / learned::kClasses; ++f) {
				const float *a = got.data() + f * learned::kClasses;
				const float *b = c.scores.data() + f * learned::kClasses;
				const std::vector<float> pa = softmax(a), pb = softmax(b);
				for (int i = 0; i < learned::kClasses; ++i) {
					ASSERT_NEAR(a[i], b[i], 1e-4f * std::max(1.f, std::fabs(b[i])))
						<< name << " crop " << k << " frame " << f << " class " << i;
					ASSERT_NEAR(pa[size_t(i)], pb[size_t(i)], 1e-4f)
						<< name << " crop " << k << " frame " << f << " class " << i;
				}
			}
		}
}

// Frame scores that put almost all probability on one class per frame ('-' = blank).
std::vector<float> frames(const std::string &path, float sure = 12.f)
{
	std::vector<float> s;
	for (char ch : path) {
		const int cls = ch == '-' ? 0 : 1 + (ch - '0');
		for (int c = 0; c < learned::kClasses; ++c)
			s.push_back(c == cls ? sure : 0.f);
	}
	return s;
}

TEST(LearnedReader, DecodesFrameSequences)
{
	struct Case {
		const char *path;
		bool ok;
		const char *text;
	};
	const Case cases[] = {
		{"--1--5--", true, "15"},     {"-11-1---", true, "11"}, // a repeat needs a blank between
		{"-111----", true, "1"},                                // without one it is one digit
		{"--------", false, ""},                                // nothing read
		{"-0-7----", false, ""},                                // leading zero: no number a counter shows
		{"-0------", true, "0"},                                // a lone zero is fine
		{"1234567-", false, ""},                                // seven digits: longer than any counter
		{"123456--", true, "123456"},                           // six are fine
	};
	for (const Case &c : cases) {
		const LearnedReading r = learned::decodeScores(frames(c.path));
		EXPECT_EQ(r.reading.ok, c.ok) << c.path;
		EXPECT_EQ(r.emptyConfidence > 0.99f, std::string(c.path) == "--------") << c.path;
		EXPECT_EQ(r.reading.text, c.text) << c.path;
		if (c.ok) {
			EXPECT_EQ(r.reading.value, std::stoi(c.text)) << c.path;
			EXPECT_EQ(r.reading.digits, int(std::string(c.text).size())) << c.path;
			EXPECT_GT(r.reading.confidence, 0.99f) << c.path;
			EXPECT_EQ(r.digitConfidence.size(), std::string(c.text).size()) << c.path;
		}
	}
}

TEST(LearnedReader, ConfidenceIsTheProbabilityOfTheWholeSequence)
{
	// Two frames where the second digit is a coin toss between 5 and 6: neither reading may
	// claim more than about half, though each frame's winner is clear in its own frame.
	std::vector<float> s = frames("-1-5-");
	s[3 * learned::kClasses + 7] = 12.f; // frame 3: 6 as likely as 5
	const LearnedReading r = learned::decodeScores(s);
	ASSERT_TRUE(r.reading.ok);
	EXPECT_NEAR(r.reading.confidence, 0.5f, 0.01f);
	ASSERT_EQ(r.digitConfidence.size(), 2u);
	EXPECT_GT(r.digitConfidence[0], 0.99f);
	EXPECT_NEAR(r.digitConfidence[1], 0.5f, 0.01f);
	// Far less sure still: no reading at all.
	for (int c = 0; c < learned::kClasses; ++c)
		s[3 * learned::kClasses + size_t(c)] = 12.f;
	EXPECT_FALSE(learned::decodeScores(s).reading.ok);
}

TEST(LearnedReader, NoReadingForAnEmptyCrop)
{
	EXPECT_FALSE(readLearned(RgbaCrop{}).reading.ok);
	// A single pixel still makes a whole canvas for the network.
	RgbaImage one{1, 1, {255, 255, 255, 255}};
	EXPECT_FALSE(learned::cropScores(one.view(), learned::kWeights).empty());
}

StatReading reading(int value, float confidence, int digits = 0)
{
	StatReading r;
	r.ok = true;
	r.value = value;
	r.text = std::to_string(value);
	r.digits = digits ? digits : int(r.text.size());
	r.confidence = confidence;
	return r;
}

LearnedReading opinion(const StatReading &r, float empty = 0.f)
{
	return LearnedReading{r, std::vector<float>(size_t(r.digits), r.confidence), empty};
}

TEST(LearnedRules, VetoAndBackUp)
{
	const LearnedThresholds t{0.9f, 0.97f, 0.95f};
	struct Case {
		const char *what;
		StatReading templ;
		LearnedReading learned;
		bool ok;
		int value;
	};
	const Case cases[] = {
		{"both agree", reading(15, 0.8f), opinion(reading(15, 0.99f)), true, 15},
		{"sure of another number: vetoed, then backed up", reading(1, 0.8f), opinion(reading(15, 0.98f)), true,
		 15},
		{"sure enough to veto, not to stand in", reading(1, 0.8f), opinion(reading(15, 0.92f)), false, 0},
		{"unsure of another number: kept", reading(1, 0.8f), opinion(reading(15, 0.85f)), true, 1},
		{"same value, other digit count", reading(7, 0.8f, 2), opinion(reading(7, 0.93f)), false, 0},
		{"learned reads nothing: kept", reading(24, 0.8f), opinion(StatReading{}, 0.5f), true, 24},
		{"learned sure there is no number", reading(24, 0.8f), opinion(StatReading{}, 0.96f), false, 0},
		{"template reads nothing, learned sure", StatReading{}, opinion(reading(24, 0.97f)), true, 24},
		{"template reads nothing, learned not sure enough", StatReading{}, opinion(reading(24, 0.96f)), false,
		 0},
		{"neither reads", StatReading{}, opinion(StatReading{}, 0.99f), false, 0},
	};
	for (const Case &c : cases) {
		const StatReading r = combineWithLearned(c.templ, c.learned, t);
		EXPECT_EQ(r.ok, c.ok) << c.what;
		EXPECT_EQ(r.value, c.value) << c.what;
	}
}

} // namespace

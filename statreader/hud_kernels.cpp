#include "statreader/hud_kernels.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>

// OSTRELO_HUD_PLAIN_LOOPS builds the plain loops alone, to check them on x86 too.
#if !defined(OSTRELO_HUD_PLAIN_LOOPS) && \
	(defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2))
#include <emmintrin.h>
#define OSTRELO_HUD_SSE2 1
// GCC and clang build functions for AVX2 next to the rest and say at run time whether the
// processor has it; other compilers keep to SSE2.
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define OSTRELO_HUD_AVX2 1
#define OSTRELO_AVX2     __attribute__((target("avx2")))
#endif
#endif

namespace ostrelo::hud {

namespace {

KernelSet detectKernels()
{
#if defined(OSTRELO_HUD_AVX2)
	__builtin_cpu_init();
	if (__builtin_cpu_supports("avx2"))
		return KernelSet::Avx2;
#endif
#if defined(OSTRELO_HUD_SSE2)
	return KernelSet::Sse2;
#else
	return KernelSet::Plain;
#endif
}

std::atomic<KernelSet> &activeSet()
{
	static std::atomic<KernelSet> active{detectKernels()};
	return active;
}

#ifdef OSTRELO_HUD_SSE2
bool use(KernelSet set)
{
	return activeSet().load(std::memory_order_relaxed) == set;
}
#endif

int32_t weighted(const uint8_t *p)
{
	return 77 * p[0] + 150 * p[1] + 29 * p[2];
}

// ---- one value at a time: every processor, and the last few values of the vector loops ----

void plainLumaMoments(const uint8_t *rgba, size_t i, size_t n, uint64_t &sum, uint64_t &squares)
{
	for (; i < n; ++i) {
		const uint64_t l = uint64_t(weighted(rgba + 4 * i) >> 8);
		sum += l;
		squares += l * l;
	}
}

uint32_t plainCountAbove(const uint8_t *rgba, size_t i, size_t n, int32_t threshold)
{
	uint32_t count = 0;
	for (; i < n; ++i)
		count += weighted(rgba + 4 * i) > threshold ? 1u : 0u;
	return count;
}

uint32_t plainCountWarm(const uint8_t *rgba, size_t i, size_t n)
{
	uint32_t count = 0;
	for (; i < n; ++i) {
		const int32_t r = rgba[4 * i], g = rgba[4 * i + 1], b = rgba[4 * i + 2];
		count += r > 160 && g >= 31 && g <= 139 && b < 80 && r > g + 40 ? 1u : 0u;
	}
	return count;
}

void plainColumnSums(const uint8_t *rgba, size_t lineSize, int32_t rows, size_t i, size_t n, uint32_t *sums)
{
	for (; i < n; ++i) {
		uint32_t sum = 0;
		for (int32_t k = 0; k < rows; ++k)
			sum += uint32_t(weighted(rgba + size_t(k) * lineSize + 4 * i)) >> 8;
		sums[i] = sum;
	}
}

int64_t plainCrossSum(const int16_t *image, size_t stride, const int16_t *tpl, int32_t rowLength, int32_t height)
{
	int64_t total = 0;
	for (int32_t i = 0; i < height; ++i) {
		const int16_t *v = image + size_t(i) * stride;
		const int16_t *t = tpl + size_t(i) * size_t(rowLength);
		for (int32_t j = 0; j < rowLength; ++j)
			total += int32_t(v[j]) * int32_t(t[j]);
	}
	return total;
}

void plainScores(const int64_t *cross, const double *sums, const double *squares, size_t k, size_t count,
		 const CorrelationTerms &t, float *out)
{
	for (; k < count; ++k) {
		const double varV = squares[k] - sums[k] * sums[k] / t.n;
		if (varV <= 0.001 || t.flatTemplate) {
			out[k] = -1.f;
			continue;
		}
		const double num = double(cross[k]) - t.sumT * sums[k] / t.n;
		out[k] = float(num / std::sqrt(t.energyT * varV));
	}
}

#ifdef OSTRELO_HUD_SSE2
// Rows of a correlation whose 32-bit lanes, taking two products of at most 255^2 for every 8
// values of a row, cannot pass 2^31 before they are emptied into 64 bits.
int32_t rowsPerFlush(int32_t rowLength, int32_t height)
{
	const int64_t perRow = std::max<int64_t>(int64_t(rowLength / 8) * 2 * 65025, 1);
	return int32_t(std::clamp<int64_t>(INT32_MAX / perRow, 1, std::max(height, 1)));
}
#endif

// ---- SSE2: four pixels or eight 16-bit values per step --------------------------------------

#ifdef OSTRELO_HUD_SSE2
// Weighted luma of four pixels, one per 32-bit lane. Seen as 16-bit lanes a pixel is R | G << 8
// and B | A << 8: a mask leaves R and B, a shift G and A, and two multiply-adds weigh them.
// Compilers do not find this on their own; they take the bytes apart channel by channel, at
// about twice the instructions.
inline __m128i weighted4(const uint8_t *p)
{
	const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
	const __m128i rb = _mm_and_si128(px, _mm_set1_epi32(0x00FF00FF));
	const __m128i ga = _mm_srli_epi16(px, 8);
	return _mm_add_epi32(_mm_madd_epi16(rb, _mm_setr_epi16(77, 29, 77, 29, 77, 29, 77, 29)),
			     _mm_madd_epi16(ga, _mm_setr_epi16(150, 0, 150, 0, 150, 0, 150, 0)));
}

// Asks for the cache line of pixel i of row when i starts one (16 pixels of 4 bytes).
inline void prefetchEvery64(const uint8_t *row, size_t i)
{
	if (row && i % 16 == 0)
		_mm_prefetch(reinterpret_cast<const char *>(row + 4 * i), _MM_HINT_T0);
}

inline uint64_t lanesSum(__m128i v)
{
	alignas(16) uint32_t lanes[4];
	_mm_store_si128(reinterpret_cast<__m128i *>(lanes), v);
	return uint64_t(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
}

namespace sse2 {

void lumaMoments(const uint8_t *rgba, size_t n, uint64_t &sum, uint64_t &squares, const uint8_t *next)
{
	size_t i = 0;
	// 32-bit lanes hold 4096 steps of 255^2 (4096 * 65025 < 2^32) before they are emptied.
	while (i + 4 <= n) {
		const size_t end = i + std::size_t(4) * 4096 < n ? i + std::size_t(4) * 4096 : n;
		__m128i s = _mm_setzero_si128(), q = _mm_setzero_si128();
		for (; i + 4 <= end; i += 4) {
			prefetchEvery64(next, i);
			const __m128i l = _mm_srli_epi32(weighted4(rgba + 4 * i), 8);
			s = _mm_add_epi32(s, l);
			q = _mm_add_epi32(q, _mm_madd_epi16(l, l)); // l < 2^8: the high halves are zero
		}
		sum += lanesSum(s);
		squares += lanesSum(q);
	}
	plainLumaMoments(rgba, i, n, sum, squares);
}

uint32_t countAbove(const uint8_t *rgba, size_t n, int32_t threshold, const uint8_t *next)
{
	size_t i = 0;
	uint32_t count = 0;
	const __m128i limit = _mm_set1_epi32(threshold);
	while (i + 4 <= n) {
		// A lane counts down by one per hit (compare gives -1); 2^30 steps cannot wrap it.
		const size_t end = n - i > (size_t(1) << 30) ? i + (size_t(1) << 30) : n;
		__m128i hits = _mm_setzero_si128();
		for (; i + 4 <= end; i += 4) {
			prefetchEvery64(next, i);
			hits = _mm_sub_epi32(hits, _mm_cmpgt_epi32(weighted4(rgba + 4 * i), limit));
		}
		count += uint32_t(lanesSum(hits));
	}
	return count + plainCountAbove(rgba, i, n, threshold);
}

void columnSums(const uint8_t *rgba, size_t lineSize, int32_t rows, size_t n, uint32_t *sums, const uint8_t *next)
{
	size_t i = 0;
	// The four column sums stay in a register while the rows go by: one store per column.
	for (; i + 4 <= n; i += 4) {
		const uint8_t *p = rgba + 4 * i;
		for (int32_t k = 0; next && k < rows; ++k)
			prefetchEvery64(next + size_t(k) * lineSize, i);
		__m128i acc = _mm_srli_epi32(weighted4(p), 8);
		for (int32_t k = 1; k < rows; ++k)
			acc = _mm_add_epi32(acc, _mm_srli_epi32(weighted4(p + size_t(k) * lineSize), 8));
		_mm_storeu_si128(reinterpret_cast<__m128i *>(sums + i), acc);
	}
	plainColumnSums(rgba, lineSize, rows, i, n, sums);
}

// Warm pixels four at a time: the channels as 32-bit lanes, each rule a compare.
uint32_t countWarm(const uint8_t *rgba, size_t n)
{
	size_t i = 0;
	const __m128i byte = _mm_set1_epi32(0xFF);
	__m128i hits = _mm_setzero_si128();
	for (; i + 4 <= n && i < (size_t(1) << 30); i += 4) {
		const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rgba + 4 * i));
		const __m128i r = _mm_and_si128(px, byte), g = _mm_and_si128(_mm_srli_epi32(px, 8), byte),
			      b = _mm_and_si128(_mm_srli_epi32(px, 16), byte);
		__m128i ok = _mm_cmpgt_epi32(r, _mm_set1_epi32(160));
		ok = _mm_and_si128(ok, _mm_cmpgt_epi32(g, _mm_set1_epi32(30)));
		ok = _mm_and_si128(ok, _mm_cmplt_epi32(g, _mm_set1_epi32(140)));
		ok = _mm_and_si128(ok, _mm_cmplt_epi32(b, _mm_set1_epi32(80)));
		ok = _mm_and_si128(ok, _mm_cmpgt_epi32(r, _mm_add_epi32(g, _mm_set1_epi32(40))));
		hits = _mm_sub_epi32(hits, ok);
	}
	return uint32_t(lanesSum(hits)) + plainCountWarm(rgba, i, n);
}

// crossSums for positions k .. k + N - 1, which share each load of the template.
template <int N>
void crossSumsOf(const int16_t *image, size_t stride, const int16_t *tpl, int32_t rowLength, int32_t height,
		 int32_t step, int32_t k, int64_t *out)
{
	const int32_t flush = rowsPerFlush(rowLength, height);
	int64_t total[N] = {};
	for (int32_t i0 = 0; i0 < height; i0 += flush) {
		const int32_t i1 = std::min(height, i0 + flush);
		__m128i acc[N];
		for (int a = 0; a < N; ++a)
			acc[a] = _mm_setzero_si128();
		for (int32_t i = i0; i < i1; ++i) {
			const int16_t *v = image + size_t(i) * stride + size_t(k) * size_t(step);
			const int16_t *t = tpl + size_t(i) * size_t(rowLength);
			for (int32_t j = 0; j < rowLength; j += 8) {
				const __m128i tj = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t + j));
				for (int a = 0; a < N; ++a) {
					const __m128i vj = _mm_loadu_si128(reinterpret_cast<const __m128i *>(
						v + size_t(a) * size_t(step) + size_t(j)));
					acc[a] = _mm_add_epi32(acc[a], _mm_madd_epi16(vj, tj));
				}
			}
		}
		for (int a = 0; a < N; ++a)
			total[a] += int64_t(lanesSum(acc[a]));
	}
	for (int a = 0; a < N; ++a)
		out[k + a] = total[a];
}

void crossSums(const int16_t *image, size_t stride, const int16_t *tpl, int32_t rowLength, int32_t height, int32_t step,
	       int32_t count, int64_t *out)
{
	int32_t k = 0;
	for (; k + 4 <= count; k += 4)
		crossSumsOf<4>(image, stride, tpl, rowLength, height, step, k, out);
	switch (count - k) {
	case 3:
		crossSumsOf<3>(image, stride, tpl, rowLength, height, step, k, out);
		break;
	case 2:
		crossSumsOf<2>(image, stride, tpl, rowLength, height, step, k, out);
		break;
	case 1:
		crossSumsOf<1>(image, stride, tpl, rowLength, height, step, k, out);
		break;
	default:
		break;
	}
}

// plainScores two positions at a time: the same operations, each rounded as IEEE rounds it in
// any width.
void scores(const int64_t *cross, const double *sums, const double *squares, size_t count, const CorrelationTerms &t,
	    float *out)
{
	size_t k = 0;
	if (!t.flatTemplate) {
		const __m128d n = _mm_set1_pd(t.n), sumT = _mm_set1_pd(t.sumT), energyT = _mm_set1_pd(t.energyT);
		const __m128d floor = _mm_set1_pd(0.001), none = _mm_set1_pd(-1.0);
		for (; k + 2 <= count; k += 2) {
			const __m128d s = _mm_loadu_pd(sums + k);
			const __m128d varV = _mm_sub_pd(_mm_loadu_pd(squares + k), _mm_div_pd(_mm_mul_pd(s, s), n));
			const __m128d c = _mm_set_pd(double(cross[k + 1]), double(cross[k]));
			const __m128d num = _mm_sub_pd(c, _mm_div_pd(_mm_mul_pd(sumT, s), n));
			const __m128d score = _mm_div_pd(num, _mm_sqrt_pd(_mm_mul_pd(energyT, varV)));
			const __m128d flat = _mm_cmple_pd(varV, floor);
			const __m128d chosen = _mm_or_pd(_mm_and_pd(flat, none), _mm_andnot_pd(flat, score));
			_mm_storel_epi64(reinterpret_cast<__m128i *>(out + k), _mm_castps_si128(_mm_cvtpd_ps(chosen)));
		}
	}
	plainScores(cross, sums, squares, k, count, t, out);
}

} // namespace sse2
#endif

// ---- AVX2: eight pixels or sixteen 16-bit values per step -----------------------------------

#ifdef OSTRELO_HUD_AVX2
namespace avx2 {

// weighted4 on eight pixels.
OSTRELO_AVX2 inline __m256i weighted8(const uint8_t *p)
{
	const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
	const __m256i rb = _mm256_and_si256(px, _mm256_set1_epi32(0x00FF00FF));
	const __m256i ga = _mm256_srli_epi16(px, 8);
	return _mm256_add_epi32(_mm256_madd_epi16(rb, _mm256_set1_epi32(29 << 16 | 77)),
				_mm256_madd_epi16(ga, _mm256_set1_epi32(150)));
}

OSTRELO_AVX2 inline uint64_t lanesSum(__m256i v)
{
	alignas(32) uint32_t lanes[8];
	_mm256_store_si256(reinterpret_cast<__m256i *>(lanes), v);
	uint64_t sum = 0;
	for (uint32_t lane : lanes)
		sum += lane;
	return sum;
}

OSTRELO_AVX2 void lumaMoments(const uint8_t *rgba, size_t n, uint64_t &sum, uint64_t &squares, const uint8_t *next)
{
	size_t i = 0;
	// As in SSE2: a lane takes one pixel per step, 4096 steps of 255^2 at most.
	while (i + 8 <= n) {
		const size_t end = i + std::size_t(8) * 4096 < n ? i + std::size_t(8) * 4096 : n;
		__m256i s = _mm256_setzero_si256(), q = _mm256_setzero_si256();
		for (; i + 8 <= end; i += 8) {
			prefetchEvery64(next, i);
			const __m256i l = _mm256_srli_epi32(weighted8(rgba + 4 * i), 8);
			s = _mm256_add_epi32(s, l);
			q = _mm256_add_epi32(q, _mm256_madd_epi16(l, l));
		}
		sum += lanesSum(s);
		squares += lanesSum(q);
	}
	plainLumaMoments(rgba, i, n, sum, squares);
}

OSTRELO_AVX2 uint32_t countAbove(const uint8_t *rgba, size_t n, int32_t threshold, const uint8_t *next)
{
	size_t i = 0;
	uint32_t count = 0;
	const __m256i limit = _mm256_set1_epi32(threshold);
	while (i + 8 <= n) {
		const size_t end = n - i > (size_t(1) << 30) ? i + (size_t(1) << 30) : n;
		__m256i hits = _mm256_setzero_si256();
		for (; i + 8 <= end; i += 8) {
			prefetchEvery64(next, i);
			hits = _mm256_sub_epi32(hits, _mm256_cmpgt_epi32(weighted8(rgba + 4 * i), limit));
		}
		count += uint32_t(lanesSum(hits));
	}
	return count + plainCountAbove(rgba, i, n, threshold);
}

OSTRELO_AVX2 void columnSums(const uint8_t *rgba, size_t lineSize, int32_t rows, size_t n, uint32_t *sums,
			     const uint8_t *next)
{
	size_t i = 0;
	for (; i + 8 <= n; i += 8) {
		const uint8_t *p = rgba + 4 * i;
		for (int32_t k = 0; next && k < rows; ++k)
			prefetchEvery64(next + size_t(k) * lineSize, i);
		__m256i acc = _mm256_srli_epi32(weighted8(p), 8);
		for (int32_t k = 1; k < rows; ++k)
			acc = _mm256_add_epi32(acc, _mm256_srli_epi32(weighted8(p + size_t(k) * lineSize), 8));
		_mm256_storeu_si256(reinterpret_cast<__m256i *>(sums + i), acc);
	}
	plainColumnSums(rgba, lineSize, rows, i, n, sums);
}

// sse2::countWarm eight at a time.
OSTRELO_AVX2 uint32_t countWarm(const uint8_t *rgba, size_t n)
{
	size_t i = 0;
	const __m256i byte = _mm256_set1_epi32(0xFF);
	__m256i hits = _mm256_setzero_si256();
	for (; i + 8 <= n && i < (size_t(1) << 30); i += 8) {
		const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(rgba + 4 * i));
		const __m256i r = _mm256_and_si256(px, byte), g = _mm256_and_si256(_mm256_srli_epi32(px, 8), byte),
			      b = _mm256_and_si256(_mm256_srli_epi32(px, 16), byte);
		__m256i ok = _mm256_cmpgt_epi32(r, _mm256_set1_epi32(160));
		ok = _mm256_and_si256(ok, _mm256_cmpgt_epi32(g, _mm256_set1_epi32(30)));
		ok = _mm256_and_si256(ok, _mm256_cmpgt_epi32(_mm256_set1_epi32(140), g));
		ok = _mm256_and_si256(ok, _mm256_cmpgt_epi32(_mm256_set1_epi32(80), b));
		ok = _mm256_and_si256(ok, _mm256_cmpgt_epi32(r, _mm256_add_epi32(g, _mm256_set1_epi32(40))));
		hits = _mm256_sub_epi32(hits, ok);
	}
	return uint32_t(lanesSum(hits)) + plainCountWarm(rgba, i, n);
}

// sse2::crossSumsOf sixteen values at a time, the last eight of a row as SSE2 does them. A lane
// takes two products per step of sixteen, so it fills no faster than an SSE2 lane.
template <int N>
OSTRELO_AVX2 void crossSumsOf(const int16_t *image, size_t stride, const int16_t *tpl, int32_t rowLength,
			      int32_t height, int32_t step, int32_t k, int64_t *out)
{
	const int32_t flush = rowsPerFlush(rowLength, height);
	const int32_t wide = rowLength / 16 * 16;
	int64_t total[N] = {};
	for (int32_t i0 = 0; i0 < height; i0 += flush) {
		const int32_t i1 = std::min(height, i0 + flush);
		__m256i acc[N];
		__m128i tail[N];
		for (int a = 0; a < N; ++a) {
			acc[a] = _mm256_setzero_si256();
			tail[a] = _mm_setzero_si128();
		}
		for (int32_t i = i0; i < i1; ++i) {
			const int16_t *v = image + size_t(i) * stride + size_t(k) * size_t(step);
			const int16_t *t = tpl + size_t(i) * size_t(rowLength);
			for (int32_t j = 0; j < wide; j += 16) {
				const __m256i tj = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(t + j));
				for (int a = 0; a < N; ++a) {
					const __m256i vj = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(
						v + size_t(a) * size_t(step) + size_t(j)));
					acc[a] = _mm256_add_epi32(acc[a], _mm256_madd_epi16(vj, tj));
				}
			}
			if (wide < rowLength) {
				const __m128i tj = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t + wide));
				for (int a = 0; a < N; ++a) {
					const __m128i vj = _mm_loadu_si128(reinterpret_cast<const __m128i *>(
						v + size_t(a) * size_t(step) + size_t(wide)));
					tail[a] = _mm_add_epi32(tail[a], _mm_madd_epi16(vj, tj));
				}
			}
		}
		for (int a = 0; a < N; ++a)
			total[a] += int64_t(lanesSum(acc[a])) + int64_t(hud::lanesSum(tail[a]));
	}
	for (int a = 0; a < N; ++a)
		out[k + a] = total[a];
}

OSTRELO_AVX2 void crossSums(const int16_t *image, size_t stride, const int16_t *tpl, int32_t rowLength, int32_t height,
			    int32_t step, int32_t count, int64_t *out)
{
	int32_t k = 0;
	for (; k + 4 <= count; k += 4)
		crossSumsOf<4>(image, stride, tpl, rowLength, height, step, k, out);
	switch (count - k) {
	case 3:
		crossSumsOf<3>(image, stride, tpl, rowLength, height, step, k, out);
		break;
	case 2:
		crossSumsOf<2>(image, stride, tpl, rowLength, height, step, k, out);
		break;
	case 1:
		crossSumsOf<1>(image, stride, tpl, rowLength, height, step, k, out);
		break;
	default:
		break;
	}
}

// sse2::scores four positions at a time.
OSTRELO_AVX2 void scores(const int64_t *cross, const double *sums, const double *squares, size_t count,
			 const CorrelationTerms &t, float *out)
{
	size_t k = 0;
	if (!t.flatTemplate) {
		const __m256d n = _mm256_set1_pd(t.n), sumT = _mm256_set1_pd(t.sumT),
			      energyT = _mm256_set1_pd(t.energyT);
		const __m256d floor = _mm256_set1_pd(0.001), none = _mm256_set1_pd(-1.0);
		for (; k + 4 <= count; k += 4) {
			const __m256d s = _mm256_loadu_pd(sums + k);
			const __m256d varV =
				_mm256_sub_pd(_mm256_loadu_pd(squares + k), _mm256_div_pd(_mm256_mul_pd(s, s), n));
			const __m256d c = _mm256_set_pd(double(cross[k + 3]), double(cross[k + 2]),
							double(cross[k + 1]), double(cross[k]));
			const __m256d num = _mm256_sub_pd(c, _mm256_div_pd(_mm256_mul_pd(sumT, s), n));
			const __m256d score = _mm256_div_pd(num, _mm256_sqrt_pd(_mm256_mul_pd(energyT, varV)));
			const __m256d chosen = _mm256_blendv_pd(score, none, _mm256_cmp_pd(varV, floor, _CMP_LE_OQ));
			_mm_storeu_ps(out + k, _mm256_cvtpd_ps(chosen));
		}
	}
	plainScores(cross, sums, squares, k, count, t, out);
}

} // namespace avx2
#endif

} // namespace

KernelSet bestKernels()
{
	return detectKernels();
}

void useKernels(KernelSet set)
{
	activeSet().store(std::min(set, bestKernels()), std::memory_order_relaxed);
}

KernelSet activeKernels()
{
	return activeSet().load(std::memory_order_relaxed);
}

void addLumaMoments(const uint8_t *rgba, size_t n, uint64_t &sum, uint64_t &squares, const uint8_t *next)
{
#ifdef OSTRELO_HUD_AVX2
	if (use(KernelSet::Avx2))
		return avx2::lumaMoments(rgba, n, sum, squares, next);
#endif
#ifdef OSTRELO_HUD_SSE2
	if (use(KernelSet::Sse2))
		return sse2::lumaMoments(rgba, n, sum, squares, next);
#endif
	(void)next; // only a hint
	plainLumaMoments(rgba, 0, n, sum, squares);
}

uint32_t countWeightedAbove(const uint8_t *rgba, size_t n, int32_t threshold, const uint8_t *next)
{
#ifdef OSTRELO_HUD_AVX2
	if (use(KernelSet::Avx2))
		return avx2::countAbove(rgba, n, threshold, next);
#endif
#ifdef OSTRELO_HUD_SSE2
	if (use(KernelSet::Sse2))
		return sse2::countAbove(rgba, n, threshold, next);
#endif
	(void)next;
	return plainCountAbove(rgba, 0, n, threshold);
}

void sumLumaColumns(const uint8_t *rgba, size_t lineSize, int32_t rows, size_t n, uint32_t *sums, const uint8_t *next)
{
#ifdef OSTRELO_HUD_AVX2
	if (use(KernelSet::Avx2))
		return avx2::columnSums(rgba, lineSize, rows, n, sums, next);
#endif
#ifdef OSTRELO_HUD_SSE2
	if (use(KernelSet::Sse2))
		return sse2::columnSums(rgba, lineSize, rows, n, sums, next);
#endif
	(void)next;
	plainColumnSums(rgba, lineSize, rows, 0, n, sums);
}

uint32_t countWarm(const uint8_t *rgba, size_t n)
{
#ifdef OSTRELO_HUD_AVX2
	if (use(KernelSet::Avx2))
		return avx2::countWarm(rgba, n);
#endif
#ifdef OSTRELO_HUD_SSE2
	if (use(KernelSet::Sse2))
		return sse2::countWarm(rgba, n);
#endif
	return plainCountWarm(rgba, 0, n);
}
void crossSums(const int16_t *image, size_t stride, const int16_t *tpl, int32_t rowLength, int32_t height, int32_t step,
	       int32_t count, int64_t *out)
{
#ifdef OSTRELO_HUD_AVX2
	if (use(KernelSet::Avx2))
		return avx2::crossSums(image, stride, tpl, rowLength, height, step, count, out);
#endif
#ifdef OSTRELO_HUD_SSE2
	if (use(KernelSet::Sse2))
		return sse2::crossSums(image, stride, tpl, rowLength, height, step, count, out);
#endif
	for (int32_t k = 0; k < count; ++k)
		out[k] = plainCrossSum(image + size_t(k) * size_t(step), stride, tpl, rowLength, height);
}

void correlationScores(const int64_t *cross, const double *sums, const double *squares, size_t count,
		       const CorrelationTerms &terms, float *out)
{
#ifdef OSTRELO_HUD_AVX2
	if (use(KernelSet::Avx2))
		return avx2::scores(cross, sums, squares, count, terms, out);
#endif
#ifdef OSTRELO_HUD_SSE2
	if (use(KernelSet::Sse2))
		return sse2::scores(cross, sums, squares, count, terms, out);
#endif
	plainScores(cross, sums, squares, 0, count, terms, out);
}

} // namespace ostrelo::hud

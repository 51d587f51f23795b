#include "statreader/hud_kernels.h"

#include <algorithm>
#include <climits>

// OSTRELO_HUD_PLAIN_LOOPS builds the plain loops alone, to check them on x86 too.
#if !defined(OSTRELO_HUD_PLAIN_LOOPS) && \
	(defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2))
#include <emmintrin.h>
#define OSTRELO_HUD_SSE2 1
#endif

namespace ostrelo::hud {

namespace {

int32_t weighted(const uint8_t *p)
{
	return 77 * p[0] + 150 * p[1] + 29 * p[2];
}

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
#endif

} // namespace

void addLumaMoments(const uint8_t *rgba, size_t n, uint64_t &sum, uint64_t &squares, const uint8_t *next)
{
	(void)next; // only a hint
	size_t i = 0;
#ifdef OSTRELO_HUD_SSE2
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
#endif
	for (; i < n; ++i) {
		const uint64_t l = uint64_t(weighted(rgba + 4 * i) >> 8);
		sum += l;
		squares += l * l;
	}
}

uint32_t countWeightedAbove(const uint8_t *rgba, size_t n, int32_t threshold, const uint8_t *next)
{
	(void)next; // only a hint
	size_t i = 0;
	uint32_t count = 0;
#ifdef OSTRELO_HUD_SSE2
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
#endif
	for (; i < n; ++i)
		count += weighted(rgba + 4 * i) > threshold ? 1u : 0u;
	return count;
}

void sumLumaColumns(const uint8_t *rgba, size_t lineSize, int32_t rows, size_t n, uint32_t *sums, const uint8_t *next)
{
	(void)next; // only a hint
	size_t i = 0;
#ifdef OSTRELO_HUD_SSE2
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
#endif
	for (; i < n; ++i) {
		uint32_t sum = 0;
		for (int32_t k = 0; k < rows; ++k)
			sum += uint32_t(weighted(rgba + size_t(k) * lineSize + 4 * i)) >> 8;
		sums[i] = sum;
	}
}

#ifdef OSTRELO_HUD_SSE2
namespace {

// crossSums for positions k .. k + N - 1, which share each load of the template. A 32-bit lane
// takes two products of at most 255^2 per multiply-add; it is emptied into 64 bits before it
// could pass 2^31.
template <int N>
void crossSumsOf(const int16_t *image, size_t stride, const int16_t *tpl, int32_t rowLength, int32_t height,
		 int32_t step, int32_t k, int64_t *out)
{
	const int64_t perRow = std::max<int64_t>(int64_t(rowLength / 8) * 2 * 65025, 1);
	const int32_t rowsPerFlush = int32_t(std::clamp<int64_t>(INT32_MAX / perRow, 1, std::max(height, 1)));
	int64_t total[N] = {};
	for (int32_t i0 = 0; i0 < height; i0 += rowsPerFlush) {
		const int32_t i1 = std::min(height, i0 + rowsPerFlush);
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

} // namespace
#endif

void crossSums(const int16_t *image, size_t stride, const int16_t *tpl, int32_t rowLength, int32_t height, int32_t step,
	       int32_t count, int64_t *out)
{
	int32_t k = 0;
#ifdef OSTRELO_HUD_SSE2
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
	k = count;
#endif
	for (; k < count; ++k) {
		int64_t total = 0;
		for (int32_t i = 0; i < height; ++i) {
			const int16_t *v = image + size_t(i) * stride + size_t(k) * size_t(step);
			const int16_t *t = tpl + size_t(i) * size_t(rowLength);
			for (int32_t j = 0; j < rowLength; ++j)
				total += int32_t(v[j]) * int32_t(t[j]);
		}
		out[k] = total;
	}
}

} // namespace ostrelo::hud

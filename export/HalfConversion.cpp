#include "export/HalfConversion.h"

#include <ImfConvert.h>
#include <half.h>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define RAVELCAST_F16C 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace ravelcast {

namespace {

void portable(const float *in, std::uint16_t *out, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        out[i] = Imf::floatToHalf(in[i]).bits();
}

void portableSigned(const float *in, float sign, std::uint16_t *out, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        out[i] = Imf::floatToHalf(sign * (in[i] + 0.0f)).bits();
}

#if RAVELCAST_F16C
// Converts the values, or with Signed sign x (in + 0).
template <bool Signed>
__attribute__((target("avx,f16c"))) void withF16C(const float *in, float s, std::uint16_t *out,
                                                   std::size_t n)
{
    const __m256 signs = _mm256_set1_ps(s);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256 v = _mm256_loadu_ps(in + i);
        if (Signed)
            v = _mm256_mul_ps(_mm256_add_ps(v, _mm256_setzero_ps()), signs);
        // Finite values beyond the largest half become infinite, as
        // OpenEXR's conversion makes them (rounding alone keeps up to 65519).
        const __m256 sign = _mm256_and_ps(v, _mm256_set1_ps(-0.0f));
        const __m256 magnitude = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), v);
        const __m256 beyond = _mm256_cmp_ps(magnitude, _mm256_set1_ps(65504.0f), _CMP_GT_OQ);
        const __m256 infinite = _mm256_or_ps(sign, _mm256_set1_ps(__builtin_inff()));
        // Selected with masks: GCC turns a blend here into a branch per lane.
        v = _mm256_or_ps(_mm256_andnot_ps(beyond, v), _mm256_and_ps(beyond, infinite));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i),
                         _mm256_cvtps_ph(v, _MM_FROUND_TO_NEAREST_INT));
    }
    if (Signed)
        portableSigned(in + i, s, out + i, n - i);
    else
        portable(in + i, out + i, n - i);
}

// AVX and F16C on the processor, and the system saving the wide registers.
bool detect()
{
    unsigned int a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    const bool osxsave = c & (1u << 27), avx = c & (1u << 28), f16c = c & (1u << 29);
    if (!osxsave || !avx || !f16c)
        return false;
    unsigned int low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (low & 6u) == 6u;
}
#endif

} // namespace

bool hardwareHalfConversion()
{
#if RAVELCAST_F16C
    static const bool has = detect();
    return has;
#else
    return false;
#endif
}

void floatsToHalves(const float *in, std::uint16_t *out, std::size_t n)
{
#if RAVELCAST_F16C
    if (hardwareHalfConversion()) {
        withF16C<false>(in, 1.0f, out, n);
        return;
    }
#endif
    portable(in, out, n);
}

void signedHalves(const float *in, float sign, std::uint16_t *out, std::size_t n)
{
#if RAVELCAST_F16C
    if (hardwareHalfConversion()) {
        withF16C<true>(in, sign, out, n);
        return;
    }
#endif
    portableSigned(in, sign, out, n);
}

} // namespace ravelcast

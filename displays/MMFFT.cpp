#include "displays/MMFFT.h"

#include <cmath>
#include <cstddef>
#include <new>
#include <utility>

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr float kSqrtHalf = 0.70710677f;  // the 45 degree twiddle of the unrolled kernels

// ---- complex split-radix kernels ---------------------------------------------------------------
// A complex point k is (z[2k], z[2k + 1]). The kernels decimate in frequency, so their result is
// in bit-reversed order. Inverse kernels use the conjugate twiddles.

template <bool Inverse>
inline void LButterfly(float* a, float* b, float* c, float* d, float w1r, float w1i, float w3r, float w3i) {
  const float t1r = a[0] - c[0], t1i = a[1] - c[1];
  const float t2r = b[0] - d[0], t2i = b[1] - d[1];
  a[0] += c[0];
  a[1] += c[1];
  b[0] += d[0];
  b[1] += d[1];
  float ur, ui, vr, vi;
  if constexpr (!Inverse) {  // u = t1 - i t2, v = t1 + i t2
    ur = t1r + t2i, ui = t1i - t2r, vr = t1r - t2i, vi = t1i + t2r;
  } else {
    ur = t1r - t2i, ui = t1i + t2r, vr = t1r + t2i, vi = t1i - t2r;
  }
  c[0] = ur * w1r - ui * w1i;
  c[1] = ur * w1i + ui * w1r;
  d[0] = vr * w3r - vi * w3i;
  d[1] = vr * w3i + vi * w3r;
}

inline void Butterfly2(float* z) {
  const float ar = z[0], ai = z[1];
  z[0] = ar + z[2];
  z[1] = ai + z[3];
  z[2] = ar - z[2];
  z[3] = ai - z[3];
}

template <bool Inverse>
inline void Butterfly4(float* z) {
  LButterfly<Inverse>(z, z + 2, z + 4, z + 6, 1.0f, 0.0f, 1.0f, 0.0f);
  Butterfly2(z);
}

template <bool Inverse>
inline void Butterfly8(float* z) {
  const float s = Inverse ? kSqrtHalf : -kSqrtHalf;  // the sign of -sin in the forward direction
  LButterfly<Inverse>(z, z + 4, z + 8, z + 12, 1.0f, 0.0f, 1.0f, 0.0f);
  LButterfly<Inverse>(z + 2, z + 6, z + 10, z + 14, kSqrtHalf, s, -kSqrtHalf, s);
  Butterfly4<Inverse>(z);
  Butterfly2(z + 8);
  Butterfly2(z + 12);
}

// The first pass of an n-point transform: q = n/4 L-butterflies over the four quarters. The
// quarters never overlap, which lets the compiler vectorise the loop.
template <bool Inverse>
void LPass(float* __restrict a, float* __restrict b, float* __restrict c, float* __restrict d, size_t q,
           const float* __restrict twiddles, size_t step) {
  LButterfly<Inverse>(a, b, c, d, 1.0f, 0.0f, 1.0f, 0.0f);
  const float* w = twiddles + (step - 1) * 4;
  for (size_t k = 1; k < q; ++k, w += 4 * step) {
    const float w1i = Inverse ? -w[1] : w[1];
    const float w3i = Inverse ? -w[3] : w[3];
    LButterfly<Inverse>(a + 2 * k, b + 2 * k, c + 2 * k, d + 2 * k, w[0], w1i, w[2], w3i);
  }
}

// n complex points; the twiddles of this size are every step-th group of the table.
template <bool Inverse>
void SplitRadix(float* z, size_t n, const float* twiddles, size_t step) {
  switch (n) {
    case 1: return;
    case 2: Butterfly2(z); return;
    case 4: Butterfly4<Inverse>(z); return;
    case 8: Butterfly8<Inverse>(z); return;
    default: break;
  }
  const size_t q = n / 4;
  LPass<Inverse>(z, z + 2 * q, z + 4 * q, z + 6 * q, q, twiddles, step);
  SplitRadix<Inverse>(z, n / 2, twiddles, step * 2);
  SplitRadix<Inverse>(z + n, q, twiddles, step * 4);
  SplitRadix<Inverse>(z + n + n / 2, q, twiddles, step * 4);
}

void BitReverse(float* z, const int32_t* table, size_t m) {
  for (size_t i = 0; i < m; ++i) {
    const size_t r = size_t(uint32_t(table[i]));
    if (i < r) {
      std::swap(z[2 * i], z[2 * r]);
      std::swap(z[2 * i + 1], z[2 * r + 1]);
    }
  }
}

void Scale(float* x, size_t n, float factor) {
  for (size_t i = 0; i < n; ++i) x[i] *= factor;
}

// ---- tables ------------------------------------------------------------------------------------

// Groups (cos jt, -sin jt, cos 3jt, -sin 3jt) for j = 1..groups, by rotation in double precision.
void MakeTwiddles(float* table, size_t groups, double theta) {
  const double c1 = std::cos(theta), s1 = std::sin(theta);
  const double c3 = std::cos(3 * theta), s3 = std::sin(3 * theta);
  double cj = c1, sj = s1, c3j = c3, s3j = s3;
  for (size_t j = 0; j < groups; ++j) {
    table[4 * j] = float(cj);
    table[4 * j + 1] = float(-sj);
    table[4 * j + 2] = float(c3j);
    table[4 * j + 3] = float(-s3j);
    const double nc = cj * c1 - sj * s1, ns = sj * c1 + cj * s1;
    const double nc3 = c3j * c3 - s3j * s3, ns3 = s3j * c3 + c3j * s3;
    cj = nc, sj = ns, c3j = nc3, s3j = ns3;
  }
}

// Pairs (0.5 cos jp, 0.5 - 0.5 sin jp) for j = 1..pairs.
void MakeSplit(float* table, size_t pairs, double phi) {
  const double c1 = std::cos(phi), s1 = std::sin(phi);
  double cj = c1, sj = s1;
  for (size_t j = 0; j < pairs; ++j) {
    table[2 * j] = float(0.5 * cj);
    table[2 * j + 1] = float(0.5 - 0.5 * sj);
    const double nc = cj * c1 - sj * s1, ns = sj * c1 + cj * s1;
    cj = nc, sj = ns;
  }
}

// ---- real-input steps --------------------------------------------------------------------------
// With the split pair (c, s) of bin k: A = (s, -c), B = (1 - s, c). The spectrum of the real
// sequence is X[k] = A Z[k] + B conj(Z[M - k]); the inverse step is Z[k] = 2 (conj(A) X[k] +
// conj(B) conj(X[M - k])).

void RealSplit(float* x, const float* split, size_t m) {
  x[0] = x[0] + x[1];
  x[1] = 0.0f;
  for (size_t k = 1; k <= m / 2; ++k) {
    const size_t mk = m - k;
    const float c = split[2 * (k - 1)], s = split[2 * (k - 1) + 1];
    const float ar = s, ai = -c, br = 1.0f - s, bi = c;
    const float zr = x[2 * k], zi = x[2 * k + 1], yr = x[2 * mk], yi = x[2 * mk + 1];
    x[2 * k] = ar * zr - ai * zi + br * yr + bi * yi;
    x[2 * k + 1] = ar * zi + ai * zr + bi * yr - br * yi;
    if (mk != k) {
      x[2 * mk] = ar * yr + ai * yi + br * zr - bi * zi;
      x[2 * mk + 1] = ar * yi - ai * yr - br * zi - bi * zr;
    }
  }
}

void RealUnsplit(float* x, const float* split, size_t m) {
  const float dc = x[0], half = x[1];
  x[0] = dc + half;
  x[1] = dc - half;
  for (size_t k = 1; k <= m / 2; ++k) {
    const size_t mk = m - k;
    const float c = split[2 * (k - 1)], s = split[2 * (k - 1) + 1];
    const float ar = s, ai = -c, br = 1.0f - s, bi = c;
    const float xr = x[2 * k], xi = x[2 * k + 1], yr = x[2 * mk], yi = x[2 * mk + 1];
    x[2 * k] = 2.0f * (ar * xr + ai * xi + br * yr - bi * yi);
    x[2 * k + 1] = 2.0f * (ar * xi - ai * xr - br * yi - bi * yr);
    if (mk != k) {
      x[2 * mk] = 2.0f * (ar * yr - ai * yi + br * xr + bi * xi);
      x[2 * mk + 1] = 2.0f * (ar * yi + ai * yr + bi * xr - br * xi);
    }
  }
}

}  // namespace

float WindowValue(int32_t window, int32_t i, int32_t n) {
  if (n <= 0) return 1.0f;
  const long double x = i, len = n;
  const long double a = 2 * kPi * x / len;
  switch (window) {
    case fwHamming: return float(0.54L - 0.46L * std::cos(a));
    case fwHanning: return float(0.5L - 0.5L * std::cos(a));
    case fwBlackman: return float(0.42L - 0.5L * std::cos(a) + 0.08L * std::cos(2 * a));
    case fwGaussian: {
      const long double d = 2 * x - len;
      return float(std::exp(-5 * d * d / (len * len)));
    }
    case fwWelch: {
      const long double d = (2 * x - len) / (len + 1);
      return float(1 - d * d);
    }
    case fwParzen: return float(1 - std::fabs(2 * x - len) / (len + 1));
    default: return 1.0f;  // rectangular, and any number outside the enumeration
  }
}

void FillWindowTable(int32_t* table, int32_t window, int32_t order) {
  if (!table || order < 0 || order > 30) return;
  const int32_t n = int32_t(1) << order;
  for (int32_t i = 0; i < n; ++i) table[i] = int32_t(std::floor(WindowValue(window, i, n) * 32767.0L + 0.5L));
}

void FillBitReversal(int32_t* table, int32_t bits) {
  if (!table || bits < 0 || bits > 31) return;
  const uint64_t n = uint64_t(1) << bits;
  table[0] = 0;
  for (uint64_t i = 1; i < n; ++i) {
    const uint32_t half = uint32_t(table[i >> 1]) >> 1;
    table[i] = int32_t(half | (uint32_t(i & 1) << (bits - 1)));
  }
}

PMMFFTObject CreateFFT(int32_t order) {
  if (order < 1 || order > 31) return nullptr;
  auto* fft = new (std::nothrow) TMMFFTObject;
  if (!fft) return nullptr;
  const size_t n = size_t(1) << order, m = n / 2;
  fft->Order = order;
  fft->Length = uint32_t(n);
  fft->InvLength = float(1.0L / n);
  fft->BitReversal = new (std::nothrow) int32_t[m];
  fft->Twiddles = new (std::nothrow) float[m];  // N/4 x 8 bytes
  fft->Split = new (std::nothrow) float[m];     // N/4 x 8 bytes
  if (!fft->BitReversal || !fft->Twiddles || !fft->Split) {
    FreeFFT(fft);
    return nullptr;
  }
  FillBitReversal(fft->BitReversal, order - 1);
  MakeTwiddles(fft->Twiddles, m / 4, double(2 * kPi / m));
  MakeSplit(fft->Split, m / 2, double(2 * kPi / n));
  return fft;
}

void FreeFFT(PMMFFTObject fft) {
  if (!fft) return;
  delete[] fft->BitReversal;
  delete[] fft->Twiddles;
  delete[] fft->Split;
  delete fft;
}

void RealFFT(PMMFFTObject fft, float* data, int32_t direction) {
  if (!fft || !data) return;
  const size_t m = size_t(fft->Length) / 2;
  if (direction >= 0) {
    SplitRadix<false>(data, m, fft->Twiddles, 1);
    BitReverse(data, fft->BitReversal, m);
    RealSplit(data, fft->Split, m);
  } else {
    RealUnsplit(data, fft->Split, m);
    SplitRadix<true>(data, m, fft->Twiddles, 1);
    BitReverse(data, fft->BitReversal, m);
    Scale(data, 2 * m, fft->InvLength);
  }
}

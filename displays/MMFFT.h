#pragma once
// Window functions and the real-input FFT that the spectrum displays share. Plain routines on
// 32-bit floats; an FFT object holds the tables of one transform length and is made once per
// length, so a transform allocates nothing.
#include <cstdint>

enum TMMFFTWindow : int32_t { fwRectangular, fwHamming, fwHanning, fwBlackman, fwGaussian, fwWelch, fwParzen };

// The tables of one transform of N = 2^Order real points (M = N/2 complex points).
struct TMMFFTObject {
  int32_t Order = 0;
  uint32_t Length = 0;             // N; unsigned so that order 31 fits
  float InvLength = 0.0f;          // 1/N
  int32_t* BitReversal = nullptr;  // M entries: i with its Order-1 bits reversed
  float* Twiddles = nullptr;       // N/4 x 8 bytes: (cos jt, -sin jt, cos 3jt, -sin 3jt), t = 2pi/M, j = 1..
  float* Split = nullptr;          // N/4 x 8 bytes: (0.5 cos jp, 0.5 - 0.5 sin jp), p = 2pi/N, j = 1..M/2
};
using PMMFFTObject = TMMFFTObject*;

// Weight of sample i (0..N-1) of an N-point window; a window number outside the enumeration
// weighs 1.0. The windows divide by N, not N-1, so the last sample does not return to the first.
float WindowValue(int32_t window, int32_t i, int32_t n);
// Fills 2^order entries with Floor(w(i, N) x 32767 + 0.5): a full weight is 32767.
void FillWindowTable(int32_t* table, int32_t window, int32_t order);
// Fills 2^bits entries: entry i is i with its low `bits` bits reversed.
void FillBitReversal(int32_t* table, int32_t bits);

// The object for 2^order points, or nullptr for an order outside 1..31 or when memory is short.
PMMFFTObject CreateFFT(int32_t order);
void FreeFFT(PMMFFTObject fft);  // nullptr is allowed

// Transforms N floats in place. Forward (direction >= 0; the displays pass 1): N/2 unnormalised
// complex bins (re, im interleaved), bin 0 holding the DC sum with imaginary part 0; the value at
// half the sampling rate is not kept. Inverse (direction < 0): takes bins in that layout, with the
// half-rate value in place of bin 0's imaginary part, and gives back the samples scaled by 1/N, so
// RealFFT(-1) after RealFFT(1) restores any input without a component at half the sampling rate.
void RealFFT(PMMFFTObject fft, float* data, int32_t direction);

#pragma once
// The deck's format numbers and the built-in blank WAV headers it makes new carts from.
//
// Format number n (0..35) = 4 x rate step + 2 x (1 for 16 bits) + (1 for stereo), rate steps
// 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000 Hz, always PCM. Each number has a
// blank header "<n>WAVE": a complete WAV file whose data chunk is empty.
#include <cstdint>
#include <string>

constexpr int BlankHeaderFallback = 27;  // what a number outside 0..35 stands for

struct TCartFormat {
  int number = BlankHeaderFallback;  // the number as given, even when it is out of range
  int bits = 16;
  int channels = 2;
  int rate = 32000;
  std::string channelsText = "Stereo";  // "Mono" or "Stereo"
  std::string tagText = "PCM";
};

// The values of a format number; a number outside 0..35 gives those of 27.
TCartFormat CartFormatOf(int number);

// The bytes of the blank header of a format number (the header of 27 outside 0..35).
std::string BlankWaveHeader(int number);

// "<n>WAVE"
std::string BlankHeaderName(int number);

// Registers the 36 headers as the program's "WAVE" resources and lets the WAV layer find any
// registered "WAVE" resource by name (case-insensitively). Safe to call more than once.
void RegisterBlankHeaders();

// Writes the blank header of a number into a new file at path: an existing file is replaced, and a
// link there is removed, never written through.
// A number outside 0..35 writes the header of 27. False when the file could not be written whole.
bool WriteBlankHeader(int number, const std::string& path);

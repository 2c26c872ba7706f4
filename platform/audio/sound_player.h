#pragma once
// The system sound player: plays one WAV file (or a WAV image in memory) on the default output
// device, beside whatever the engine plays. One sound at a time; a new one replaces the old.
#include <cstddef>
#include <cstdint>

namespace plat {

constexpr uint32_t SND_SYNC = 0x0000;       // return when the sound has played
constexpr uint32_t SND_ASYNC = 0x0001;      // return at once
constexpr uint32_t SND_NODEFAULT = 0x0002;  // accepted; there is no default sound to fall back on
constexpr uint32_t SND_LOOP = 0x0008;       // repeat until stopped (with SND_ASYNC only)
constexpr uint32_t SND_NOSTOP = 0x0010;     // fail rather than interrupt a sound that plays

// Plays the WAV file at path; nullptr or "" stops the sound that plays. False when the file
// cannot be read as PCM WAV, the device refuses it, a sound plays and SND_NOSTOP is given, or the
// player has been shut down.
bool PlaySound(const char* path, uint32_t flags);
// The same, under the other name the engine's units use.
inline bool SndPlaySound(const char* path, uint32_t flags) { return PlaySound(path, flags); }
// Plays a WAV image held in memory; the image is copied.
bool PlaySoundImage(const void* image, size_t size, uint32_t flags);
// Stops the sound that plays; harmless when none does.
void StopSound();
bool SoundPlaying();
// Stops the sound and refuses new ones (program shut-down). Harmless to repeat.
void ShutdownSoundPlayer();

}  // namespace plat

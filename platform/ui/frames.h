#pragma once
// The screen's pace. What controls ask to show (an invalidation, a picture drawn straight onto a
// control's canvas) reaches the screen with the next frame: requests made between two frames are
// shown together, once, with whatever the controls hold by then. Without a frame clock every
// request is shown at once, as the toolkit would.
#include <cstdint>
#include <functional>

namespace plat {

class TFrameClock {
public:
  virtual ~TFrameClock() = default;
  virtual int64_t NowMicroseconds() = 0;
  // The time between two frames of the screen; 0 or less shows every request at once.
  virtual int64_t FrameMicroseconds() = 0;
  // Calls tick once on the UI thread, at atUs or as soon after as it can, replacing a call asked
  // for earlier and not yet made.
  virtual void CallAt(int64_t atUs, std::function<void()> tick) = 0;
};

// Installs the clock that frames are shown by (nullptr: none). What waits for a frame is shown at
// once. UI thread.
void SetFrameClock(TFrameClock* clock);
TFrameClock* FrameClock();
// The screen's: the monotonic clock, the primary screen's refresh rate (60 Hz when it gives none)
// and a precise timer on the UI thread. Needs the application object.
TFrameClock* ScreenFrameClock();
// Before the application object is made: on an X server the window's pictures are sent over the
// connection rather than through shared memory. With shared memory the toolkit waits for the
// server's answer before it paints again where it has just shown a picture, a round trip and two
// wakeups every frame; what a frame changes is small enough to send.
void SendPicturesOverTheConnection();
// The installed clock's time between frames; 0 without one.
int64_t FramePeriod();
// The first time at or after us at which a picture asked for then would reach the screen, on the
// installed clock (us itself without one).
int64_t NextFrameAt(int64_t us);

}  // namespace plat

#pragma once
// The punch-in marks of the cart in the deck and the recording limit the end mark shortened. The
// deck owns one; the punch-in panel ("Punch In Control", TForm22) shows it. Times are the slider's
// milliseconds. The marks live while the panel is open: closing it forgets them.
#include <cstdint>

class TPunchIn {
public:
  int64_t BeginMark() const { return begin_; }
  int64_t EndMark() const { return end_; }
  // A mark's value as given, without the order rule or the set flag.
  void SetBeginMark(int64_t ms) { begin_ = ms; }
  void SetEndMark(int64_t ms) { end_ = ms; }
  bool BeginMarkSet() const { return beginSet_; }
  bool EndMarkSet() const { return endSet_; }
  // A mark was placed since the panel opened.
  bool Used() const { return used_; }

  // Mark Beginning Point at pos. A begin mark after the end mark goes onto the end mark instead
  // (BeginPassesEnd tells beforehand, for the operator's message). Without an end mark, the end
  // mark goes to last (the slider's end) as well: then true, and the deck's Record goes off.
  bool BeginPassesEnd(int64_t pos) const { return endSet_ && pos > end_; }
  bool MarkBegin(int64_t pos, int64_t last);
  // Mark Ending Point at pos. An end mark before the begin mark goes onto the begin mark instead.
  // Without a begin mark, the begin mark goes to first (the slider's start). True when the end
  // mark is at pos: the deck's Record goes off.
  bool EndBeforeBegin(int64_t pos) const { return pos < begin_; }
  bool MarkEnd(int64_t pos, int64_t first);

  // Winding past a mark carries it along: Fast Forward to next beyond a placed end mark, Rewind
  // to next before the begin mark (to 0 when next is negative). True when the mark moved.
  bool WindForward(int64_t next);
  bool WindBack(int64_t next);
  // pos kept between the marks placed.
  int64_t Within(int64_t pos) const;

  // The input's limit before the end mark shortens it: kept from the first punch-in that had one.
  int64_t FullLimit() const { return fullLimit_; }
  void SaveLimit(int64_t maxRecordTime);

  // The panel's Outro plays from a second before the end mark, not from the begin mark.
  bool OutroRequested() const { return outroRequested_; }
  void RequestOutro() { outroRequested_ = true; }
  // Whether the outro was asked for; the request is used up.
  bool TakeOutroRequest();

  // Clear gives the saved full limit back (FullLimit(), when not 0) and then closes the panel.
  // Closing forgets the marks, their flags, the saved limit and an outro request, and returns the
  // limit the input gets back (0: keep its own).
  int64_t Close();

private:
  int64_t begin_ = 0, end_ = 0;
  bool beginSet_ = false, endSet_ = false;
  bool used_ = false;
  int64_t fullLimit_ = 0;  // 0: none saved
  bool outroRequested_ = false;
};

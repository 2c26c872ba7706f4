#pragma once
// "Punch In Control": the floating panel of the punch-in marks. It shows the begin and end marks
// and the time between the position and the end, with a gauge of the punch-in time used, and has
// buttons to go to the marks, clear them, and play into or out of the punch-in.
#include <cstdint>

#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "recorder/DeckKit.h"

// What the punch-in panel asks of the deck. The main form (TSVMain) implements it; the marks
// themselves are the deck's TPunchIn (PunchIn.h).
class TPunchInDeck {
public:
  virtual ~TPunchInDeck() = default;
  // Alt+B and Alt+E on the panel: the deck's Mark Beginning Point and Mark Ending Point.
  virtual void MarkBeginning1Click(plat::TObject* Sender) = 0;
  virtual void MarkEndingPoint1Click(plat::TObject* Sender) = 0;
  // GoTo Begin: the slider starts at the begin mark and the position goes there. GoTo End: the
  // position goes to the end mark.
  virtual void GoToBeginMark() = 0;
  virtual void GoToEndMark() = 0;
  // Clear, and Alt+P: the saved full limit comes back, then the panel closes.
  virtual void ClearPunchIn() = 0;
  // Intro and Outro act only while Play is enabled. Intro plays unless the deck plays already;
  // Outro plays from a second before the end mark.
  virtual bool PlayEnabled() const = 0;
  virtual void PlayIntro() = 0;
  virtual void PlayOutro() = 0;
  // What closing the panel does to the deck: the marks are forgotten.
  virtual void PunchInClosed() = 0;
  // The deck takes the keyboard back, when it shows.
  virtual void TakeFocus() = 0;
};

class TForm22 : public plat::TForm {
public:
  explicit TForm22(plat::TComponent* owner);
  std::string ClassName() const override { return "TForm22"; }

  TDeckLabel* Label1 = nullptr;  // the begin mark
  TDeckLabel* Label2 = nullptr;  // remaining: end mark - position
  TDeckLabel* Label3 = nullptr;  // the end mark
  TDeckLabel* BeginCaption = nullptr;
  TDeckLabel* RemainingCaption = nullptr;
  TDeckLabel* EndCaption = nullptr;
  TDeckSpeedButton* ZelSpeedButton1 = nullptr;  // GoTo Begin
  TDeckSpeedButton* ZelSpeedButton2 = nullptr;  // GoTo End
  TDeckSpeedButton* ZelSpeedButton3 = nullptr;  // Clear
  TDeckSpeedButton* ZelSpeedButton4 = nullptr;  // Intro
  TDeckSpeedButton* ZelSpeedButton5 = nullptr;  // Outro
  TDeckGauge* MMGauge1 = nullptr;               // "Punch In Time Used"
  plat::TTimer* Timer1 = nullptr;               // one shot, 10 ms: the focus back to the deck

  void ZelSpeedButton1Click(plat::TObject* Sender);
  void ZelSpeedButton2Click(plat::TObject* Sender);
  void ZelSpeedButton3Click(plat::TObject* Sender);
  void ZelSpeedButton4Click(plat::TObject* Sender);
  void ZelSpeedButton5Click(plat::TObject* Sender);
  void FormClose(plat::TObject* Sender, plat::TCloseAction& Action);
  void FormKeyDown(plat::TObject* Sender, uint16_t& Key, plat::TShiftState Shift);
  void FormShow(plat::TObject* Sender);
  void Timer1Timer(plat::TObject* Sender);

  // The three time labels read this before any mark is placed.
  static constexpr const char* kBlankTime = "00:00:00.000";
  // ... and this once the panel is closed.
  static constexpr const char* kClearedTime = "00.00.00.000";

  void SetDeck(TPunchInDeck* deck) { deck_ = deck; }

private:
  void FocusDeck();
  TPunchInDeck* deck_;
};

extern TForm22* Form22;

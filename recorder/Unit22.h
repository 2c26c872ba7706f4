#pragma once
// "Punch In Control": the floating panel of the punch-in marks. It shows the begin and end marks
// and the time between the position and the end, with a gauge of the punch-in time used, and has
// buttons to go to the marks, clear them, and play into or out of the punch-in.
#include <cstdint>

#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "recorder/DeckKit.h"

class TSVMain;

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

  void SetDeck(TSVMain* deck) { deck_ = deck; }

private:
  void FocusDeck();
  TSVMain* deck_;
};

extern TForm22* Form22;

// The deck's keys: one table of bindings (a key with the modifier keys it takes → the routine it
// runs). The deck previews every key of its window; the punch-in panel has keys of its own
// (TForm22::FormKeyDown).
#include <algorithm>

#include "recorder/Unit1.h"
#include "recorder/Unit22.h"

using namespace plat;

namespace {
constexpr int kKeyJumpMs = 5000;

int StepUp(int step) {
  switch (step) {
    case 1: return 10;
    case 10: return 100;
    case 100: return 1000;
    case 1000: return 10000;
    default: return 100000;
  }
}

int StepDown(int step) {
  switch (step) {
    case 100000: return 10000;
    case 10000: return 1000;
    case 1000: return 100;
    case 100: return 10;
    default: return 1;
  }
}

// Which of TSVMain::TKeyMods the modifier keys held are; two or more held together match only kmAny.
uint8_t HeldMods(TShiftState shift) {
  switch (shift & (ssShift | ssAlt | ssCtrl)) {
    case 0: return TSVMain::kmNone;
    case ssShift: return TSVMain::kmShift;
    case ssAlt: return TSVMain::kmAlt;
    case ssCtrl: return TSVMain::kmCtrl;
    default: return TSVMain::kmCombined;
  }
}

// A button's key acts only while its button is enabled, a menu key only while its item is.
template <class C>
TSVMain::TDeckRoutine IfEnabled(C* TSVMain::*control, void (TSVMain::*handler)(TObject*)) {
  return [control, handler](TSVMain& d) {
    if ((d.*control)->Enabled()) (d.*handler)(d.*control);
  };
}
}  // namespace

const std::vector<TSVMain::TKeyBinding>& TSVMain::KeyBindings() {
  auto stepUp = [](TSVMain& d) {
    d.FFRewStep = StepUp(d.FFRewStep);
    d.ShowSensitivity(d.FFRewStep, false);
  };
  auto stepDown = [](TSVMain& d) {
    d.FFRewStep = StepDown(d.FFRewStep);
    d.ShowSensitivity(d.FFRewStep, false);
  };
  auto quickCart = [](TSVMain& d) {
    if (d.LoadBlankQuickCart1->Enabled()) d.JustQuickCart();
  };
  static const std::vector<TKeyBinding> table = {
      {VK_F2, kmNone, kwAlsoRecording, IfEnabled(&TSVMain::PauseButton, &TSVMain::PauseButtonClick)},
      {VK_F3, kmNone, kwNotRecording, IfEnabled(&TSVMain::PlayButton, &TSVMain::PlayButtonClick)},
      {VK_F4, kmNone, kwAlsoRecording, IfEnabled(&TSVMain::StopButton, &TSVMain::StopButtonClick)},
      {VK_F5, kmNone, kwAlsoRecording, IfEnabled(&TSVMain::RecordButton, &TSVMain::RecordButtonClick)},
      {VK_F6, kmNone, kwNotRecording, IfEnabled(&TSVMain::EditButton, &TSVMain::EditButtonClick)},
      {VK_F7, kmNone, kwNotRecording, IfEnabled(&TSVMain::EjectButton, &TSVMain::EjectButtonClick)},
      {VK_F8, kmNone, kwNotRecording, IfEnabled(&TSVMain::LoadButton, &TSVMain::LoadButtonClick)},
      {VK_F9, kmNone, kwNotRecording, IfEnabled(&TSVMain::SaveButton, &TSVMain::SaveButtonClick)},
      {VK_F10, kmNone, kwNotRecording, IfEnabled(&TSVMain::OtherButton, &TSVMain::OtherButtonClick)},
      {VK_F11, kmNone, kwNotRecording, IfEnabled(&TSVMain::RewindButton, &TSVMain::RewindButtonClick)},
      {VK_F12, kmNone, kwNotRecording, IfEnabled(&TSVMain::FastForwardButton, &TSVMain::FastForwardButtonClick)},
      {VK_HOME, kmNone, kwNotRecording,
       [](TSVMain& d) {
         if (!d.TrackBar->Enabled()) return;
         d.SetSliderPosition(0);
         d.Seek();
       }},
      {VK_END, kmNone, kwNotRecording,
       [](TSVMain& d) {
         if (!d.TrackBar->Enabled()) return;
         d.SetSliderPosition(std::max<int64_t>(int64_t(d.TrackBar->MaxValue()) - kKeyJumpMs, d.TrackBar->MinValue()));
         d.SetSliderMax(d.WaveLength());
         d.Seek();
       }},
      {VK_BACK, kmNone, kwNotRecording,
       [](TSVMain& d) {
         if (!d.TrackBar->Enabled()) return;
         d.SetSliderMax(d.WaveLength());
         d.SetSliderPosition(std::max<int64_t>(int64_t(d.TrackBar->Position()) - kKeyJumpMs, d.TrackBar->MinValue()));
         d.Seek();
       }},
      {VK_ADD, kmNone, kwNotRecording, stepUp},
      {VK_OEM_PLUS, kmAny, kwNotRecording, stepUp},  // so Shift+"=" works too
      {VK_SUBTRACT, kmNone, kwNotRecording, stepDown},
      {VK_OEM_MINUS, kmNone, kwNotRecording, stepDown},
      {VK_DIVIDE, kmNone, kwNotRecording,
       [](TSVMain& d) {
         if (d.PunchInShown()) Form22->ZelSpeedButton4Click(Form22);  // Intro
       }},
      {VK_MULTIPLY, kmNone, kwNotRecording,
       [](TSVMain& d) {
         if (d.PunchInShown()) Form22->ZelSpeedButton5Click(Form22);  // Outro
       }},
      {VK_INSERT, kmNone | kmShift | kmAlt, kwNotRecording,
       IfEnabled(&TSVMain::LoadBlankQuickCart1, &TSVMain::LoadBlankQuickCart1Click)},
      {VK_INSERT, kmCtrl, kwNotRecording, quickCart},
      {VK_HOME, kmCtrl, kwNotRecording, quickCart},

      {'A', kmCtrl, kwNotRecording, IfEnabled(&TSVMain::LoadCart1, &TSVMain::LoadCart1Click)},
      {'P', kmCtrl, kwNotRecording, IfEnabled(&TSVMain::LoadCartPlayOnly1, &TSVMain::LoadCartPlayOnly1Click)},
      {'E', kmCtrl, kwNotRecording, IfEnabled(&TSVMain::LoadPlayFile1, &TSVMain::LoadPlayFile1Click)},
      {'N', kmCtrl, kwNotRecording, [](TSVMain& d) { d.LoadByName1Click(d.LoadByName1); }},
      {'S', kmCtrl, kwNotRecording, IfEnabled(&TSVMain::LoadStandardCart1, &TSVMain::LoadStandardCart1Click)},
      {'U', kmCtrl, kwNotRecording, IfEnabled(&TSVMain::LoadBlankcustomCart1, &TSVMain::LoadBlankcustomCart1Click)},
      {'L', kmCtrl, kwNotRecording, IfEnabled(&TSVMain::LoopPlay1, &TSVMain::LoopPlay1Click)},
      {'M', kmCtrl, kwNotRecording, IfEnabled(&TSVMain::AnalogMeters1, &TSVMain::AnalogMeters1Click)},
      {'W', kmCtrl, kwNotRecording, IfEnabled(&TSVMain::Mixer1, &TSVMain::Mixer1Click)},
      {'Q', kmCtrl, kwNotRecording, IfEnabled(&TSVMain::MultimediaProperties1, &TSVMain::MultimediaProperties1Click)},
      {'F', kmCtrl, kwNotRecording, IfEnabled(&TSVMain::SetupStandardCart1, &TSVMain::SetupStandardCart1Click)},
      {'D', kmCtrl, kwNotRecording, IfEnabled(&TSVMain::AdvancedSettings1, &TSVMain::AdvancedSettings1Click)},
      {'B', kmCtrl, kwNotRecording, IfEnabled(&TSVMain::BeepSpeakerAt0VU1, &TSVMain::BeepSpeakerAt0VU1Click)},
      {'G', kmCtrl, kwNotRecording, [](TSVMain& d) { d.GoToTime1Click(d.GoToTime1); }},
      {'I', kmCtrl, kwNotRecording, [](TSVMain& d) { d.LogInUser1Click(d.LogInUser1); }},
      {'O', kmCtrl, kwNotRecording, [](TSVMain& d) { d.LogOutUser1Click(d.LogOutUser1); }},
      {'K', kmCtrl, kwNotRecording, [](TSVMain& d) { d.EditTemplateLibrary1Click(d.EditTemplateLibrary1); }},

      {'A', kmAlt, kwNotRecording, IfEnabled(&TSVMain::LRArrowSensitivity1, &TSVMain::LRArrowSensitivity1Click)},
      {'M', kmAlt, kwNotRecording, IfEnabled(&TSVMain::Sendbutton, &TSVMain::SendbuttonClick)},
      {'I', kmAlt, kwNotRecording, IfEnabled(&TSVMain::Infobutton, &TSVMain::InfobuttonClick)},
      {'W', kmAlt, kwNotRecording, IfEnabled(&TSVMain::imeLeftWarning1, &TSVMain::imeLeftWarning1Click)},
      {'B', kmAlt, kwNotRecording, IfEnabled(&TSVMain::MarkBeginning1, &TSVMain::MarkBeginning1Click)},
      {'E', kmAlt, kwNotRecording, IfEnabled(&TSVMain::MarkEndingPoint1, &TSVMain::MarkEndingPoint1Click)},
      {'P', kmAlt, kwNotRecording,
       [](TSVMain& d) {
         if (d.PunchInShown()) d.ClearPunchIn();
       }},
      {'B', kmShift, kwPunchInShown, [](TSVMain&) { Form22->ZelSpeedButton1Click(Form22); }},  // GoTo Begin
      {'E', kmShift, kwPunchInShown, [](TSVMain&) { Form22->ZelSpeedButton2Click(Form22); }},  // GoTo End
  };
  return table;
}

const TSVMain::TKeyBinding* TSVMain::KeyBinding(uint16_t key, TShiftState shift) const {
  const uint8_t held = HeldMods(shift);
  for (const TKeyBinding& b : KeyBindings()) {
    if (b.key != key || !(b.mods & held)) continue;
    if (Recording && b.when != kwAlsoRecording) continue;
    if (b.when == kwPunchInShown && !PunchInShown()) continue;
    return &b;
  }
  return nullptr;
}

void TSVMain::FormKeyDown(TObject*, uint16_t& Key, TShiftState Shift) {
  const TKeyBinding* binding = KeyBinding(Key, Shift);
  if (!binding) return;
  binding->run(*this);
  Key = 0;
}

void TSVMain::RecordButtonKeyDown(TObject*, uint16_t& Key, TShiftState) {
  if (Key == VK_SPACE) SwallowRecordClick = true;
}

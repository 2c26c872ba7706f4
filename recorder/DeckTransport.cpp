// The deck's transport: its state routines, the buttons, the slider and the timers.
#include <algorithm>
#include <cerrno>
#include <utility>

#include "engine/MMConect.h"
#include "engine/MMHTimer.h"
#include "engine/MMRingBf.h"
#include "engine/MMUtils.h"
#include "engine/MMWavIn.h"
#include "engine/MMWavOut.h"
#include "engine/MMWInfo.h"
#include "engine/MMWave.h"
#include "platform/system/files.h"
#include "platform/ui/inifiles.h"
#include "recorder/CartFiles.h"
#include "recorder/CartNames.h"
#include "recorder/CartTail.h"
#include "recorder/DeckTemp.h"
#include "recorder/FileUtils.h"
#include "recorder/ForcedEnd.h"
#include "recorder/Sending.h"
#include "recorder/Unit1.h"
#include "recorder/Unit14.h"
#include "recorder/Unit2.h"
#include "recorder/Unit6.h"
#include "recorder/Unit22.h"
#include "recorder/Unit23.h"
#include "recorder/Unit24.h"
#include "recorder/Unit26.h"
#include "recorder/Unit3.h"
#include "recorder/WinUtils.h"

using namespace plat;

// ---- small pieces -------------------------------------------------------------------------------

std::string TSVMain::FormatTime(int64_t ms) const {
  std::string t = TimeToText(true, ms);
  const std::string pad = "00:00:00.000";
  if (!t.empty() && t.size() <= 11) t = pad.substr(0, 12 - t.size()) + t;
  if (Config.shortTimers) {
    size_t dot = t.find('.');
    if (dot != std::string::npos) t.resize(dot);
  }
  return t;
}

void TSVMain::ShowTime(TDeckLabel* label, int64_t ms, const std::string& hint) {
  std::string t = FormatTime(std::max<int64_t>(ms, 0));
  label->SetCaption(t);
  label->SetHint(hint + t);
}

std::string TSVMain::FormatDescription(TMMWave* wave) {
  std::string rate = std::to_string(wave->SampleRate());
  if (rate.size() > 3) rate.insert(rate.size() - 3, ".");
  return wave->FormatString() + ", " + rate + " kHz" + ", " + std::to_string(wave->BitLength()) + " Bit" +
         (wave->Mode() == mStereo ? ", Stereo" : ", Mono");
}

void TSVMain::ShowCartFormat(TMMWave* wave) {
  FormatLabel->SetCaption(FormatDescription(wave));
  BytesLabel->SetCaption(std::to_string(wave->FileSize()));
}

void TSVMain::Label12Caption(const std::string& path) {
  NameLabel1->SetCaption("");
  NameLabel2->SetCaption("");
  NameLabel3->SetCaption("");
  std::string name = ExtractFileName(path);
  if (name.empty()) return;
  auto from = [&](size_t first, size_t count) {
    std::string part = first < name.size() ? name.substr(first, count) : std::string();
    size_t lead = part.find_first_not_of(' ');
    return lead == std::string::npos ? std::string() : part.substr(lead);
  };
  if (name.size() < 33) {
    NameLabel1->SetCaption("..\\" + name);
    return;
  }
  NameLabel1->SetCaption("..\\" + name.substr(0, 33));
  NameLabel2->SetCaption(from(33, 37));
  if (name.size() >= 71) NameLabel3->SetCaption(FitLine(NameLabel3, from(70, 200)));
}

std::string TSVMain::FitLine(TDeckLabel* label, const std::string& text) {
  plat::TBitmap scratch(1, 1);
  TCanvas c(&scratch);
  c.SetFont(*label->Font());
  if (c.TextWidth(text) <= label->Width()) return text;
  std::string t = text;
  while (!t.empty() && c.TextWidth(t + "...") > label->Width()) t.pop_back();
  return t + "...";
}

void TSVMain::EnableSendButtons(bool enable) {
  Sendbutton->SetEnabled(enable && EmailProgramPresent(ProgramFolder()));
  WebButton->SetEnabled(enable && WebProgramPresent(ProgramFolder()));
}

void TSVMain::SetLoadEnabled(bool on) {
  LoadButton->SetEnabled(on);
  if (!on) LoadButton->Font()->SetColor(clBlack);
}

void TSVMain::SetMetersEnabled(bool on) {
  for (TDeckLevel* l : {MMLevel1, MMLevel2}) {
    l->SetEnabled(on);
    l->ResetData();
  }
  for (TDeckMeter* m : {MMMeter1, MMMeter2}) {
    m->SetEnabled(on);
    m->ResetData();
  }
}

void TSVMain::EnableForRecording() {
  Enable(RecordButton, true);
  for (TDeckButton* b : {PauseButton, PlayButton, StopButton, RewindButton, FastForwardButton, EditButton, SaveButton})
    Enable(b, false);
  Enable(EjectButton, true);
  SetLoadEnabled(false);
  Enable(OtherButton, true);
  SetMetersEnabled(true);
}

void TSVMain::Focus(TDeckButton* button) {
  if (button->Enabled() && button->Showing()) button->SetFocus();
}

bool TSVMain::CartGone() {
  KeepHeldTake(false, TTell::Now);
  // A take the deck holds is never gone: a playback that holds it open writes it out at its end.
  if (RecordFileName.empty() || takeFile_.IsHeld() || FileExists(RecordFileName)) return false;
  Notify(TNoticeKind::Information, FileGoneText(RecordFileName));
  Eject();
  return true;
}

int64_t TSVMain::WaveLength() const { return PlayFile->Wave()->DataSize(); }

int64_t TSVMain::PlayRangeEnd() const {
  int64_t end = PlayFile->Wave()->GetEndPos();
  return end < 0 ? 0 : end;
}

void TSVMain::SetSliderMax(int64_t ms) { TrackBar->SetMaxValue(int32_t(std::clamp<int64_t>(ms, 0, INT32_MAX))); }

void TSVMain::SetSliderPosition(int64_t ms) { TrackBar->SetPosition(int32_t(std::clamp<int64_t>(ms, 0, INT32_MAX))); }

// ---- state routines -----------------------------------------------------------------------------

void TSVMain::EmptyDeck() {
  for (TDeckButton* b : {RecordButton, PauseButton, PlayButton, StopButton, RewindButton, FastForwardButton, EditButton,
                         EjectButton, SaveButton})
    Enable(b, false);
  SetLoadEnabled(true);
  EnableSendButtons(false);
  Enable(Infobutton, false);
  Enable(OtherButton, true);
  SetMetersEnabled(false);
  TrackBar->SetEnabled(false);
  // GoTo Begin may have left the slider starting at a mark: the next cart has the whole range.
  TrackBar->SetMinValue(0);
  SetSliderPosition(0);
  if (!PlayOnly && !FirstShowing) {
    // A cart whose finish failed is finished now if it can be; the emptying leaves what it keeps.
    FinishKeptCart(DeckTempFolder());
    EmptyDeckTemp(DeckTempFolder());
  }
  RecordFileName.clear();
  takeFile_.Release();
  takeBackText_.clear();
  if (!rescuedTake_.empty()) DeleteFile(std::exchange(rescuedTake_, {}));
  rescue_.Release();
  if (!madeRescue_.empty()) RemoveDir(std::exchange(madeRescue_, {}));
  PlayFile->Wave()->FreeWave();
  RecFile->Wave()->FreeWave();
  CurrentPosition->SetCaption(Config.shortTimers ? "00:00:00" : "00:00:00.000");
  ShowTime(TimeLeft, WaveLength(), "Time Left ");
  ShowTime(MaxTime, WaveLength(), "Max Time ");
  RecTimeLeft->SetVisible(false);
  RecTimeLeftCaption->SetVisible(false);
  FormatLabel->SetCaption("");
  BytesLabel->SetCaption("");
  Label12Caption("");
  DeckEmpty = true;
  DeckLoaded = false;
  ChangedSinceSave = false;
  CartKind.clear();
  PlayOnly = false;
  FileMustExist = false;
  Recovered = false;
  // The save folder and lockout belong to the program this cart was made from, not the next cart.
  UserData.cart.saveFolder.clear();
  UserData.cart.lockoutHours = 0;
  // Only Load blinks on an empty deck.
  Stopped = Playing = Paused = Recording = false;
  FlashTimer->SetEnabled(true);
}

void TSVMain::LoadedDeck() {
  TMMWave* w = PlayFile->Wave();
  // A copy for editing is heard before it is recorded into, unless it holds no audio to hear: a
  // cart prepared elsewhere for the operator to record into.
  Enable(RecordButton, !(CartKind == KindPlay && CartOrigin != OriginExisting) || !w->HasData());
  Enable(PauseButton, false);
  Enable(PlayButton, true);
  Enable(StopButton, true);
  Enable(RewindButton, false);
  Enable(FastForwardButton, true);
  Enable(EditButton, Config.editButtonEnabled);
  Enable(EjectButton, true);
  SetLoadEnabled(false);
  Enable(SaveButton, !PlayOnly);
  EnableSendButtons(true);
  Enable(Infobutton, true);
  Enable(OtherButton, true);
  SetMetersEnabled(true);
  ShowTime(TimeLeft, PlayRangeEnd(), "Time Left ");
  if (Config.useLengthForAllWav) ShowTime(MaxTime, TimeIntToSec(StdLength) * 1000, "Max Time ");
  else ShowTime(MaxTime, PlayRangeEnd(), "Max Time ");
  ShowCartFormat(w);
  Label12Caption(w->FileName());
  TrackBar->SetEnabled(true);
  SetSliderPosition(0);
  SetSliderMax(WaveLength());
  StartOffset = 0;
  DeckLoaded = true;
  DeckEmpty = false;
  Stopped = true;
  Focus(StopButton);
}

void TSVMain::PlayDeck() {
  if (Paused) {
    PauseButtonClick(PauseButton);
    return;
  }
  if (Playing) return;
  if (TrackBar->Position() >= TrackBar->MaxValue()) return;
  for (TDeckButton* b :
       {RecordButton, PauseButton, PlayButton, StopButton, RewindButton, FastForwardButton, EjectButton, OtherButton})
    Enable(b, true);
  Enable(EditButton, false);
  SetLoadEnabled(false);
  Enable(SaveButton, false);
  EnableSendButtons(false);
  Enable(Infobutton, false);
  SetMetersEnabled(true);
  Stopped = false;
  ShowCartFormat(PlayFile->Wave());
  SetSliderMax(WaveLength());
  const bool outro = punchIn_.TakeOutroRequest();
  if (PunchInShown() && !outro && punchIn_.BeginMark() != 0) SetSliderPosition(punchIn_.BeginMark());
  StartOffset = TrackBar->Position();
  PlayRingBuffer->ClearQueue();
  PlayFile->Wave()->SetPosition(StartOffset);
  Playing = true;
  Tracking = false;
  try {
    MMWaveOut1->Start();
  } catch (...) {
    Playing = false;
    Stopped = true;
    Timer->SetEnabled(false);
    UpdatePlayControls();
    throw;
  }
  FlashTimer->SetEnabled(true);
}

void TSVMain::StopStuff() {
  Focus(StopButton);
  WaveIn->Stop();
  MMWaveOut1->Stop();
  Gpi.Send(TGpiEvent::Stop);
}

void TSVMain::UpdatePlayControls() {
  TrackBar->SetEnabled(true);
  if (Recording) return;
  Enable(RecordButton, !PlayOnly);
  Enable(PauseButton, false);
  Enable(RewindButton, true);
  Enable(EditButton, Config.editButtonEnabled);
  Enable(SaveButton, !PlayOnly);
  EnableSendButtons(true);
  Enable(Infobutton, true);
  int64_t length = WaveLength();
  int64_t out = MMWaveOut1->IsOpen() ? MMWaveOut1->Position() : 0;
  int64_t pos = out + StartOffset;
  // A playback that ended within 5 ms of the end shows the whole length.
  if (length - pos <= 5) {
    StartOffset = length - out;
    pos = length;
  }
  KeepHeldTake(false, TTell::Later);
  std::string name = RecordFileName;
  PlayFile->Wave()->FreeWave();
  if (!name.empty() && FileExists(name)) PlayFile->Wave()->SetFileName(name);
  Playing = Paused = Recording = false;
  Stopped = true;
  Timer->SetEnabled(false);
  SetSliderMax(WaveLength());
  ShowHeldPosition(pos, length);
  if (TrackBar->Position() >= TrackBar->MaxValue()) {
    Enable(PlayButton, false);
    Enable(FastForwardButton, false);
  }
}

// The display timer moves the slider four times a second; where the deck comes to rest the
// slider, Current Position and Time Left all show the same time, so a mark placed or a punch-in
// started now is at the time the operator reads. The slider keeps inside the punch-in marks.
void TSVMain::ShowHeldPosition(int64_t pos, int64_t end) {
  if (PunchInShown()) pos = punchIn_.Within(pos);
  SetSliderPosition(pos);
  pos = TrackBar->Position();
  ShowTime(CurrentPosition, pos, "Current Time ");
  ShowTime(TimeLeft, end - pos, "Time Left ");
  if (RecTimeLeft->Visible()) ShowTime(RecTimeLeft, RecordingLimit - pos, "Recording Time Left ");
}

void TSVMain::UpdateRecControls() {
  Enable(RecordButton, !PlayOnly);
  Enable(PauseButton, false);
  Enable(RewindButton, true);
  if (DeckLoaded) Enable(EditButton, Config.editButtonEnabled);
  Enable(EjectButton, true);
  Enable(SaveButton, !PlayOnly);
  EnableSendButtons(true);
  Enable(Infobutton, true);
  Enable(OtherButton, true);
  TrackBar->SetEnabled(true);
  KeepHeldTake(false, TTell::Later);
  std::string name = RecordFileName;
  PlayFile->Wave()->FreeWave();
  if (!name.empty() && FileExists(name)) PlayFile->Wave()->SetFileName(name);
  ShowCartFormat(PlayFile->Wave());
  SetSliderMax(WaveLength());
  SetSliderPosition(TrackBar->MaxValue());
  TrackBarTrack(TrackBar);
  TrackBarTrackEnd(TrackBar);
  ShowTime(CurrentPosition, PlayRangeEnd(), "Current Time ");
  RecTimeLeft->SetCaption(TimeLeft->Caption());
  if (TrackBar->Position() >= TrackBar->MaxValue()) {
    Enable(PlayButton, false);
    Enable(FastForwardButton, false);
    if (CurrentPosition->Caption() == MaxTime->Caption()) Enable(RecordButton, false);
  }
  Playing = Paused = Recording = false;
  Stopped = true;
}

// ---- transport buttons -------------------------------------------------------------------------

void TSVMain::PlayButtonClick(TObject*) {
  if (BusySaving || DiskStillHoldsTake()) return;
  if (CartGone()) return;
  // The slider keeps a range of at least 1 ms: a cart at rest without audio is at its end, not a
  // device that failed to start. A paused take into it still resumes.
  if (PunchInShown() && TrackBar->Position() == punchIn_.EndMark() && punchIn_.BeginMark() == 0) {
    StopStuff();
  } else if (TrackBar->Position() < TrackBar->MaxValue() && (!Stopped || PlayFile->Wave()->HasData())) {
    Focus(PlayButton);
    if (Paused) {
      if (PauseButton->Enabled()) PauseButtonClick(PauseButton);
    } else {
      PlayDeck();
    }
  } else {
    StopStuff();
  }
}

void TSVMain::StopButtonClick(TObject*) {
  if (BusySaving || DiskStillHoldsTake()) return;
  StopStuff();
}

void TSVMain::PauseButtonClick(TObject*) {
  if (BusySaving || DiskStillHoldsTake()) return;
  Focus(PauseButton);
  auto resumeFailed = [this] {
    Notify(TNoticeKind::Error, "The specified device is currently in use. Wait until it is free, then try again.");
    StopStuff();
  };
  if (Paused && Recording) {
    try {
      WaveIn->Restart();
    } catch (const std::exception&) {
      resumeFailed();
      return;
    }
    Gpi.Send(TGpiEvent::Record);
    Playing = false;
    Recording = true;
    Paused = false;
  } else if (Paused) {
    try {
      MMWaveOut1->Restart();
    } catch (const std::exception&) {
      resumeFailed();
      return;
    }
    Playing = true;
    Focus(PlayButton);
    Enable(RecordButton, true);
    Paused = false;
  } else if (Recording) {
    WaveIn->Pause();
    PausePosition = RecFile->Wave()->GetPosition();
    ShowHeldPosition(StartOffset + WaveIn->Position(), RecordingLimit);
    EnableSendButtons(false);
    Gpi.Send(TGpiEvent::Stop);
    Paused = true;
    Enable(RecordButton, !PlayOnly);
  } else if (Playing) {
    Playing = false;
    MMWaveOut1->Pause();
    PausePosition = MMWaveOut1->Position();
    ShowHeldPosition(StartOffset + PausePosition, PlayRangeEnd());
    EnableSendButtons(true);
    Gpi.Send(TGpiEvent::Stop);
    Paused = true;
    Enable(RecordButton, !PlayOnly);
  }
}

void TSVMain::EjectButtonClick(TObject*) { Eject(); }

bool TSVMain::Eject() {
  if (BusySaving || DiskStillHoldsTake()) return false;
  if (!Stopped) StopStuff();
  // A take whose disk has just held up its stop stays in the deck (the deck says so).
  if (DiskHoldsTake) return false;
  if (ChangedSinceSave) {
    if (plat::MessageDlg("The current file has been changed and not saved. If you eject this file "
                         "\r\nnow, all changes will be lost. Are you sure you want to eject this "
                         "file? ",
                         mtConfirmation, mbYesNo) != mrYes) {
      KeepHeldTake(false, TTell::Now);
      return false;
    }
    // The marks and the saved limit belong to this cart, not the next.
    if (PunchInShown()) Form22->Close();
  } else if (PunchInShown()) {
    Form22->ZelSpeedButton3Click(Form22);
    if (PunchInShown()) Form22->Close();
  }
  EmptyDeck();
  return true;
}

void TSVMain::FastForwardButtonClick(TObject*) {
  if (BusySaving) return;
  Focus(FastForwardButton);
  if (CartGone()) return;
  int64_t pos = TrackBar->Position(), max = TrackBar->MaxValue();
  if (pos >= max) {
    Enable(FastForwardButton, false);
    Enable(PlayButton, false);
    return;
  }
  int64_t next = pos + FFRewStep;
  if (next >= max) {
    SetSliderPosition(max);
  } else if (PunchInShown() && punchIn_.WindForward(next)) {
    SetSliderPosition(next);
    ShowMarks();
  } else {
    SetSliderPosition(next);
  }
  Seek();
  Enable(RewindButton, true);
}

void TSVMain::RewindButtonClick(TObject*) {
  if (BusySaving) return;
  Focus(RewindButton);
  if (CartGone()) return;
  Enable(FastForwardButton, true);
  int64_t pos = TrackBar->Position();
  if (pos <= 0) Enable(RewindButton, false);
  int64_t next = pos - FFRewStep;
  if (PunchInShown() && punchIn_.WindBack(next)) {
    SetSliderPosition(punchIn_.BeginMark());
    ShowMarks();
  } else {
    SetSliderPosition(std::max<int64_t>(next, 0));
  }
  Seek();
}

void TSVMain::Seek() {
  TrackBarTrack(TrackBar);
  TrackBarTrackEnd(TrackBar);
}

void TSVMain::LoadButtonClick(TObject*) {
  if (BusySaving) return;
  TPoint p = LoadButton->ClientToScreen({0, 0});
  TPoint s = TrackBar->ClientToScreen({0, 0});
  LoadMenu->SetPopupComponent(LoadButton);
  LoadMenu->Popup(p.X, s.Y);
}

void TSVMain::OtherButtonClick(TObject*) {
  if (BusySaving) return;
  TPoint p = OtherButton->ClientToScreen({0, 0});
  TPoint f = FastForwardButton->ClientToScreen({0, 0});
  OtherMenu->SetPopupComponent(OtherButton);
  OtherMenu->Popup(p.X, f.Y);
}

void TSVMain::EditButtonClick(TObject*) {
  if (BusySaving) return;
  Focus(EditButton);
  if (CartGone()) return;
  bool started = false;
  for (TMMWaveFile* f : {PlayFile, RecFile}) {
    if (started || !f->Wave()->HasData()) continue;
    started = StartProcess("xdg-open", {f->Wave()->FileName()});
  }
  if (!started) Application->MessageBox("Couldn't execute the application", "Error", MB_OK | MB_ICONEXCLAMATION);
  Focus(StopButton);
}

void TSVMain::InfobuttonClick(TObject*) {
  if (BusySaving) return;
  // The editor works on the wave's lists in memory, which the end of a running or paused take
  // frees (the play file is loaded again), so the deck must stand still.
  if (Playing || Recording || Paused) return;
  KeepHeldTake(false, TTell::Now);
  TMMWave* play = PlayFile->Wave();
  TMMWave* rec = RecFile->Wave();
  TMMWaveFile* source = play->HasData() ? PlayFile : rec->HasData() ? RecFile : nullptr;
  if (!source) return;
  // Both file components hold the same file once a take was recorded: one editor for it, not a
  // second one showing the lists as they were read, whose OK would write them back.
  WaveInfoEditor1->SetWriteToFile(!PlayOnly);
  WaveInfoEditor1->SetSource(source);
  bool edited = false;
  try {
    edited = WaveInfoEditor1->Execute();
  } catch (...) {
    WaveInfoEditor1->SetSource(PlayFile);
    throw;
  }
  WaveInfoEditor1->SetSource(PlayFile);
  if (edited && PlayOnly) {
    const std::string& name = source->Wave()->FileName();
    Notify(TNoticeKind::Warning, FileReadOnly(name) ? WaveInfoRefusal(TWaveInfoWrite::ReadOnly)
                                                    : WaveInfoNotTaken("the cart is loaded play only"));
    return;
  }
  // The recording side reads the file again, so a punch-in keeps the new lists.
  if (edited && source == PlayFile && !rec->FileName().empty() && SameCartFile(rec->FileName(), play->FileName())) {
    const std::string name = rec->FileName();
    rec->SetFileName("");
    rec->SetFileName(name);
  }
}
void TSVMain::SendbuttonClick(TObject*) {
  if (BusySaving) return;
  KeepHeldTake(false, TTell::Now);
  SendByEmail(*this, *Form2);
}

void TSVMain::WebButtonClick(TObject*) {
  if (BusySaving) return;
  KeepHeldTake(false, TTell::Now);
  SendToWeb(*this, *Form6);
}

// ---- slider -------------------------------------------------------------------------------------

void TSVMain::TrackBarTrack(TObject*) {
  if (Recording) return;
  Tracking = true;
  int64_t pos = TrackBar->Position();
  ShowTime(CurrentPosition, pos, "Current Time ");
  ShowTime(TimeLeft, PlayRangeEnd() - pos, "Time Left ");
  if (CartKind == KindQuick || CartKind == KindStandard || CartKind == KindCustom) {
    RecTimeLeft->SetVisible(true);
    RecTimeLeftCaption->SetVisible(true);
    ShowTime(RecTimeLeft, RecordingLimit - pos, "Recording Time Left ");
  }
}

void TSVMain::TrackBarTrackEnd(TObject*) {
  if (Recording) return;
  TrackBar->SetMinValue(0);
  SetSliderMax(WaveLength());
  int64_t pos = TrackBar->Position();
  if (pos >= TrackBar->MaxValue()) {
    Enable(PlayButton, false);
    Enable(FastForwardButton, false);
  } else {
    Enable(PlayButton, true);
    Enable(FastForwardButton, true);
    Enable(RecordButton, !PlayOnly);
  }
  if (Playing || Paused) {
    MMWaveOut1->Pause();
    StartOffset = pos;
    // The ring buffer's thread reads the wave: its queue goes before the wave moves.
    PlayRingBuffer->ClearQueue();
    PlayFile->Wave()->SetPosition(pos);
    PlayFile->Wave()->SetEndPos(WaveLength());
    PlayRingBuffer->ClearQueue();
    MMWaveOut1->Reprime();
    if (!Paused) MMWaveOut1->Restart();
  }
  Enable(RewindButton, pos > TrackBar->MinValue());
  Tracking = false;
}

// ---- timers and device events -------------------------------------------------------------------

void TSVMain::TimerTimer(TObject*) {
  if (Playing && !Tracking) {
    int64_t pos = MMWaveOut1->Position() + StartOffset;
    ShowTime(CurrentPosition, pos, "Current Time ");
    ShowTime(TimeLeft, PlayRangeEnd() - pos, "Time Left ");
    if (RecTimeLeft->Visible()) ShowTime(RecTimeLeft, RecordingLimit - pos, "Recording Time Left ");
    SetSliderMax(WaveLength());
    SetSliderPosition(pos);
    // A seek to the start disabled Rewind; playing on moves the position away from there.
    if (pos > 0) Enable(RewindButton, true);
    if (PunchInShown()) {
      Form22->Label2->SetCaption(FormatTime(punchIn_.EndMark() - pos));
      Form22->MMGauge1->SetProgress(int(std::clamp<int64_t>(pos, 0, INT32_MAX)));
    }
  } else if (Recording) {
    int64_t in = WaveIn->Position();
    int64_t pos = in + StartOffset;
    ShowTime(CurrentPosition, pos, "Current Time ");
    ShowTime(MaxTime, RecordingLimit, "Max Time ");
    if (in > 0) {
      ShowTime(TimeLeft, RecordingLimit - pos, "Time Left ");
      SetSliderPosition(pos);
    }
  }
  TellStall();
}

void TSVMain::TellStall() {
  const uint32_t ms = Recording ? WaveIn->StalledMs() : Playing ? MMWaveOut1->StalledMs() : 0;
  if (ms == 0) {
    StallTold = false;
  } else if (!StallTold) {
    StallTold = true;
    RecFileNotices.Post(NoticeStalled, Recording ? 1 : 0, intptr_t(ms / 1000));
  }
}

std::string TSVMain::StallText(bool recording, int64_t seconds) {
  const std::string time = std::to_string(seconds) + " seconds";
  return recording ? "No audio has come from the sound input for " + time +
                         ". The recording goes on, and takes in the audio as soon as the input delivers it "
                         "again. \r\nPress Stop to end it."
                   : "The sound output has taken no audio for " + time +
                         ". The playback goes on as soon as the output takes audio again. \r\nPress Stop to end "
                         "it.";
}

std::string TSVMain::GapsText() const {
  const std::vector<TMMInputGap> gaps = WaveIn->Gaps();
  if (gaps.empty()) return {};
  constexpr size_t kNamed = 5;
  std::string where;
  for (size_t i = 0; i < gaps.size() && i < kNamed; ++i) {
    const int64_t ms = gaps[i].length;
    const std::string length = ms < 1000 ? std::to_string(std::max<int64_t>(ms, 1)) + " ms"
                                         : std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + " s";
    where += (i ? ", " : "") + length + " missing at " + FormatTime(StartOffset + gaps[i].at);
  }
  if (gaps.size() > kNamed) where += ", and " + std::to_string(gaps.size() - kNamed) + " more";
  return (gaps.size() == 1 ? std::string("This recording has a gap")
                           : "This recording has " + std::to_string(gaps.size()) + " gaps") +
         ": the sound input could not hold the audio while Solvane or the computer was held up (" + where +
         "). Play the take through there before saving it.";
}

void TSVMain::WaveInStart(TObject*) {
  StartOffset = TrackBar->Position();
  DroppedBeforeTake = RecRingBuffer->DroppedBuffers();
  StallTold = false;
  Timer->SetEnabled(true);
}

void TSVMain::WaveInStop(TObject*) {
  Timer->SetEnabled(false);
  DiskTimer->SetEnabled(false);
  // A stop that was held told the studio when it came.
  const bool wasHeld = std::exchange(DiskHoldsTake, false);
  // Told as a slow disk's loss is, once the take has ended.
  TakeGaps = GapsText();
  if (!TakeGaps.empty()) RecFileNotices.Post(NoticeGaps);
  WaveIn->Close();
  // What the take kept beside it goes once the cart holds it again; a finish that failed leaves it.
  FinishKeptCart(DeckTempFolder());
  KeepHeldTake(true, TTell::Later);
  if (RecFile->FinishFailed() && !RecFile->WriteFailed()) RecFileNotices.Post(NoticeNotFinished);
  if (!wasHeld) Gpi.Send(TGpiEvent::Stop);
  UpdateRecControls();
  // Buffers the queue had no room for are gaps in the take that nothing else would show.
  if (RecRingBuffer->DroppedBuffers() != DroppedBeforeTake) RecFileNotices.Post(NoticeAudioLost);
}

// The input has stopped, but the take's queue could not reach the disk in time. Nothing that reads
// or writes the take (play, save, eject, record, the cart's finish) may run before the disk has
// taken the rest, which the disk timer looks for; the studio hears the stop now.
void TSVMain::WaveInStopHeld(TObject*) {
  DiskHoldsTake = true;
  Timer->SetEnabled(false);
  Recording = true;
  Playing = Paused = Stopped = false;
  for (TDeckButton* b :
       {RecordButton, PauseButton, PlayButton, RewindButton, FastForwardButton, EditButton, EjectButton, SaveButton})
    Enable(b, false);
  Enable(StopButton, true);
  SetLoadEnabled(false);
  EnableSendButtons(false);
  Enable(Infobutton, false);
  Enable(OtherButton, false);
  TrackBar->SetEnabled(false);
  Gpi.Send(TGpiEvent::Stop);
  RecFileNotices.Post(NoticeDiskHoldsTake);
  DiskTimer->SetEnabled(true);
}

void TSVMain::DiskTimerTimer(TObject*) {
  if (!RecRingBuffer->ChainWrittenOut(0)) return;
  DiskTimer->SetEnabled(false);
  WaveIn->Stop();
  if (WaveIn->StopHeld()) DiskTimer->SetEnabled(true);
}

bool TSVMain::DiskStillHoldsTake() {
  if (!DiskHoldsTake) return false;
  Notify(TNoticeKind::Warning, "Solvane is still waiting for the disk to take the rest of the recording into " +
                                   RecordFileName +
                                   ". The take can be played, saved or ejected once the disk answers.");
  return true;
}

// A cart whose finish failed keeps its title and picture beside it (recorder/CartTail) until the
// next stop, Eject, load, exit or start that can finish it, unless they could not be kept aside as
// the take began.
std::string TSVMain::ListsKeptText() const {
  return TakeListsNotKept ? " The cart's title and picture could not be kept aside either: enter them again once "
                            "there is room. \r\nMake some room on the recording drive."
                          : " Any title and picture of the cart are kept and written back into it once there is "
                            "room, when the cart is ejected or at the next start. \r\nMake some room on the "
                            "recording drive.";
}

// Whatever the input records after a failed write (a full disk, a file-size limit, a lost drive)
// would be lost unseen: the recording ends here, and the operator learns why.
void TSVMain::RecFileWriteFailed() {
  if (WaveIn->IsStarted()) StopStuff();
  const std::string why =
      RecFile->SizeLimitReached()
          ? "The recording file has reached the largest size a WAV file can have (4 GB). The recording has "
            "stopped; everything recorded is kept."
          : "The recording file could not be written (the disk may be full, or the file may have reached the "
            "size limit set for it). The recording has stopped; what was recorded before is kept.";
  Notify(TNoticeKind::Error, why + (RecFile->FinishFailed() ? ListsKeptText() : ""));
}

void TSVMain::RecFileNotFinished() {
  Notify(TNoticeKind::Error,
         std::string("The recording file could not be finished (the disk may be full, or the file may "
                     "have reached the size limit set for it). What was recorded is kept.") +
             ListsKeptText());
}

// The take goes on: only a kill before it is finished would cost the cart its title and picture.
void TSVMain::RecFileListsNotKept() {
  Notify(TNoticeKind::Warning,
         "The title and picture of this cart could not be kept aside in the temporary folder " + DeckTempFolder() +
             " (its disk may be full). \r\nThe recording goes on, but should Solvane end before it is stopped, "
             "the cart may lose them.");
}

void TSVMain::HoldTakeFile() {
  takeFile_.Release();
  const std::string file = RecFile->Wave()->FileName();
  if (InDeckTemp(DeckTempFolder(), file) || (rescue_.IsHeld() && ExtractFilePath(file) == rescue_.Path()))
    takeFile_.Hold(file);
}

// A clean-up that emptied the temporary folder took only the take's name: the take is all there in
// the file held since it started, and goes back under its name, in the folder made again, or where
// no other account can reach it when the folder cannot be made again.
void TSVMain::KeepHeldTake(bool recording, TTell tell) {
  // A take still open for recording (paused) is written out at its stop, once it is all there; one
  // open for playback goes on from its open file and is written out once the playback has ended.
  if (!takeFile_.IsHeld() || WaveIn->IsOpen() || MMWaveOut1->IsOpen() || takeFile_.At(RecordFileName)) return;
  // The held file is the take's only whole copy until it is written out.
  const TForcedEndHold hold;
  TTakeBackNote note;
  note.path = RecordFileName;
  note.recording = recording;
  note.wasRescued = rescue_.IsHeld() && ExtractFilePath(note.path) == rescue_.Path();
  note.verdict = (note.wasRescued ? rescue_ : deckTemp_).Rehold();
  if (note.verdict.Held() && takeFile_.WriteOut(note.path)) note.back = TTakeBack::WrittenOut;
  else note.back = RescueHeldTake(note);
  if (note.back == TTakeBack::Lost) takeFile_.Release();
  note.where = RecordFileName;
  if (tell == TTell::Never) return;
  takeBackText_ = TakeBackText(note);
  if (tell == TTell::Later) RecFileNotices.Post(NoticeTakeBack);
  else TellTakeBack();
}

// Into the account's own folder for rescued takes, under the take's name or numbered beside one
// rescued earlier, never over anything (the account's other decks, with temporary folders of their
// own, may rescue theirs there at the same moment). Where that folder cannot take it (the state
// folder is another account's, a link, open to others, full or read-only), into a folder made for
// it alone beside the temporary folder, else in /var/tmp.
TTakeBack TSVMain::RescueHeldTake(TTakeBackNote& note) {
  const std::string made = std::exchange(madeRescue_, {});
  const std::string root = DeckPrivateFolder();
  note.own = (root.empty() ? std::string("~/.local/state/Solvane/") : root) + DeckRescueName + "/";
  note.ownVerdict = rescue_.IsHeld() && rescue_.Path() == note.own ? rescue_.Rehold()
                                                                    : HoldPrivateFolder(rescue_, DeckRescueName, true);
  if (note.ownVerdict.Held()) {
    const std::string name = ExtractFileName(RecordFileName), ext = ExtractFileExt(name);
    const std::string stem = name.substr(0, name.size() - ext.size());
    for (int n = 1; n < 100; ++n) {
      const std::string path = rescue_.Path() + (n == 1 ? name : stem + " (" + std::to_string(n) + ")" + ext);
      if (PathTaken(path)) continue;
      if (takeFile_.WriteOut(path)) return Rescued(path, TTakeBack::Rescued, made);
      if (errno != EEXIST) break;  // else another deck took the name first
    }
  }
  const std::string lasting = plat::LastingTempPath(DeckTempAccountPrefix);
  for (const std::string& parent : {lasting, std::string("/var/tmp/")}) {
    if (parent == "/var/tmp/" && lasting == parent) continue;
    if (!rescue_.HoldNew(parent, "Solvane-rescued-").Held()) continue;
    const std::string folder = rescue_.Path();
    if (takeFile_.WriteOut(folder + ExtractFileName(RecordFileName))) {
      madeRescue_ = folder;
      return Rescued(folder + ExtractFileName(RecordFileName), TTakeBack::RescuedAlone, made);
    }
    rescue_.Release();
    RemoveDir(folder);
  }
  return TTakeBack::Lost;
}

// The cart is the rescued take at path now; a folder made for an earlier rescue of it, empty now,
// goes.
TTakeBack TSVMain::Rescued(const std::string& path, TTakeBack back, const std::string& madeBefore) {
  rescuedTake_ = path;
  // A copy to edit stays one where it was rescued to: its save takes the mode of the cart it edits.
  if (CopyPath == RecordFileName) CopyPath = path;
  CartNowAt(path);
  if (!madeBefore.empty() && madeBefore != madeRescue_) RemoveDir(madeBefore);
  return back;
}

// Told once, and only while the deck still has the take.
void TSVMain::TellTakeBack() {
  const std::string text = std::exchange(takeBackText_, {});
  if (!text.empty()) Notify(TNoticeKind::Error, text);
}

void TSVMain::MMWaveOut1Start(TObject*) {
  StallTold = false;
  Timer->SetEnabled(true);
}

void TSVMain::MMWaveOut1Stop(TObject*) {
  PausePosition = StartOffset;
  StartOffset += MMWaveOut1->FinalPosition();
  MMWaveOut1->Close();
  if (PlayFile->SourceDamaged()) RecFileNotices.Post(NoticeSourceDamaged);
  if (Playing && WaveLength() <= PausePosition) {
    SetSliderPosition(WaveLength());
    ShowTime(CurrentPosition, WaveLength(), "Current Time ");
    ShowTime(TimeLeft, PlayRangeEnd() - WaveLength(), "Time Left ");
    Enable(FastForwardButton, false);
  }
  Timer->SetEnabled(false);
  UpdatePlayControls();
}

void TSVMain::MMWaveOut1Looping(TObject*) {
  Timer->SetEnabled(false);
  SetSliderPosition(0);
  StartOffset = 0;
  Timer->SetEnabled(true);
}

void TSVMain::FlashTimerTimer(TObject*) {
  auto blink = [this](TDeckButton* b, bool on) {
    TColor own = captionColor_[b];
    TColor next = on && b->Font()->Color() == own ? clBtnFace : own;
    if (b->Font()->Color() != next) b->Font()->SetColor(next);
  };
  blink(LoadButton, DeckEmpty);
  blink(PlayButton, Playing);
  blink(PauseButton, Paused);
  blink(StopButton, Stopped);
  // A stop its disk holds records nothing more: no blink, and no time left to warn of.
  const bool taking = Recording && !Paused && !DiskHoldsTake;
  blink(RecordButton, taking);
  bool warn = taking && Config.warningTimeMs > 0 && RecordingLimit - TrackBar->Position() < Config.warningTimeMs;
  FlashTimeLeft(warn);
}

// ---- meters and the Other menu ------------------------------------------------------------------

void TSVMain::SetMeterGain() {
  int gain = Config.meterGainOffset >= 1 && Config.meterGainOffset <= 25 ? Config.meterGainOffset : 0;
  MMLevel1->SetGain(gain);
  MMLevel2->SetGain(gain);
  MMMeter1->SetGain(gain);
  MMMeter2->SetGain(gain);
}

void TSVMain::MMLevel1GainOverflow(TObject*) {
  if (BeepSpeakerAt0VU1->Checked() && Recording) SystemBeep();
}

void TSVMain::OtherMenuPopup(TObject*) { EditTemplateLibrary1->SetEnabled(!Config.supervisorPassword.empty()); }

void TSVMain::LoopPlay1Click(TObject*) {
  MMWaveOut1->SetLooping(!MMWaveOut1->Looping());
  LoopPlay1->SetChecked(MMWaveOut1->Looping());
}

void TSVMain::AnalogMeters1Click(TObject*) {
  bool analog = !AnalogMeters1->Checked();
  AnalogMeters1->SetChecked(analog);
  MeterPanel->SetVisible(analog);
  LevelPanel->SetVisible(!analog);
  Config.analogMeters = analog;
  TIniFile ini(ProgramFolder() + SettingsFileName);
  ini.WriteString("GUI", "Analog Meters", analog ? "True" : "False");
}

void TSVMain::BeepSpeakerAt0VU1Click(TObject*) { BeepSpeakerAt0VU1->SetChecked(!BeepSpeakerAt0VU1->Checked()); }

std::vector<std::string> TSVMain::MixerCommand() const {
  if (std::string p = FindProgram("pavucontrol"); !p.empty()) return {p};
  std::string mixer = FindProgram("alsamixer");
  if (mixer.empty()) return {};
  for (const char* term : {"x-terminal-emulator", "xterm"})
    if (std::string t = FindProgram(term); !t.empty()) return {t, "-e", mixer};
  return {};
}

void TSVMain::Mixer1Click(TObject*) {
  std::vector<std::string> cmd = MixerCommand();
  if (cmd.empty() || !StartProcess(cmd[0], std::vector<std::string>(cmd.begin() + 1, cmd.end()), SystemFolder()))
    Notify(TNoticeKind::Error, "Error calling sndvol32.exe!");
}

void TSVMain::RunControlPanelApplet(const std::string&) {
  // The desktop's sound settings where there are some, else the mixer.
  if (std::string p = FindProgram("gnome-control-center"); !p.empty() && StartProcess(p, {"sound"})) return;
  std::vector<std::string> cmd = MixerCommand();
  if (!cmd.empty()) StartProcess(cmd[0], std::vector<std::string>(cmd.begin() + 1, cmd.end()));
}

void TSVMain::MultimediaProperties1Click(TObject*) { RunControlPanelApplet("mmsys.cpl,Multimedia"); }

void TSVMain::AdvancedSettings1Click(TObject*) {
  Notify(TNoticeKind::Information, "No advanced settings at this time");
  // The hidden command is no way round a supervisor password.
  if (Config.supervisorPassword.empty()) Form14->ShowModal();
  else EditTemplateLibrary1Click(EditTemplateLibrary1);
}

void TSVMain::SetupStandardCart1Click(TObject*) { Form3->ShowModal(); }

void TSVMain::LRArrowSensitivity1Click(TObject*) { Form24->ShowModal(); }

void TSVMain::imeLeftWarning1Click(TObject*) { Form26->ShowModal(); }

void TSVMain::GoToTime1Click(TObject*) {
  if (Recording) return;
  if (!DeckLoaded) {
    Notify(TNoticeKind::Error,
           "No audio file is loaded. You can not go to a time with no file \r\nloaded. First, "
           "load the file then retry.");
    return;
  }
  GoToText = "00:00:00";
  if (Form23->ShowModal() == mrCancel) return;
  int64_t ms = 0;
  try {
    ms = TimeStrToMilSec(GoToText + ":000");
  } catch (const std::exception&) {
    return;
  }
  if (ms >= TrackBar->MinValue() && ms <= TrackBar->MaxValue() && ms != TrackBar->Position()) {
    SetSliderPosition(ms);
    Seek();
  }
}

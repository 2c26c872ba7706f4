// Everything between a loaded cart and a running recording: the recording limit, the Record
// button, the punch-in marks and the time-left warning.
#include <algorithm>
#include <climits>

#include "engine/MMRingBf.h"
#include "engine/MMWavIn.h"
#include "engine/MMWavOut.h"
#include "engine/MMWave.h"
#include "engine/MMWaveIO.h"
#include "platform/audio/wave_mapper.h"
#include "platform/audio/sound_player.h"
#include "platform/system/files.h"
#include "recorder/CartNames.h"
#include "recorder/CartTail.h"
#include "recorder/DeckTemp.h"
#include "recorder/FileUtils.h"
#include "recorder/StrUtils.h"
#include "recorder/Unit1.h"
#include "recorder/Unit22.h"

using namespace plat;

namespace {
constexpr int64_t kFreeSpaceCap = 2146483647;  // 2^31 - 1 - 1000000

int32_t SliderValue(int64_t ms) { return int32_t(std::clamp<int64_t>(ms, INT32_MIN, INT32_MAX)); }
constexpr int64_t kInputBufferMs = 50;

// What the input still holds when the program dies is lost with it: whatever the format, a buffer
// is handed over within 50 ms. Not sooner: every buffer wakes the device's thread and the window's.
int32_t InputBufferBytes(const WAVEFORMATEX& f) {
  const int64_t align = std::max<int64_t>(f.nBlockAlign, 1);
  const int64_t bytes = int64_t(f.nAvgBytesPerSec) * kInputBufferMs / 1000 / align * align;
  return int32_t(std::clamp<int64_t>(bytes, align, INT32_MAX / align * align));
}

// Why a cart's file cannot take a recording; empty when it can. The input records PCM (or float),
// never a compressed format, and a take may not write over a format chunk behind the samples.
std::string WhyNoRecordingInto(const TMMWave* wave) {
  const WAVEFORMATEX* f = wave->GetPWaveFormat();
  if (!f) return {};
  if (const WaveIOBlock* b = wave->IOBlock(); b && b->FormatBehindData)
    return "This cart's format chunk lies behind its audio, where a recording would have to write. \r\nIt can be "
           "played, not recorded into.";
  uint16_t tag = f->wFormatTag;
  namespace core = plat::wavecore;
  if (tag == core::WAVE_FORMAT_EXTENSIBLE && !core::ExtensibleSubFormat(f, tag)) return {};
  if (tag == WAVE_FORMAT_PCM || tag == core::WAVE_FORMAT_IEEE_FLOAT) return {};
  return "This cart holds " + FormatTagName(f) +
         " audio, and Solvane records into PCM carts only. \r\nIt can be played, not recorded into.";
}

void SetGauge(TDeckGauge* g, int64_t lo, int64_t hi, int64_t at) {
  auto clip = [](int64_t v) { return int(std::clamp<int64_t>(v, 0, INT32_MAX)); };
  g->SetMinValue(0);
  g->SetMaxValue(clip(std::max(lo, hi)));
  g->SetMinValue(clip(lo));
  g->SetProgress(clip(at));
}
}  // namespace

// ---- the recording limit ------------------------------------------------------------------------

bool TSVMain::PrepareRecording(bool forRecord) {
  TMMWave* rec = RecFile->Wave();
  TMMWave* play = PlayFile->Wave();
  // An opened file is recorded into where it lies, from the slider's position. One whose data is
  // still empty has no wave in RecFile yet either, so it is opened the same way.
  if (play->HasData() || (rec->FileName().empty() && !RecordFileName.empty())) {
    if (play->GetPWaveFormat()) WaveIn->SetWaveFormat(play->GetPWaveFormat());
    RecFile->SetOverwriteExisting(false);
    rec->SetFileName(RecordFileName);
    PausePosition = StartOffset = TrackBar->Position();
    rec->SetStartPos(0);
    rec->SetPosition(StartOffset);
  } else {
    // A blank cart records from its start, whatever the last cart left here.
    StartOffset = TrackBar->Position();
  }

  int64_t freeBytes = 0;
  if (!DiskFreeBytes(rec->FileName().empty() ? DeckTempFolder() : rec->FileName(), freeBytes)) freeBytes = 0;
  const bool capped = freeBytes > kFreeSpaceCap;
  freeBytes = std::min(freeBytes, kFreeSpaceCap);
  const int64_t available = rec->SamplesToTimeFormat(rec->BytesToSamples(freeBytes));
  RecordingLimit = available;
  // A blank cart must fit in what is available. Where the 2 GB cap of a cart's file, not the
  // disk, stands in the way, the operator is told that limit rather than to make room. A cart
  // whose file could not be made has no format to measure time in: that is the reason then.
  auto fits = [&](int64_t needed, const char* noRoom) {
    if (needed < available) return true;
    std::string why = noRoom;
    if (!rec->GetPWaveFormat()) why = "Error creating wave file.";
    else if (capped)
      why = "A cart can hold at most 2 GB of audio, which is " + FormatTime(available) +
            " in this format. \r\nChoose a shorter length or a smaller format.";
    Notify(TNoticeKind::Error, why);
    Eject();
    return false;
  };

  if (Config.useLengthForAllWav) {
    RecordingLimit = TimeIntToSec(StdLength) * 1000;
    if (rec->DataSize() >= RecordingLimit) RecordingLimit = rec->DataSize();
  }
  if (CartKind == KindQuick || CartKind == KindStandard || CartKind == KindByName) {
    long long prefix = 0;
    bool usePrefix = !PrefixValue.empty() && TryStrToInt(PrefixValue, prefix);
    int64_t needed = TimeIntToSec(usePrefix ? prefix : StdLength) * 1000;
    if (!fits(needed,
              "There is not enough free disk space to safely generate a Standard\\Quickcart. "
              "\r\nMake some room on the recording drive and try again."))
      return false;
    RecordingLimit = needed;
  } else if (CartKind == KindCustom) {
    int64_t needed = TimeIntToSec(UserData.cart.customLength) * 1000;
    if (!fits(needed,
              "There is not enough free disk space to safely generate a your custom cart. "
              "\r\nMake some room on the recording drive and try again."))
      return false;
    RecordingLimit = needed;
  }

  // The input treats a limit of 0 or less as none: a cart with no time left must not record.
  int64_t allowed = RecordingLimit - StartOffset;
  if (forRecord && allowed <= 0) {
    Notify(TNoticeKind::Error, "There is no time left. Cannot record!");
    return false;
  }
  WaveIn->SetMaxRecordTime(std::max<int64_t>(allowed, 0));

  if (PunchInShown()) {
    if (punchIn_.BeginMark() != 0) SetSliderPosition(punchIn_.BeginMark());
    punchIn_.SaveLimit(WaveIn->MaxRecordTime());
    int64_t toEnd = punchIn_.EndMark() - TrackBar->Position();
    if (forRecord && toEnd <= 0) {
      Notify(TNoticeKind::Error, "There is no time left. Cannot record!");
      return false;
    }
    WaveIn->SetMaxRecordTime(std::max<int64_t>(toEnd, 0));
  }

  RecRingBuffer->ClearQueue();
  ShowTime(MaxTime, RecordingLimit, "Max Time ");
  SetSliderMax(RecordingLimit);

  DeckEmpty = false;
  DeckLoaded = true;
  Paused = Stopped = false;
  ChangedSinceSave = true;
  EnableForRecording();
  TrackBar->SetEnabled(false);
  return true;
}

void TSVMain::GetReadyToRecord() { PrepareRecording(false); }

bool TSVMain::RecordPrep() { return PrepareRecording(true); }

// ---- Record -------------------------------------------------------------------------------------

void TSVMain::RecordButtonClick(TObject*) {
  if (BusySaving || DiskStillHoldsTake()) return;
  KeepHeldTake(false, TTell::Now);
  if (FileMustExist && !FileExists(RecordFileName)) {
    Notify(TNoticeKind::Information, FileGoneText(RecordFileName));
    Eject();
    return;
  }
  FileMustExist = false;
  if (SwallowRecordClick) {
    SwallowRecordClick = false;
    return;
  }
  if (PlayOnly) {
    Notify(TNoticeKind::Information, "You opened this file as \"Play Only.\" Recording is not allowed.");
    return;
  }
  if (const std::string why = WhyNoRecordingInto(PlayFile->Wave()->HasData() ? PlayFile->Wave() : RecFile->Wave());
      !why.empty()) {
    Notify(TNoticeKind::Error, why);
    return;
  }
  if (PunchInShown() && TrackBar->Position() == 0 && Config.displayPunchInWarning &&
      plat::MessageDlg("Warning! You are recording from the beginning of the file. This \r\nis the "
                       "default position of the punch in control. To continue \r\nrecording from "
                       "the beginning of the file pres \"Yes\"",
                       mtWarning, mbYesNo) != mrYes)
    return;
  if (Recording) {
    if (Paused) PauseButtonClick(PauseButton);
    return;
  }
  // A paused output would go on reading the file the recording writes: playback ends first.
  if (MMWaveOut1->IsOpen()) MMWaveOut1->Stop();
  KeepHeldTake(false, TTell::Now);
  // A temporary folder removed since the cart was loaded (a clean-up) is made again for the take.
  if (InDeckTemp(DeckTempFolder(), RecordFileName) && !DeckTempReady()) return;
  if (!RecordPrep()) return;
  Gpi.Send(TGpiEvent::Record);
  Focus(RecordButton);
  Recording = true;
  Stopped = false;
  Enable(PauseButton, true);
  Enable(StopButton, true);
  Enable(RewindButton, false);
  Enable(FastForwardButton, false);
  Enable(EjectButton, false);
  EnableSendButtons(false);
  Enable(Infobutton, false);
  Enable(OtherButton, false);
  RecFile->Wave()->SetPosition(TrackBar->Position());
  RecTimeLeft->SetVisible(false);
  RecTimeLeftCaption->SetVisible(false);
  if (PWaveFormatEx f = WaveIn->GetWaveFormat()) WaveIn->SetBufferSize(InputBufferBytes(*f));
  KeepWhatTheTakeMayCut();
  const int64_t heldAt = TrackBar->Position();
  try {
    WaveIn->Start();
    HoldTakeFile();
  } catch (const std::exception& e) {
    // The cart's file, not the device, may have refused the take (one with a second name is never
    // written into): the operator hears what it is. Nor is the device to blame when its sound server
    // could not be reached.
    std::string why;
    if (dynamic_cast<const EMMWaveError*>(&e))
      why = RecordRefusalText(RecordFileName, InDeckTemp(DeckTempFolder(), RecordFileName));
    Notify(TNoticeKind::Error, !why.empty() ? why
                               : dynamic_cast<const EMMWaveInNoServer*>(&e)
                                   ? WaveDeviceReason(e.what()) + " Nothing was recorded."
                                   : "Your sound intput device appears to be in use or not working properly. "
                                     "\r\nSolvane can not use the device at this time.");
    StopStuff();
    if (Recording) {
      WaveIn->Close();
      FinishKeptCart(DeckTempFolder());
      UpdateRecControls();
      // Nothing was recorded: the deck stays where it stood.
      SetSliderPosition(heldAt);
      TrackBarTrack(TrackBar);
      TrackBarTrackEnd(TrackBar);
    }
  }
}

// A take that runs past the end of a cart's samples cuts off what stood behind them (its title and
// picture) until it is finished: until then they are kept beside the take, with the cart's path
// and what tells its file from another, so that a kill cannot lose them and the next start
// finishes the cart. A take goes on when they cannot be kept; the operator learns that a kill
// would then cost them.
void TSVMain::KeepWhatTheTakeMayCut() {
  TMMWave* rec = RecFile->Wave();
  // A take into a blank cart makes its file anew, with no lists of its own; one made in the
  // temporary folder is taken back at the next start as it is. A cart's file that holds no samples
  // yet is written into where it lies, as one that does.
  const bool intoSamples = RecFile->RecordsInPlace(WaveIn->GetWaveFormat());
  TakeListsNotKept = TakeStampDue = false;
  if (!intoSamples && InDeckTemp(DeckTempFolder(), rec->FileName())) return;
  const int64_t takeStart = intoSamples ? rec->SamplesToBytes(rec->TimeFormatToSamples(rec->GetPosition())) : 0;
  const TKeep kept = KeepCartTail(DeckTempFolder(), rec->FileName(), rec->IOBlock(), takeStart, intoSamples);
  TakeListsNotKept = kept == TKeep::ListsNotKept;
  TakeStampDue = kept == TKeep::Kept;
  if (TakeListsNotKept) RecFileNotices.Post(NoticeListsNotKept);
}

// What tells the cart's file from any other after a kill, also for a take from its first sample:
// the take's first audio, stamped once a sync has made it durable.
void TSVMain::StampTheTake() {
  if (TakeStampDue && Recording)
    TakeStampDue =
        StampKeptTake(DeckTempFolder(), RecFile->Wave()->FileName(), RecFile->DurableBytes()) == TStamp::NotYet;
}

// ---- punch-in marks -----------------------------------------------------------------------------

bool TSVMain::PunchInShown() const { return Form22 && Form22->Visible(); }

TRect TSVMain::PunchInBay() const {
  return Rect(LevelPanel->Left() + LevelPanel->Width() + 8, LevelPanel->Top(), ClientWidth() - 8,
              TrackBar->Top() + TrackBar->Height());
}

// The panel opens in the room beside the meters and the slider, where it hides none of the times,
// the cart's name and format, the meters or the transport.
void TSVMain::PlacePunchIn() {
  if (!Form22) return;
  const TRect bay = PunchInBay();
  const TPoint origin = ClientOrigin();
  Form22->SetBounds(origin.X + bay.Left + (bay.Width() - Form22->Width()) / 2,
                    origin.Y + bay.Top + (bay.Height() - Form22->Height()) / 2, Form22->Width(), Form22->Height());
}

bool TSVMain::MarksAllowed() {
  if (!DeckLoaded || RecordFileName.empty()) return false;
  if (PlayOnly) {
    Notify(TNoticeKind::Error,
           "This file was loaded as play only. This means that punch in \r\nrecording is not "
           "allowed. Eject the cart and load the cart again \r\nbut not as play only.");
    return false;
  }
  PlacePunchIn();
  if (!Form22->Visible()) Form22->Show();
  return true;
}

void TSVMain::ShowMarks() {
  if (!Form22) return;
  const int64_t begin = punchIn_.BeginMark(), end = punchIn_.EndMark();
  Form22->Label1->SetCaption(FormatTime(begin));
  Form22->Label3->SetCaption(FormatTime(end));
  Form22->Label2->SetCaption(FormatTime(end - begin));
  SetGauge(Form22->MMGauge1, begin, end, TrackBar->Position());
}

void TSVMain::MarkBeginning1Click(TObject*) {
  if (!MarksAllowed()) return;
  const int64_t pos = TrackBar->Position();
  if (punchIn_.BeginPassesEnd(pos))
    Notify(TNoticeKind::Error,
           "Begin Mark can not come AFTER End Mark. Your Begin Mark \r\nwill "
           "be set to the current End Mark Position.");
  if (punchIn_.MarkBegin(pos, TrackBar->MaxValue())) Enable(RecordButton, false);
  ShowMarks();
  SetGauge(Form22->MMGauge1, punchIn_.BeginMark(), punchIn_.EndMark(), punchIn_.BeginMark());
  Form22->MMGauge1->SetVisible(true);
  SetFocus();
}

void TSVMain::MarkEndingPoint1Click(TObject*) {
  if (Recording || !MarksAllowed()) return;
  const int64_t pos = TrackBar->Position();
  if (punchIn_.EndBeforeBegin(pos))
    Notify(TNoticeKind::Error,
           "End Mark can not come BEFORE Begin Mark. Your End Mark \r\nwill "
           "be set to the current Begin Mark Position.");
  if (punchIn_.MarkEnd(pos, TrackBar->MinValue())) Enable(RecordButton, false);
  ShowMarks();
  Form22->MMGauge1->SetVisible(true);
  SetFocus();
}

void TSVMain::ClearPunchIn() {
  if (const int64_t full = punchIn_.FullLimit(); full != 0) {
    WaveIn->SetMaxRecordTime(full);
    SetSliderMax(full);
    Seek();
    if (!PlayOnly) Enable(RecordButton, true);
  }
  if (Form22) Form22->Close();
}

void TSVMain::GoToBeginMark() {
  const int32_t begin = SliderValue(punchIn_.BeginMark());
  TrackBar->SetMinValue(begin);
  TrackBar->SetPosition(begin);
  Seek();
}

void TSVMain::GoToEndMark() {
  TrackBar->SetPosition(SliderValue(punchIn_.EndMark()));
  Seek();
}

bool TSVMain::PlayEnabled() const { return PlayButton->Enabled(); }

void TSVMain::PlayIntro() {
  if (!Playing) PlayButtonClick(PlayButton);
}

void TSVMain::PlayOutro() {
  // An end mark under a second has no second before it: the outro plays from the start.
  TrackBar->SetPosition(SliderValue(std::max<int64_t>(punchIn_.EndMark() - 1000, 0)));
  Seek();
  punchIn_.RequestOutro();
  PlayButtonClick(PlayButton);
}

void TSVMain::TakeFocus() {
  if (Visible()) SetFocus();
}

void TSVMain::PunchInClosed() {
  if (const int64_t full = punchIn_.Close(); full != 0) WaveIn->SetMaxRecordTime(full);
}

void TSVMain::TrackBarChange(TObject*) {
  if (!PunchInShown()) return;
  const int64_t begin = punchIn_.BeginMark(), end = punchIn_.EndMark();
  int64_t pos = TrackBar->Position();
  if (punchIn_.BeginMarkSet() && pos < begin) {
    SetSliderPosition(begin);
    if (!Playing) PlayFile->Wave()->SetPosition(begin);
  } else if (punchIn_.EndMarkSet() && pos > end) {
    SetSliderPosition(end);
    bool wasRecording = Recording;
    if (!wasRecording && !MMWaveOut1->IsOpen()) PlayFile->Wave()->SetPosition(end);
    Seek();
    Playing = Paused = Recording = false;
    Stopped = true;
    Focus(StopButton);
    for (TDeckButton* b : {RewindButton, PlayButton, FastForwardButton, SaveButton}) Enable(b, true);
    Enable(EditButton, Config.editButtonEnabled);
    WaveIn->Stop();
    MMWaveOut1->Stop();
    Gpi.Send(TGpiEvent::Stop);
    return;
  }
  pos = TrackBar->Position();
  if (punchIn_.EndMarkSet() && pos == end) Enable(RecordButton, false);
  Form22->Label2->SetCaption(FormatTime(end - pos));
  if (begin >= 0 && end >= 0) SetGauge(Form22->MMGauge1, begin, end, pos);
}

// ---- time-left warning --------------------------------------------------------------------------

void TSVMain::FlashTimeLeft(bool on) {
  TColor colour = clNavy;
  if (on) {
    warnRed_ = !warnRed_;
    colour = warnRed_ ? clRed : clNavy;
  } else {
    warnRed_ = false;
  }
  for (TDeckLabel* l : {TimeLeft, TimeLeftCaption, RecTimeLeft})
    if (l->Font()->Color() != colour) l->Font()->SetColor(colour);
  if (on && warnRed_ && !WarningSounding) {
    // Set first: a box telling of a sound that cannot be read runs this timer's ticks meanwhile.
    WarningSounding = true;
    PlayTimeLeftWarning(true);
  } else if (!on && WarningSounding) {
    PlayTimeLeftWarning(false);
    WarningSounding = false;
  }
}

void TSVMain::PlayTimeLeftWarning(bool on) {
  if (on) {
    if (Config.warningWav.empty()) return;
    // Read whole for its loop: far more than any warning lasts.
    constexpr int64_t warningLimit = int64_t(64) << 20;
    const SmallFile wav = ReadSmallFile(Config.warningWav, warningLimit);
    if (wav.Ok()) PlaySoundImage(wav.data.data(), wav.data.size(), SND_ASYNC | SND_LOOP);
    else if (wav.Refused()) Notify(TNoticeKind::Warning, SmallFileRefusal(Config.warningWav, wav));
  } else {
    PlaySound(nullptr, 0);
  }
}

#include "recorder/Unit1.h"

#include <type_traits>

#include "controls/FormResizer.h"
#include "controls/MMForm.h"
#include "engine/MMConect.h"
#include "engine/MMHTimer.h"
#include "engine/MMRingBf.h"
#include "engine/MMWavIn.h"
#include "engine/MMWavOut.h"
#include "engine/MMWInfo.h"
#include "engine/MMWave.h"
#include "engine/MMWaveIO.h"
#include "platform/audio/wave_device.h"
#include "platform/system/files.h"
#include "recorder/CartTail.h"
#include "recorder/DeckDisplays.h"
#include "recorder/DeckTemp.h"
#include "recorder/FileUtils.h"
#include "recorder/ForcedEnd.h"
#include "recorder/Login.h"
#include "recorder/Sending.h"
#include "recorder/StartUp.h"
#include "recorder/Unit10.h"
#include "recorder/Unit11.h"
#include "recorder/Unit14.h"
#include "recorder/Unit2.h"
#include "recorder/Unit25.h"
#include "recorder/Unit6.h"
#include "recorder/Unit8.h"
#include "recorder/Unit9.h"
#include "recorder/WinUtils.h"

using namespace plat;

TSVMain* SVMain = nullptr;
std::vector<std::string> TSVMain::CommandLine;
std::function<void()> TSVMain::EndNow;

namespace {

template <class T>
T* Place(TComponent* owner, TWinControl* parent, int l, int t, int w, int h, const std::string& caption = {}) {
  T* c = new T(owner);
  c->SetParent(parent);
  c->SetBounds(l, t, w, h);
  if (!caption.empty()) c->SetCaption(caption);
  return c;
}

// A label of fixed size: it keeps its bounds whatever its text.
TDeckLabel* PlaceLabel(TComponent* owner, TWinControl* parent, int l, int t, int w, int h,
                       const std::string& caption = {}) {
  TDeckLabel* c = new TDeckLabel(owner);
  c->SetAutoSize(false);
  c->SetParent(parent);
  c->SetBounds(l, t, w, h);
  c->SetCaption(caption);
  c->SetTransparent(true);
  return c;
}

void StyleFont(TControl* c, const char* name, int height, TColor color, TFontStyles style = 0) {
  c->SetParentFont(false);
  c->Font()->SetName(name);
  c->Font()->SetHeight(height);
  c->Font()->SetColor(color);
  c->Font()->SetStyle(style);
}

// The deck's body and its display windows.
constexpr TColor kBody = TColor(0x383430);
constexpr TColor kWindow = TColor(0xB4D2BE);  // a pale display, where navy and red both read
constexpr TColor kCaptionText = TColor(0x505050);
constexpr TColor kTimeText = clNavy;
// The meters and the slider under the display window.
constexpr int kMetersTop = 164;

TMenuItem* AddItem(TMenu* menu, const std::string& caption, TShortCut key, void (TSVMain::*handler)(TObject*),
                   TSVMain* deck) {
  TMenuItem* item = new TMenuItem(menu);
  item->SetCaption(caption);
  item->SetShortCut(key);
  if (handler) item->OnClick = [deck, handler](TObject* s) { (deck->*handler)(s); };
  menu->Items()->Add(item);
  return item;
}

void AddLine(TMenu* menu) {
  TMenuItem* item = new TMenuItem(menu);
  item->SetCaption("-");
  menu->Items()->Add(item);
}

// True unless the file reads as a wave without a single frame; one that does not read at all is
// for the recovery to report.
bool HoldsAudio(const std::string& path) {
  PWaveIOBlock b;
  return WaveIOOpen(b, path, plat::FourCC("WAVE"), wioFile) != wioOk || b->TotalSamples > 0;
}

const char* const kRecoveryLines[] = {
    "A Solvane temporary recording file still exists.  This ",
    "indicates that the last person who used Solvane exited ",
    "abnormally and did not save their work. We have recovered this ",
    "last recording session. We recommend you PLAY the file to see ",
    "what it is, and whether you need to keep it.",
    "",
    "You must review, save and or eject this file before proceeding. ",
    "If you think the file was already saved, we recommend you save ",
    "this file to a slightly different file name or make sure you ",
    "thoroughly review the file, (especially play the beginning and ",
    "ending) before saving and overwriting a file that already exists.",
    "",
    "If this recovered file is not needed, you may hit EJECT to clear ",
    "the file and use Solvane for your next job.",
};

}  // namespace

std::string RecoveryMessage(const std::string& fileName) {
  std::string text = fileName + "\r\n\r\n";
  constexpr size_t n = sizeof kRecoveryLines / sizeof kRecoveryLines[0];
  for (size_t i = 0; i < n; ++i) {
    text += kRecoveryLines[i];
    if (i + 1 < n) text += "\r\n";
  }
  return text;
}

// ---- construction -----------------------------------------------------------------------------

TSVMain::TSVMain(TComponent* owner) : TForm(owner) {
  SetName("SVMain");
  SVMain = this;
  UserData.programFolder = AppFolder();
  UserData.usersFolder = UserData.programFolder;
  SetCaption("Solvane");
  SetColor(kBody);
  SetBorderStyle(bsSingle);
  SetBorderIcons(biSystemMenu | biMinimize);
  SetPosition(poScreenCenter);
  SetClientWidth(760);
  SetKeyPreview(true);
  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  OnDestroy = [this](TObject* s) { FormDestroy(s); };
  OnResize = [this](TObject* s) { FormResize(s); };
  OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { FormKeyDown(s, k, sh); };

  BuildChains();
  BuildDisplays();
  BuildTransport();
  BuildMenus();
  SetClientHeight(TransportPanel->Top() + TransportPanel->Height() + 8 + StatusBar1->Height());

  Timer = new TMMHiTimer(this);
  Timer->SetEnabled(false);
  Timer->SetInterval(250);
  Timer->SetOnTimer([this](TObject* s) { TimerTimer(s); });
  FlashTimer = new TTimer(this);
  FlashTimer->SetEnabled(false);
  FlashTimer->SetInterval(500);
  FlashTimer->OnTimer = [this](TObject* s) { FlashTimerTimer(s); };
  Timer1 = new TTimer(this);
  Timer1->SetInterval(250);
  Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
  DiskTimer = new TTimer(this);
  DiskTimer->SetEnabled(false);
  DiskTimer->SetInterval(100);
  DiskTimer->OnTimer = [this](TObject* s) { DiskTimerTimer(s); };

  OpenDialog1 = new TMMWaveOpenDialog(this);
  OpenDialog1->Title = "Solvane - Open Wave File";
  OpenDialog1->Filter = "Wave-Files(*.wav)|*.wav";
  OpenDialog1->Options = ofHideReadOnly | ofNoNetworkButton | ofOldStyleDialog | ofFileMustExist | ofPathMustExist;
  SaveDialog1 = new TMMWaveSaveDialog(this);
  SaveDialog1->Title = "Solvane Save Wave File";
  SaveDialog1->Filter = "Wave-Files(*.wav)|*.wav";
  SaveDialog1->DefaultExt = "wav";
  SaveDialog1->Options = ofHideReadOnly | ofOverwritePrompt | ofEnableSizing;
  SaveDialog1->OnFileOK = [this](TObject* s, bool& ok) { SaveDialogFileOK(s, ok); };
  WaveInfoEditor1 = new TMMWaveInfoEditor(this);
  WaveInfoEditor1->SetTitle("Wave-Info Editor");
  WaveInfoEditor1->SetSource(PlayFile);

  Resizer = new TFormResizer(this);
  FormStyler = new TMMFormStyler(this);
  FormStyler->AppNameText()->SetCaption("Solvane");
  BuildUserForms();
  // A stop signal the window cannot take (it waits on a disk) still lets the studio hear the end.
  SetForcedEndWords([this] { Gpi.SendOwed(1000); });
}

void TSVMain::BuildUserForms() {
  auto make = [this](auto*& slot) {
    using T = std::remove_reference_t<decltype(*slot)>;
    slot = new T(this, *this);
    slot->DoCreate();
  };
  // The sending windows fill their lists when created, so that waits until the lists are read
  // (FormCreate), or until they first show.
  Form2 = new TForm2(this, *this);
  Form6 = new TForm6(this, *this);
  make(Form8);
  make(Form9);
  make(Form10);
  make(Form11);
  make(Form14);
  make(Form25);
}

TSVMain::~TSVMain() {
  SetForcedEndWords(nullptr);
  // The devices stop before the files and displays they feed go away.
  if (WaveIn) WaveIn->Close();
  if (MMWaveOut1) MMWaveOut1->Close();
  if (RecFile) RecFile->OnClose = RecFile->OnSynced = nullptr;
  if (SVMain == this) SVMain = nullptr;
}

void TSVMain::BuildChains() {
  WaveIn = new TMMWaveIn(this);
  WaveIn->SetDeviceID(MapperId);
  WaveIn->SetBufferSize(4096);
  WaveIn->SetNumBuffers(10);
  WaveIn->SetTimeFormat(tfMillisecond);
  WaveIn->OnStart = [this](TObject* s) { WaveInStart(s); };
  WaveIn->OnStop = [this](TObject* s) { WaveInStop(s); };
  // A stop waits this long for the take's queue to reach the disk; a disk that does not answer
  // (a hung network share or USB disk) leaves the stop held instead of the window frozen.
  WaveIn->SetStopWait(2000);
  WaveIn->OnStopHeld = [this](TObject* s) { WaveInStopHeld(s); };
  MMConnector1 = new TMMConnector(this);
  MMConnector1->SetInput(WaveIn);
  RecRingBuffer = new TMMRingBuffer(this);
  RecRingBuffer->SetQueueMode(qmWrite);
  // Room for over six seconds of input (buffers of 50 ms), so a disk that stalls for a moment (a
  // slow drive, write-back congestion) costs no audio.
  RecRingBuffer->SetNumBuffers(128);
  RecRingBuffer->SetInput(MMConnector1);
  RecFile = new TMMWaveFile(this);
  RecFile->SetInput(RecRingBuffer);
  RecFile->Wave()->SetTimeFormat(tfMillisecond);
  RecFileNotices.OnMessage = [this](plat::Message& m) {
    if (m.Msg == NoticeWriteFailed) RecFileWriteFailed();
    if (m.Msg == NoticeNotFinished) RecFileNotFinished();
    if (m.Msg == NoticeTakeBack) TellTakeBack();
    if (m.Msg == NoticeListsNotKept) RecFileListsNotKept();
    if (m.Msg == NoticeDiskHoldsTake && DiskHoldsTake)
      Notify(TNoticeKind::Warning,
             "The recording has stopped, but the disk is not taking what was recorded into " + RecordFileName +
                 ". Solvane keeps the rest of the take and writes it out as soon as the disk answers; until "
                 "then the take cannot be played, saved or ejected.");
    if (m.Msg == NoticeSourceDamaged)
      Notify(TNoticeKind::Error,
             "Playback stopped before the end of the file: the file is damaged there (its ADPCM audio cannot be "
             "decoded from that point on).");
    // The take's queue dropped buffers: audio came faster than the file took it, from a slow
    // disk, or as the backlog that comes at once after the computer or Solvane was held up.
    if (m.Msg == NoticeStalled) Notify(TNoticeKind::Warning, StallText(m.WParam != 0, m.LParam));
    if (m.Msg == NoticeGaps) Notify(TNoticeKind::Warning, TakeGaps);
    if (m.Msg == NoticeAudioLost)
      Notify(TNoticeKind::Warning,
             "Part of this recording was lost: the audio came in faster than it could be written to the "
             "disk (the disk was slow, or the computer or Solvane was held up for seconds and the audio "
             "held meanwhile came in all at once). Play the take through before saving it.");
  };
  RecFile->OnClose = [this](TObject*) {
    if (RecFile->WriteFailed()) RecFileNotices.Post(NoticeWriteFailed);
  };
  RecFile->OnSynced = [this](TObject*) { StampTheTake(); };

  PlayFile = new TMMWaveFile(this);
  PlayFile->Wave()->SetTimeFormat(tfMillisecond);
  // ADPCM plays from the chosen sample: a seek lands inside a block, where only its decoder can
  // start, so the file serves what it decodes to.
  PlayFile->SetDecodeADPCM(true);
  PlayRingBuffer = new TMMRingBuffer(this);
  PlayRingBuffer->SetQueueMode(qmRead);
  // More than the output queues at its start, so the first fill covers it and playback never
  // begins with a gap of silence while the queue's thread catches up (buffers of 8192 bytes).
  PlayRingBuffer->SetNumBuffers(64);
  PlayRingBuffer->SetInput(PlayFile);
  MMWaveOut1 = new TMMWaveOut(this);
  MMWaveOut1->SetDeviceID(MapperId);
  // 46 ms a buffer at CD quality, and as much queued as 50 of 4096 bytes: each buffer played
  // wakes the device's thread and the window's.
  MMWaveOut1->SetBufferSize(8192);
  MMWaveOut1->SetNumBuffers(25);
  MMWaveOut1->SetTimeFormat(tfMillisecond);
  MMWaveOut1->SetInput(PlayRingBuffer);
  MMWaveOut1->OnStart = [this](TObject* s) { MMWaveOut1Start(s); };
  MMWaveOut1->OnStop = [this](TObject* s) { MMWaveOut1Stop(s); };
  MMWaveOut1->OnLooping = [this](TObject* s) { MMWaveOut1Looping(s); };
  MMConnector2 = new TMMConnector(this);
  MMConnector2->SetInput(MMWaveOut1);
}

void TSVMain::BuildDisplays() {
  // The display window: times on the left, the cart on the right.
  DisplayPanel = Place<TDeckPanel>(this, this, 8, 8, 744, 150);
  DisplayPanel->SetBevelOuter(plat::bvLowered);
  DisplayPanel->SetParentColor(false);
  DisplayPanel->SetColor(kWindow);
  auto caption = [this](int l, int t, int w, const std::string& text) {
    TDeckLabel* c = PlaceLabel(this, DisplayPanel, l, t, w, 14, text);
    StyleFont(c, "Arial", -11, kCaptionText, fsBold);
    c->SetTransparent(true);
    return c;
  };
  auto value = [this](int l, int t, int w, int h, int height) {
    TDeckLabel* c = PlaceLabel(this, DisplayPanel, l, t, w, h, "00:00:00.000");
    StyleFont(c, "Arial", height, kTimeText, fsBold);
    c->SetShowHint(true);
    return c;
  };
  caption(14, 8, 200, "CURRENT POSITION");
  CurrentPosition = value(12, 22, 350, 44, -38);
  TimeLeftCaption = caption(14, 74, 150, "TIME LEFT");
  TimeLeft = value(12, 88, 190, 26, -22);
  caption(210, 74, 150, "MAX TIME");
  MaxTime = value(208, 88, 170, 26, -22);
  RecTimeLeftCaption = caption(14, 118, 190, "REC TIME LEFT");
  RecTimeLeft = value(12, 130, 190, 18, -15);
  RecTimeLeft->Font()->SetColor(clNavy);
  RecTimeLeft->SetHint("Recording Time Left ");

  caption(392, 8, 200, "CART");
  auto nameLine = [this](int t) {
    TDeckLabel* c = PlaceLabel(this, DisplayPanel, 392, t, 340, 18);
    StyleFont(c, "Arial", -14, clBlack, fsBold);
    return c;
  };
  NameLabel1 = nameLine(24);
  NameLabel2 = nameLine(42);
  NameLabel3 = nameLine(60);
  caption(392, 86, 200, "FORMAT");
  FormatLabel = PlaceLabel(this, DisplayPanel, 392, 100, 340, 16);
  StyleFont(FormatLabel, "Arial", -13, clTeal, fsBold);
  caption(392, 118, 200, "BYTES USED");
  BytesLabel = PlaceLabel(this, DisplayPanel, 392, 132, 340, 16);
  StyleFont(BytesLabel, "Arial", -13, clTeal, fsBold);

  // Meters: the level bars with their scale, or the needle meters in the same place; the slider
  // under them. The room to their right is where the punch-in panel opens.
  LevelPanel = MakeDeckMeterPanel(this, this, 8, kMetersTop);
  const TDeckLevels levels = PlaceDeckLevels(this, LevelPanel);
  MMLevel1 = levels.left;
  MMLevelScale1 = levels.scale;
  MMLevel2 = levels.right;
  MeterPanel = MakeDeckMeterPanel(this, this, 8, kMetersTop);
  const TDeckMeters meters = PlaceDeckMeters(this, MeterPanel);
  MMMeter1 = meters.left;
  MMMeter2 = meters.right;
  MeterPanel->SetVisible(false);
  auto channel = [this](TWinControl* panel, int left, TControl* beside, const char* text) {
    TDeckLabel* c = PlaceLabel(this, panel, left, beside->Top() + (beside->Height() - 20) / 2, 16, 20, text);
    StyleFont(c, "Arial", -15, clSilver, fsBold);
  };
  channel(LevelPanel, 10, MMLevel1, "L");
  channel(LevelPanel, 10, MMLevel2, "R");
  channel(MeterPanel, 10, MMMeter1, "L");
  channel(MeterPanel, MMMeter2->Left() + MMMeter2->Width() + 4, MMMeter2, "R");
  for (TDeckLevel* l : {MMLevel1, MMLevel2}) l->OnGainOverflow = [this](TObject* s) { MMLevel1GainOverflow(s); };
  for (TDeckMeter* m : {MMMeter1, MMMeter2}) m->OnGainOverflow = [this](TObject* s) { MMLevel1GainOverflow(s); };
  for (TMMConnector* c : {MMConnector1, MMConnector2}) {
    c->SetLevel1(MMLevel1);
    c->SetLevel2(MMLevel2);
    c->SetMeter1(MMMeter1);
    c->SetMeter2(MMMeter2);
  }

  TrackBar = PlaceDeckSlider(this, this, 8 + kDeckDisplaysLeft, kMetersTop + kDeckMeterPanelHeight + 6);
  TrackBar->OnTrack = [this](TObject* s) { TrackBarTrack(s); };
  TrackBar->OnTrackEnd = [this](TObject* s) { TrackBarTrackEnd(s); };
  TrackBar->OnChange = [this](TObject* s) { TrackBarChange(s); };
}

void TSVMain::BuildTransport() {
  const int top = TrackBar->Top() + TrackBar->Height() + 8;
  TransportPanel = Place<TDeckPanel>(this, this, 8, top, 744, 146);
  TransportPanel->SetBevelOuter(plat::bvRaised);
  TransportPanel->SetParentColor(false);
  TransportPanel->SetColor(TColor(0x4A4540));
  auto button = [this](int row, int col, const std::string& text, TColor color, void (TSVMain::*handler)(TObject*)) {
    TDeckButton* b = Place<TDeckButton>(this, TransportPanel, 8 + col * 92, 8 + row * 68, 86, 60, text);
    // The transport row in large type, the file row smaller.
    StyleFont(b, "Arial", row == 0 ? -20 : -13, color, fsBold);
    b->SetParentColor(false);
    b->SetColor(clBtnFace);
    b->SetMultiLine(true);
    b->SetTabStop(true);
    b->OnClick = [this, handler](TObject* s) { (this->*handler)(s); };
    captionColor_[b] = color;
    return b;
  };
  // Each caption's accelerator is a letter that the deck's own Alt keys leave free, except Info's,
  // whose Alt key the deck gives the same task, and Web/FTP's, which the time warning's key
  // takes first.
  RecordButton = button(0, 0, "&Record\r\nF5", clRed, &TSVMain::RecordButtonClick);
  PauseButton = button(0, 1, "Pa&use\r\nF2", clOlive, &TSVMain::PauseButtonClick);
  PlayButton = button(0, 2, "P&lay\r\nF3", clGreen, &TSVMain::PlayButtonClick);
  StopButton = button(0, 3, "&Stop\r\nF4", clBlue, &TSVMain::StopButtonClick);
  RewindButton = button(0, 4, "Rewin&d\r\nF11", clBlack, &TSVMain::RewindButtonClick);
  FastForwardButton = button(0, 5, "&FF >>\r\nF12", clBlack, &TSVMain::FastForwardButtonClick);
  EditButton = button(0, 6, "Edi&t\r\nF6", clBlack, &TSVMain::EditButtonClick);
  EjectButton = button(0, 7, "E&ject\r\nF7", clBlack, &TSVMain::EjectButtonClick);
  LoadButton = button(1, 0, "L&oad\r\nF8", clBlack, &TSVMain::LoadButtonClick);
  SaveButton = button(1, 1, "Sa&ve\r\nF9", clBlack, &TSVMain::SaveButtonClick);
  Sendbutton = button(1, 2, "Se&nd\r\nAlt+M", clBlack, &TSVMain::SendbuttonClick);
  WebButton = button(1, 3, "&Web/FTP", clBlack, &TSVMain::WebButtonClick);
  Infobutton = button(1, 4, "&Info\r\nAlt+I", clBlack, &TSVMain::InfobuttonClick);
  OtherButton = button(1, 5, "Ot&her\r\nF10", clBlack, &TSVMain::OtherButtonClick);
  // Wind repeats while held: the first repeat half a second after the press, then every half second.
  for (TDeckButton* b : {RewindButton, FastForwardButton}) {
    b->SetRepeatedClick(true);
    b->SetRepeatingDelay(500);
    b->SetRepeatingInterval(500);
  }
  RecordButton->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { RecordButtonKeyDown(s, k, sh); };
  RecordButton->SetHint("Record (F5)");

  // Over the two free places of the lower row.
  StatusGroup = Place<TDeckGroup>(this, this, 16 + 6 * 92, top + 8 + 68, 178, 60);
  StatusGroup->SetParentColor(false);
  StatusGroup->SetColor(kWindow);
  StatusGroup->Bevel()->SetStyleOuter(TZelBevelStyle::bvLowered);
  StatusGroup->SetVisible(false);
  StatusCaption = PlaceLabel(this, StatusGroup, 6, 5, 166, 32, "Loading Program List... Please wait.");
  StyleFont(StatusCaption, "Arial", -12, kCaptionText, fsBold);
  StatusCaption->SetMultiLine(true);
  StatusCaption->SetAlignment(agTopCenter);
  ProgramGauge = Place<TDeckGauge>(this, StatusGroup, 8, 38, 162, 14);
  ProgramGauge->SetForeColor(clTeal);
  ProgramGauge->SetShowText(false);
  ProgramGauge->SetMaxValue(250);  // one step per row of the program list

  StatusBar1 = new TDeckStatusBar(this);
  StatusBar1->SetParent(this);
  StatusBar1->SetSimplePanel(true);
  StatusBar1->SetSizeGrip(false);
  StatusBar1->SetHeight(24);
  StatusBar1->SetColor(kBody);
  SensitivityLabel = PlaceLabel(this, StatusBar1, 0, 0, 760, 24);
  SensitivityLabel->SetAlign(alClient);
  StyleFont(SensitivityLabel, "Arial", -13, clSilver, fsBold);
  SensitivityLabel->SetAlignment(agCenter);
  SensitivityLabel->SetTransparent(true);
}

void TSVMain::BuildMenus() {
  LoadMenu = new TPopupMenu(this);
  LoadCart1 = AddItem(LoadMenu, "Load Cart\\&Audio File", ShortCut('A', ssCtrl), &TSVMain::LoadCart1Click, this);
  LoadCartPlayOnly1 = AddItem(LoadMenu, "Load Cart\\Audio File (&Play Only)", ShortCut('P', ssCtrl),
                              &TSVMain::LoadCartPlayOnly1Click, this);
  LoadPlayFile1 = AddItem(LoadMenu, "Load Cart\\Audio File (Non Destructive &Edit)", ShortCut('E', ssCtrl),
                          &TSVMain::LoadPlayFile1Click, this);
  LoadByName1 = AddItem(LoadMenu, "Load By &Name", ShortCut('N', ssCtrl), &TSVMain::LoadByName1Click, this);
  LoadStandardCart1 = AddItem(LoadMenu, "Load Blank &Standard Cart\\Audio File", ShortCut('S', ssCtrl),
                              &TSVMain::LoadStandardCart1Click, this);
  LoadStandardCart1->SetDefault(true);
  LoadBlankcustomCart1 = AddItem(LoadMenu, "Load Blank C&ustom Cart\\Audio File", ShortCut('U', ssCtrl),
                                 &TSVMain::LoadBlankcustomCart1Click, this);
  LoadBlankQuickCart1 = AddItem(LoadMenu, "Load Blank &QuickCart\\Auto Named File or Program", ShortCut(VK_INSERT, 0),
                                &TSVMain::LoadBlankQuickCart1Click, this);

  OtherMenu = new TPopupMenu(this);
  OtherMenu->OnPopup = [this](TObject* s) { OtherMenuPopup(s); };
  MarkBeginning1 =
      AddItem(OtherMenu, "Mark &Beginning Point", ShortCut('B', ssAlt), &TSVMain::MarkBeginning1Click, this);
  MarkEndingPoint1 =
      AddItem(OtherMenu, "Mark &Ending Point", ShortCut('E', ssAlt), &TSVMain::MarkEndingPoint1Click, this);
  GoToTime1 = AddItem(OtherMenu, "Go To Time", ShortCut('G', ssCtrl), &TSVMain::GoToTime1Click, this);
  AddLine(OtherMenu);
  LoopPlay1 = AddItem(OtherMenu, "&Loop Play", ShortCut('L', ssCtrl), &TSVMain::LoopPlay1Click, this);
  AnalogMeters1 = AddItem(OtherMenu, "&Analog Meters", ShortCut('M', ssCtrl), &TSVMain::AnalogMeters1Click, this);
  BeepSpeakerAt0VU1 =
      AddItem(OtherMenu, "Beep Speake&r At 0 VU", ShortCut('B', ssCtrl), &TSVMain::BeepSpeakerAt0VU1Click, this);
  AddLine(OtherMenu);
  Mixer1 = AddItem(OtherMenu, "&Volume Control", ShortCut('W', ssCtrl), &TSVMain::Mixer1Click, this);
  MultimediaProperties1 =
      AddItem(OtherMenu, "Multimedia &Properties", ShortCut('Q', ssCtrl), &TSVMain::MultimediaProperties1Click, this);
  AddLine(OtherMenu);
  SetupStandardCart1 =
      AddItem(OtherMenu, "&Setup Standard Cart", ShortCut('F', ssCtrl), &TSVMain::SetupStandardCart1Click, this);
  LRArrowSensitivity1 =
      AddItem(OtherMenu, "FF\\Rew Sensitivity", ShortCut('A', ssAlt), &TSVMain::LRArrowSensitivity1Click, this);
  imeLeftWarning1 =
      AddItem(OtherMenu, "&Time Remaining Warning", ShortCut('W', ssAlt), &TSVMain::imeLeftWarning1Click, this);
  AddLine(OtherMenu);
  LogInUser1 = AddItem(OtherMenu, "Log &In User", ShortCut('I', ssCtrl), &TSVMain::LogInUser1Click, this);
  LogOutUser1 = AddItem(OtherMenu, "Log &Out User", ShortCut('O', ssCtrl), &TSVMain::LogOutUser1Click, this);
  EditTemplateLibrary1 =
      AddItem(OtherMenu, "&User and Program Manager", ShortCut('K', ssCtrl), &TSVMain::EditTemplateLibrary1Click, this);
  AdvancedSettings1 =
      AddItem(OtherMenu, "Advance&d Settings", ShortCut('D', ssCtrl), &TSVMain::AdvancedSettings1Click, this);
  AdvancedSettings1->SetVisible(false);
  AddLine(OtherMenu);
  Exit1 = AddItem(OtherMenu, "E&xit", ShortCut(VK_F4, ssAlt), &TSVMain::Exit1Click, this);
}

// ---- start-up ---------------------------------------------------------------------------------

std::string TSVMain::DeckTempFolder() const {
  return deckTemp_.Path().empty() ? ::DeckTempFolder() : deckTemp_.Path();
}

bool TSVMain::DeckTempReady() {
  const plat::FolderVerdict verdict = deckTemp_.Rehold();
  if (!verdict.Held()) Notify(TNoticeKind::Error, DeckTempRefusal(verdict, DeckTempFolder()));
  return verdict.Held();
}

bool TSVMain::HoldDeckTemp() {
  // What a run cut short left in the account's own folder is taken back from there, whatever became
  // of the lasting folder meanwhile; an empty one makes way for the lasting folder.
  const std::string fallback = DeckPrivateFolder().empty() ? "" : DeckPrivateFolder() + DeckFallbackName + "/";
  if (!fallback.empty() && plat::DirectoryExists(fallback) && HoldPrivateFolder(deckTemp_, DeckFallbackName).Held()) {
    if (HoldsLeftovers(fallback)) return true;
    deckTemp_.Release();
  }
  const std::string lasting = ::DeckTempFolder();
  const plat::FolderVerdict verdict = deckTemp_.Hold(lasting);
  if (verdict.Held()) return true;
  if (verdict.fault != plat::FolderFault::Theirs) {
    Notify(TNoticeKind::Error, DeckTempRefusal(verdict, lasting));
    return false;
  }
  // Another account's, which the operator can neither change nor remove: not a reason to record nowhere.
  const plat::FolderVerdict own = HoldPrivateFolder(deckTemp_, DeckFallbackName);
  if (own.Held()) {
    Notify(TNoticeKind::Warning, DeckTempFallbackText(verdict, lasting, fallback));
    return true;
  }
  Notify(TNoticeKind::Error, DeckTempRefusal(verdict, lasting) + "\r\n\r\n" + PrivateFolderRefusal(own, fallback));
  return false;
}

void TSVMain::FormCreate(TObject*) {
  Resizer->RecordLayout();
  Tracking = PlayOnly = SwallowRecordClick = BusySaving = FileMustExist = false;
  ChangedSinceSave = Closing = false;
  UserData.currentUser = DefaultUserName;
  UserData.usersFolder = ProgramFolder();

  TCommandLine cmd = ReadCommandLine(CommandLine, ProgramFolder(), Notifier());
  UserData.usersFolder = cmd.usersFolder;
  AutoCartFile = cmd.autoCartFile;

  if (plat::WaveInGetNumDevs() == 0) {
    const std::string reason = plat::WaveInNoDeviceReason();
    Notify(TNoticeKind::Error,
           "This application requires at least one multimedia device to run.\r\nInstall a "
           "multimedia device and try running this application again." +
               (reason.empty() ? std::string() : "\r\n\r\n" + reason));
    EndCreation();
    return;
  }
  // Held from here to the end of the run: one deck per folder, from any session.
  if (!HoldDeckTemp()) {
    EndCreation();
    return;
  }
  // Only a start that runs: one refused the folder leaves the running deck's order for its e-mail
  // program in place.
  DeleteMailFile(UserData);
  FirstShowing = true;
  LoadConfig();
  Form2->DoCreate();
  Form6->DoCreate();
  EmptyDeck();
  if (Config.desktopFullScreen) {
    ShowTaskbar(false);
    DesktopHidden = !DesktopHidden;
    SetFullScreen(true);
  }
  UserCaptionUpdate();
  Mixer1->SetEnabled(!MixerCommand().empty());
  LevelPanel->SetVisible(!AnalogMeters1->Checked());
  MeterPanel->SetVisible(AnalogMeters1->Checked());
  SetMeterGain();
  SetPaths();
  OpenComPort();
  RecTimeLeft->SetVisible(false);
  RecTimeLeftCaption->SetVisible(false);
}

void TSVMain::EndCreation() {
  createdOk_ = false;
  CloseComPort();
  if (Application) Application->Terminate();
}

bool TSVMain::LoadConfig() {
  UserData.sendLists = LoadSendLists(ProgramFolder(), Notifier());
  try {
    ::LoadConfig(Config, ProgramFolder(), Notifier());
  } catch (const std::exception& e) {
    // A settings file that cannot be written leaves the defaults for this run.
    Notify(TNoticeKind::Error, e.what());
  }
  AnalogMeters1->SetChecked(Config.analogMeters);
  TMenuItem* items[LoadMenuItems] = {LoadCart1,         LoadCartPlayOnly1,    LoadPlayFile1,      LoadByName1,
                                     LoadStandardCart1, LoadBlankcustomCart1, LoadBlankQuickCart1};
  for (int i = 0; i < LoadMenuItems; ++i) items[i]->SetEnabled(Config.loadMenuEnabled[size_t(i)]);
  FFRewStep = Config.arrowsSensitivity;
  StdFormat = Config.standardFormat;
  StdLength = Config.standardLength;
  return true;
}

void TSVMain::SetPaths() {
  OpenDialog1->InitialDir = Config.loadPath;
  SaveDialog1->InitialDir = Config.savePath;
}

void TSVMain::OpenComPort() { Gpi.OpenComPort(Config.gpi, Notifier()); }

void TSVMain::CloseComPort() { Gpi.CloseComPort(); }

void TSVMain::UserCaptionUpdate() {
  FormStyler->CompanyText()->SetCaption("Tolmark Kiv " + FileVersionText("/proc/self/exe"));
  FormStyler->CaptionText()->SetCaption("  [ User: " + UserData.currentUser + " ]");
}

void TSVMain::FormShow(TObject*) {
  if (FirstShowing) {
    FirstShowing = false;
    Gpi.Send(TGpiEvent::Load);
    // A take killed while it ran on past the end of a cart: the cart is finished with the title
    // and picture the take had cut off, before any take left here is offered. One whose disk is
    // not there yet stays kept.
    FinishKeptCarts("");
    TellLinkedLeftovers(DeckTempFolder());
    if (!OfferLeftoverTake(DeckTempFolder())) OfferRescuedTake();
    if (!AutoCartFile.empty()) AutoLoadStandard();
  }
  ShowSensitivity(Config.arrowsSensitivity, true);
  if (Config.fullScreen) {
    ShowTaskbar(false);
    SetFullScreen(true);
  }
}

// A recording left with a second name is not taken back, and the next cart of its name replaces
// it here: the operator hears where it was and how long it is.
void TSVMain::TellLinkedLeftovers(const std::string& folder) {
  for (const std::string& name : LinkedLeftovers(folder)) {
    PWaveIOBlock b;
    const bool reads = WaveIOOpen(b, folder + name, plat::FourCC("WAVE"), wioFile) == wioOk && b->PFormat() &&
                       b->PFormat()->nSamplesPerSec > 0;
    if (reads && b->TotalSamples == 0) continue;  // no recording, as for a take with one name
    const std::string length = reads ? FormatTime(b->TotalSamples * 1000 / b->PFormat()->nSamplesPerSec) : "";
    Notify(TNoticeKind::Warning, LinkedLeftoverText(folder + name, length));
  }
}

bool TSVMain::OfferLeftoverTake(const std::string& folder) {
  for (const std::string& name : LeftoverTakes(folder)) {
    std::string path = folder + name;
    // A take killed before any of its audio reached the disk is no recording to offer: it is
    // left with the other leftovers, which the next eject or exit deletes.
    if (!HoldsAudio(path)) continue;
    // Told as recovered only once it has loaded; a take that does not read stays where it is.
    bool loaded = false;
    try {
      LoadTheOrphan(path);
      loaded = true;
    } catch (...) {
      Application->HandleException(std::current_exception());
    }
    if (loaded) {
      Timer1->SetEnabled(false);
      // One taken back from elsewhere than the temporary folder is told with where it is.
      Notify(TNoticeKind::Warning, RecoveryMessage(folder == DeckTempFolder() ? name : path));
      Timer1->SetEnabled(true);
    }
    return true;
  }
  return false;
}

// Held only while the deck has one of them; a folder another deck of the account's holds now (it
// may have a take there), or one not to be trusted, is left for a later start. Once a take is
// chosen, the account's other decks may rescue theirs beside it.
void TSVMain::OfferRescuedTake() {
  const std::string root = DeckPrivateFolder();
  if (root.empty() || !DirectoryExists(root + DeckRescueName) || !HoldPrivateFolder(rescue_, DeckRescueName).Held())
    return;
  OfferLeftoverTake(rescue_.Path());
  if (DeckLoaded && ExtractFilePath(RecordFileName) == rescue_.Path()) {
    rescuedTake_ = RecordFileName;
    rescue_.Share();
  } else {
    rescue_.Release();
  }
}

void TSVMain::ShowSensitivity(int stepMs, bool any) {
  if (!Config.displaySensitivity) return;
  std::string seconds = SensitivitySeconds(stepMs);
  if (!any && seconds == "1000") return;
  SensitivityLabel->SetCaption("FF\\Rew Sensitivity " + seconds + " Second(s) +/- to change");
}

void TSVMain::Timer1Timer(TObject*) {
  Timer1->SetEnabled(false);
  if (Config.fullScreen) SetBorderIcons(BorderIcons() & ~(biMaximize | biMinimize));
}

void TSVMain::FormResize(TObject*) {
  if (!Resizer || !Resizer->Recorded()) return;
  Resizer->ResizeControls();
  PlacePunchIn();
}

// ---- shut-down --------------------------------------------------------------------------------

void TSVMain::Exit1Click(TObject*) { Close(); }

void TSVMain::FormClose(TObject*, TCloseAction& Action) {
  if (!::ExitPasswordGiven(*this, *Form25)) {
    Action = caNone;
    return;
  }
  if (DiskHoldsTake) {
    // Ejecting or finishing the take would wait on its disk: the program can only end as on a stop
    // signal, leaving what reached the disk for the next start.
    Action = caNone;
    if (EndNow && Ask(TQuestionKind::Warning,
                      "Solvane is still waiting for the disk to take the rest of the recording into " + RecordFileName +
                          ". If you exit now, what has not reached the disk is lost; what has is offered again "
                          "at the next start. Exit anyway?",
                      false) == TAnswer::Yes)
      EndNow();
    return;
  }
  if (Closing) return;
  if (!DeckLoaded) {
    Closing = true;
    ExitSequence();
    return;
  }
  if (plat::MessageDlg("There is still a file loaded in the deck. Are you sure you want to exit?", mtConfirmation,
                       mbYesNo) != mrYes) {
    Action = caNone;
    return;
  }
  Closing = true;
  // A No to the unsaved-changes question keeps the take and the program.
  if (!Eject()) {
    Closing = false;
    Action = caNone;
    return;
  }
  ExitSequence();
  DeleteMailFile(UserData);
}

void TSVMain::EndOnStopSignal() {
  Closing = true;
  // A start that does not hold the temporary folder (refused it, or has not come that far) has no
  // take, device or port open, and the folder may be another deck's: what that deck keeps there for
  // its take is left to it.
  if (!deckTemp_.IsHeld()) return;
  ExitSequence(false);
  // What the deck holds of an unsaved take stays for the next start to offer.
  KeepHeldTake(false, TTell::Never);
}

void TSVMain::ExitSequence(bool removeTemporaryFiles) {
  WaveIn->Close();
  // A take whose disk still holds its stop stays as it stands, for the next start to take back:
  // finishing its cart or emptying the folder would wait on that disk too.
  const bool held = WaveIn->StopHeld();
  if (!held) FinishKeptCart(DeckTempFolder());
  MMWaveOut1->Close();
  Gpi.Send(TGpiEvent::Exit);
  if (removeTemporaryFiles && !held) EmptyDeckTemp(DeckTempFolder());
  UserData.sendLists = {};
  CloseComPort();
  if (Application) Application->Terminate();
}

void TSVMain::FormDestroy(TObject*) {
  if (Resizer) Resizer->RecordLayout();
  ShowTaskbar(true);
}

// ---- users ------------------------------------------------------------------------------------

void TSVMain::LogInUser1Click(TObject*) { LogInUser(*this, *Form10); }

void TSVMain::LogOutUser1Click(TObject*) {
  if (LogOutUser(*this)) UserCaptionUpdate();
}

void TSVMain::EditTemplateLibrary1Click(TObject*) { OpenManagerWithPassword(*this, *Form11, *Form14); }

// ---- TUserDeck --------------------------------------------------------------------------------

void TSVMain::Notify(TNoticeKind kind, const std::string& text) {
  TMsgDlgType type = kind == TNoticeKind::Warning ? mtWarning : kind == TNoticeKind::Error ? mtError : mtInformation;
  plat::MessageDlg(text, type, mbOKOnly);
}

TAnswer TSVMain::Ask(TQuestionKind kind, const std::string& text, bool withCancel) {
  TMsgDlgType type = kind == TQuestionKind::Warning ? mtWarning : mtConfirmation;
  int r = plat::MessageDlg(text, type, withCancel ? mbYesNoCancel : mbYesNo);
  if (r == mrYes) return TAnswer::Yes;
  return r == mrNo ? TAnswer::No : TAnswer::Cancel;
}

void TSVMain::SetLoadStatus(const std::string& caption) {
  if (StatusCaption) StatusCaption->SetCaption(caption);
}

void TSVMain::ProcessMessages() {
  if (Application) Application->ProcessMessages();
}

std::string TSVMain::CartFileName() const { return PlayFile->Wave()->FileName(); }

TSVMain::TDeckSnapshot TSVMain::Snapshot() const {
  const char* state = DeckEmpty       ? "empty"
                      : DiskHoldsTake ? "stopping"
                      : Recording     ? (Paused ? "paused" : "recording")
                      : Playing       ? "playing"
                      : Paused        ? "paused"
                      : Stopped       ? "stopped"
                                      : "loaded";
  // The queue of a take its disk holds up waits however long that lasts: the deck itself is at rest.
  const bool working = BusySaving || (!DiskHoldsTake && RecRingBuffer->WorkPending()) || PlayRingBuffer->WorkPending();
  return {state, CartKind, static_cast<plat::TControl*>(CurrentPosition)->Caption(), RecordFileName, working};
}

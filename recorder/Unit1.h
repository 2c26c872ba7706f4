#pragma once
// The main window: the cart deck. It owns the two audio chains (wave input -> connector -> ring
// buffer -> RecFile for recording, PlayFile -> ring buffer -> wave output -> connector for
// playback), the meters, the timers and all deck state, which are private: the windows see the
// deck through narrow interfaces (TUserDeck, TDialogDeck, TPunchInDeck), and tests through
// TDeckProbe (tests/recorder/DeckProbe.h). Its code is spread by topic over Unit1.cpp,
// DeckTransport.cpp, DeckKeys.cpp, DeckCarts.cpp, DeckRecord.cpp and DeckSave.cpp.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/MMCstDlg.h"
#include "platform/messages/messages.h"
#include "platform/system/held_folder.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/stdctrls.h"
#include "recorder/DeckKit.h"
#include "recorder/DeckTemp.h"
#include "recorder/DialogDeck.h"
#include "recorder/Gpi.h"
#include "recorder/PunchIn.h"
#include "recorder/Settings.h"
#include "recorder/Unit22.h"
#include "recorder/UserDeck.h"

using plat::TComponent;
using plat::TObject;

class TMMWaveIn;
class TMMWaveOut;
class TMMConnector;
class TMMRingBuffer;
class TMMWaveFile;
class TMMWave;
class TMMHiTimer;
class TMMWaveInfoEditor;
class TFormResizer;
class TMMFormStyler;
class TForm2;
class TForm6;
class TForm8;
class TForm9;
class TForm10;
class TForm11;
class TForm14;
class TForm25;

// Cart kinds and origins, as the deck stores them.
constexpr const char* KindStandard = "STANDARD";
constexpr const char* KindQuick = "QUICK";
constexpr const char* KindCustom = "CUSTOM";
constexpr const char* KindByName = "BYNAME";
constexpr const char* KindPlay = "PLAY";
constexpr const char* OriginOriginate = "ORIGINATE";
constexpr const char* OriginExisting = "EXISTING";

class TSVMain : public plat::TForm, public TUserDeck, public TDialogDeck, public TPunchInDeck {
public:
  explicit TSVMain(TComponent* owner);
  ~TSVMain() override;
  std::string ClassName() const override { return "TSVMain"; }
  // The program's parameters, its own path first; the entry sets them before creating the form.
  static void SetCommandLine(std::vector<std::string> args) { CommandLine = std::move(args); }
  // Ends the process as a stop signal does (the entry sets it); the close box uses it when the
  // take's disk holds the exit steps.
  static void SetEndNow(std::function<void()> end) { EndNow = std::move(end); }

  // ============================ form and start-up ============================
  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, plat::TCloseAction& Action);
  void FormDestroy(TObject* Sender);
  void FormResize(TObject* Sender);
  void FormKeyDown(TObject* Sender, uint16_t& Key, plat::TShiftState Shift);
  void Timer1Timer(TObject* Sender);
  void Exit1Click(TObject* Sender);
  // The session ends (a stop signal): the take's file is finished, the studio hears "ON EXIT"
  // as from the window, and an unsaved take stays in the temporary folder for the next start.
  void EndOnStopSignal();
  void UserCaptionUpdate() override;
  void LogInUser1Click(TObject* Sender);
  void LogOutUser1Click(TObject* Sender);
  void EditTemplateLibrary1Click(TObject* Sender);
  bool LoadConfig();
  void SetPaths();
  void OpenComPort();
  void CloseComPort();
  const std::string& ProgramFolder() const override { return UserData.programFolder; }
  // The deck's temporary folder (recorder/DeckTemp.h), held for the whole run.
  std::string DeckTempFolder() const override;
  // What creation left behind: false when the program must end (no input device, no folder).
  bool CreatedOk() const { return createdOk_; }
  // The sensitivity label for a FF/Rew step; any: also for a step that is none of the six.
  void ShowSensitivity(int stepMs, bool any);
  // Keeps the punch-in panel in the room beside the meters and the slider.
  void PlacePunchIn();
  // Where the punch-in panel opens, in the deck's client coordinates.
  plat::TRect PunchInBay() const;
  // The program that shows the sound mixer, with its arguments; empty when there is none.
  std::vector<std::string> MixerCommand() const;

  // ================================== keys ==================================
  // A routine of the deck a key runs.
  using TDeckRoutine = std::function<void(TSVMain&)>;
  // The modifier keys a binding takes: none, exactly one of them, or any (kmCombined: two or more
  // held together).
  enum TKeyMods : uint8_t { kmNone = 1, kmShift = 2, kmAlt = 4, kmCtrl = 8, kmCombined = 16, kmAny = 31 };
  // When a binding counts: not while recording, while recording too, or only with the punch-in
  // panel shown (and not recording).
  enum TKeyWhen : uint8_t { kwNotRecording, kwAlsoRecording, kwPunchInShown };
  struct TKeyBinding {
    uint16_t key;
    uint8_t mods;  // TKeyMods
    TKeyWhen when;
    TDeckRoutine run;
  };
  // Every key of the deck (DeckKeys.cpp).
  static const std::vector<TKeyBinding>& KeyBindings();
  // The binding a key takes now; nullptr: the key is not the deck's and passes on.
  const TKeyBinding* KeyBinding(uint16_t key, plat::TShiftState shift) const;

  // ================================ transport ================================
  void RecordButtonClick(TObject* Sender);
  void RecordButtonKeyDown(TObject* Sender, uint16_t& Key, plat::TShiftState Shift);
  void PauseButtonClick(TObject* Sender);
  void PlayButtonClick(TObject* Sender);
  void StopButtonClick(TObject* Sender);
  void RewindButtonClick(TObject* Sender);
  void FastForwardButtonClick(TObject* Sender);
  void EjectButtonClick(TObject* Sender);
  void EditButtonClick(TObject* Sender);
  void LoadButtonClick(TObject* Sender);
  void SaveButtonClick(TObject* Sender);
  void SendbuttonClick(TObject* Sender);
  void WebButtonClick(TObject* Sender);
  void OtherButtonClick(TObject* Sender);
  void InfobuttonClick(TObject* Sender);
  // Eject: true when the deck was emptied (a No to the unsaved-changes question keeps the cart).
  bool Eject();

  void EmptyDeck();
  void LoadedDeck();
  void PlayDeck();
  void StopStuff();
  void UpdatePlayControls();
  void UpdateRecControls();
  std::string FormatTime(int64_t ms) const override;
  void SetMeterGain();
  void RunControlPanelApplet(const std::string& applet);
  // The cart's name over the three name lines.
  void Label12Caption(const std::string& path);
  // Send and Web follow their programs' presence when enabled.
  void EnableSendButtons(bool enable);
  // Moves the playback to the slider's position (what dragging ends with).
  void Seek();
  // A time as the deck shows it, into a label and its hint.
  void ShowTime(TDeckLabel* label, int64_t ms, const std::string& hint);
  // Where the deck stopped or paused, on the slider and the time labels alike (end: what Time
  // Left counts to).
  void ShowHeldPosition(int64_t pos, int64_t end);
  // "PCM, 44.100 kHz, 16 Bit, Stereo"
  static std::string FormatDescription(TMMWave* wave);
  void ShowCartFormat(TMMWave* wave);
  void SetSliderMax(int64_t ms);
  void SetSliderPosition(int64_t ms);
  int64_t WaveLength() const;    // PlayFile's length
  int64_t PlayRangeEnd() const;  // the end of PlayFile's play range

  // Events of the components.
  void TimerTimer(TObject* Sender);
  void FlashTimerTimer(TObject* Sender);
  void TrackBarTrack(TObject* Sender);
  void TrackBarTrackEnd(TObject* Sender);
  void TrackBarChange(TObject* Sender);
  void WaveInStart(TObject* Sender);
  void WaveInStop(TObject* Sender);
  // The take's stop waits for its disk: the deck holds still until the disk has taken the rest.
  void WaveInStopHeld(TObject* Sender);
  void DiskTimerTimer(TObject* Sender);
  // While a take's stop is held, tells the operator so and is true.
  bool DiskStillHoldsTake();
  void RecFileWriteFailed();
  void RecFileNotFinished();
  void RecFileListsNotKept();
  void StampTheTake();
  std::string ListsKeptText() const;
  // A sound stream that moves no audio is never ended for it: each stall is told once, behind
  // which the take or playback goes on.
  void TellStall();
  static std::string StallText(bool recording, int64_t seconds);
  // Where and how long the take that just ended lost audio its input could not hold; "" for none.
  std::string GapsText() const;
  void MMWaveOut1Start(TObject* Sender);
  void MMWaveOut1Stop(TObject* Sender);
  void MMWaveOut1Looping(TObject* Sender);
  void MMLevel1GainOverflow(TObject* Sender);

  // The Other menu.
  void OtherMenuPopup(TObject* Sender);
  void LoopPlay1Click(TObject* Sender);
  void AnalogMeters1Click(TObject* Sender);
  void BeepSpeakerAt0VU1Click(TObject* Sender);
  void Mixer1Click(TObject* Sender);
  void MultimediaProperties1Click(TObject* Sender);
  void AdvancedSettings1Click(TObject* Sender);
  void SetupStandardCart1Click(TObject* Sender);
  void LRArrowSensitivity1Click(TObject* Sender);
  void imeLeftWarning1Click(TObject* Sender);
  void GoToTime1Click(TObject* Sender);

  // ============================ carts and loading ============================
  void LoadCart1Click(TObject* Sender);
  void LoadCartPlayOnly1Click(TObject* Sender);
  void LoadPlayFile1Click(TObject* Sender);
  void LoadByName1Click(TObject* Sender);
  void LoadStandardCart1Click(TObject* Sender);
  void LoadBlankcustomCart1Click(TObject* Sender);
  void LoadBlankQuickCart1Click(TObject* Sender);
  void JustQuickCart();
  void AutoLoadStandard();
  // Makes the blank file of a new cart; false when it could not be made.
  bool QuickRecordLoad();
  void GetFormat();
  void GetCustomFormat();
  bool FileReadOnly(const std::string& path) const;
  // What the Load By Name dialog's OK does with a name already checked and given ".wav":
  // loads or makes the cart; false keeps the dialog open.
  bool LoadByNameEntry(const std::string& name) override;
  // Makes a file on disk the cart; raises when the file does not read.
  void TakeExistingFile(const std::string& path);
  // The recovery of a recording left in the temporary folder.
  void LoadTheOrphan(const std::string& path);

  // ========================= recording and punch-in =========================
  void GetReadyToRecord();
  bool RecordPrep();
  void KeepWhatTheTakeMayCut();
  // Finishes the carts kept beside earlier takes that can be reached; tells of those whose path
  // now holds another file: the one at loading, or every one when loading is empty.
  void FinishKeptCarts(const std::string& loading);
  void MarkBeginning1Click(TObject* Sender) override;
  void MarkEndingPoint1Click(TObject* Sender) override;
  void FlashTimeLeft(bool on);
  void PlayTimeLeftWarning(bool on);
  // Whether the punch-in panel is showing.
  bool PunchInShown() const;
  // The punch-in panel's Clear, and Alt+P wherever the focus is: the saved full limit comes back
  // to the input and the slider, Record with it unless play-only, then the panel closes.
  void ClearPunchIn() override;
  // What closing the punch-in panel does to the deck: the saved full limit goes back into the
  // input, and the marks, their flags and the saved limit are cleared.
  void PunchInClosed() override;
  void GoToBeginMark() override;
  void GoToEndMark() override;
  bool PlayEnabled() const override;
  void PlayIntro() override;
  void PlayOutro() override;
  void TakeFocus() override;
  // The three labels and the gauge of the panel from the marks.
  void ShowMarks();

  // ================================= saving =================================
  void SaveDialogFileOK(TObject* Sender, bool& CanClose);
  // A by-name cart is saved into the save folder under its own name, without the dialog; a
  // recording taken back at start always goes through the dialog.
  bool SavesByName() const override;
  // Save found the cart's file gone: says so and ejects.
  void TakeGone(const std::string& path);
  // Where the save dialog starts.
  std::string SaveDialogFolder();

  // ================================ TUserDeck ================================
  TUserFields& Users() override { return UserData; }
  const TDeckSettings& Settings() const override { return Config; }
  void Notify(TNoticeKind kind, const std::string& text) override;
  TAnswer Ask(TQuestionKind kind, const std::string& text, bool withCancel) override;
  void SetLoadStatus(const std::string& caption) override;
  void ProcessMessages() override;
  bool Busy() const override { return BusySaving; }
  std::string CartFileName() const override;
  void EjectCart() override { Eject(); }
  bool StartProgram(const std::string& path, const std::vector<std::string>& args, plat::TRunning& running,
                    const std::string& order, plat::TEnded ended) override {
    return TUserDeck::StartProgram(path, args, running, order, std::move(ended));
  }

  // =============================== TDialogDeck ===============================
  bool StartProgram(const std::string& path, const std::vector<std::string>& args) override {
    return plat::StartProcess(path, args);
  }
  bool SettingUpCustomCart() const override { return CartKind == KindCustom; }
  void StandardCart(int& format, int& length) override;
  void SetCustomCart(int format, int length) override;
  std::string CopySourceFile() const override { return CopySource; }
  std::string CopyTargetFile() const override { return CopyPath; }
  std::string SaveDialogFileName() const override { return SaveDialog1->FileName; }
  plat::FileIdentity SaveReplaceAgreed() const override { return SaveDialog1->ReplaceAgreed; }
  bool CartMadeHere() const override { return CartOrigin == OriginOriginate; }
  bool TakeBackForSave() override;
  void SaveGaveUp() override { CartKind = KindQuick; }
  void TakeSavedFile(const std::string& path) override;
  void SaveFinished() override;
  void LetSavedTakeGo() override;
  void WatchCartFile() override { FileMustExist = true; }
  void SetGoToText(const std::string& text) override { GoToText = text; }
  TDeckSettings& ChangeSettings() override { return Config; }
  void ChoosePrefix(const std::string& display, const std::string& value) override;

  // The deck as the test channel (TestControl) reports it.
  struct TDeckSnapshot {
    const char* state;  // "empty", "recording", "paused", "playing", "stopped", "loaded" or "stopping" (held)
    std::string kind, position, file;
    bool working;  // a save runs, or a ring buffer has disk work under way
  };
  TDeckSnapshot Snapshot() const;

private:
  friend class TDeckProbe;  // tests/recorder/DeckProbe.h: the deck as tests see it

  // ================================ deck state ================================
  // Times are milliseconds, the slider's unit.
  bool DeckEmpty = true;            // no cart; the Load caption blinks
  bool DeckLoaded = false;          // a cart is in the deck
  bool Playing = false;             // the wave output runs
  bool Paused = false;              // playback or recording is paused
  bool Recording = false;           // the wave input was started
  bool Stopped = false;             // the Stop caption blinks
  bool Tracking = false;            // the slider is being dragged; the display timer leaves it alone
  bool SwallowRecordClick = false;  // Space went down on the Record button
  bool BusySaving = false;          // a save runs: every transport handler returns at once
  bool DiskHoldsTake = false;       // the take's stop waits for its disk: nothing touches the take
  bool PlayOnly = false;            // recording and saving refused
  bool ChangedSinceSave = false;    // ejecting asks first
  bool FileMustExist = false;       // Record first checks that the cart's file still exists
  int64_t StartOffset = 0;          // slider position at which the running playback or recording began
  int64_t PausePosition = 0;        // device position when paused; start of the last playback
  int64_t RecordingLimit = 0;       // what a recording may reach on this cart
  int FFRewStep = 1000;             // moved by Rewind and Fast Forward

  // The cart.
  std::string CartKind;        // KindStandard, ...; empty while the deck is empty
  std::string CartOrigin;      // OriginOriginate or OriginExisting
  std::string RecordFileName;  // the file recording writes into and saving starts from
  std::string SourcePath;      // the file a load command or the recovery chose

  // Standard cart ([Standard Cart], read again by GetFormat before each blank cart).
  int StdFormat = DefaultStandardFormat;
  int StdBits = 16;
  std::string StdChannels = "Mono";  // "Mono" or "Stereo"
  int StdRate = 32000;
  std::string StdTag = "PCM";
  int StdLength = DefaultStandardLength;  // HHMMSS digits
  // Custom cart: program name, format number, length, save folder and lockout are UserData.cart;
  // GetCustomFormat derives these from its format number.
  int CustomBits = 16;
  std::string CustomChannels = "Mono";
  int CustomRate = 32000;
  std::string CustomTag = "PCM";

  // Quick-cart prefix chosen in the Quick Load dialog (both empty: none). It stays chosen across
  // ejects until that dialog is cancelled or another entry is chosen.
  std::string PrefixDisplay;
  std::string PrefixValue;  // a length as HHMMSS digits

  std::string GoToText = "00:00:00";  // the last time typed in the Go To Time dialog
  std::string ByNameEntry;            // the name typed in the Load By Name dialog
  std::string CopySource;             // the non-destructive copy: what the copy window copies
  std::string CopyPath;               // ... and where to

  // Start-up and shut-down.
  std::string AutoCartFile;   // the file an "A=" parameter named
  bool FirstShowing = false;  // set before the settings are read, cleared by the first show
  bool Closing = false;       // the exit sequence has begun
  bool DesktopHidden = false;

  bool WarningSounding = false;  // the time-left warning sound loops
  bool Recovered = false;        // the cart is a recording taken back at start: saved through the dialog

  // Settings (read once by LoadConfig), users and programs, GPI.
  TDeckSettings Config;
  TUserFields UserData;
  TGpiPort Gpi;
  // What the recording and playback paths have to tell (a failed write, audio lost to a full
  // queue, a damaged file); handled once the chain has unwound.
  plat::HiddenWindow RecFileNotices;
  static constexpr uint32_t NoticeWriteFailed = plat::WM_USER, NoticeAudioLost = plat::WM_USER + 1,
                            NoticeNotFinished = plat::WM_USER + 2, NoticeTakeBack = plat::WM_USER + 3,
                            NoticeListsNotKept = plat::WM_USER + 5, NoticeSourceDamaged = plat::WM_USER + 6,
                            NoticeDiskHoldsTake = plat::WM_USER + 7, NoticeStalled = plat::WM_USER + 8,
                            NoticeGaps = plat::WM_USER + 9;
  uint64_t DroppedBeforeTake = 0;  // buffers the recording queue had lost before this take
  bool TakeListsNotKept = false;   // this take's cart has a title or picture that could not be kept aside
  bool TakeStampDue = false;       // this take's cart is kept, and its first audio not yet stamped
  bool StallTold = false;          // the running take's or playback's stall has been told
  std::string TakeGaps;            // GapsText of the last take, for its notice

  // ================================ components ================================
  // The chains. Times of the wave devices and both wave files are in milliseconds.
  TMMWaveIn* WaveIn = nullptr;
  TMMConnector* MMConnector1 = nullptr;    // recording tap
  TMMRingBuffer* RecRingBuffer = nullptr;  // qmWrite
  TMMWaveFile* RecFile = nullptr;
  TMMWaveFile* PlayFile = nullptr;
  TMMRingBuffer* PlayRingBuffer = nullptr;  // qmRead
  TMMWaveOut* MMWaveOut1 = nullptr;
  TMMConnector* MMConnector2 = nullptr;  // playback tap

  TMMHiTimer* Timer = nullptr;         // display timer, 250 ms, runs while a device runs
  plat::TTimer* FlashTimer = nullptr;  // 500 ms
  plat::TTimer* Timer1 = nullptr;      // one shot, 250 ms from creation
  plat::TTimer* DiskTimer = nullptr;   // 100 ms while the take's stop is held: has its disk answered?

  TMMWaveOpenDialog* OpenDialog1 = nullptr;
  TMMWaveSaveDialog* SaveDialog1 = nullptr;
  TMMWaveInfoEditor* WaveInfoEditor1 = nullptr;  // the INFO and DISP lists of the cart's file

  // Displays.
  TDeckPanel* DisplayPanel = nullptr;  // times and the cart's name
  TDeckPanel* LevelPanel = nullptr;    // level bars with their scale
  TDeckLevel* MMLevel1 = nullptr;
  TDeckLevel* MMLevel2 = nullptr;
  TDeckLevelScale* MMLevelScale1 = nullptr;
  TDeckPanel* MeterPanel = nullptr;  // needle meters
  TDeckMeter* MMMeter1 = nullptr;
  TDeckMeter* MMMeter2 = nullptr;
  TDeckSlider* TrackBar = nullptr;  // play position, milliseconds

  // Time and cart labels.
  TDeckLabel* CurrentPosition = nullptr;
  TDeckLabel* TimeLeft = nullptr;
  TDeckLabel* TimeLeftCaption = nullptr;
  TDeckLabel* MaxTime = nullptr;
  TDeckLabel* RecTimeLeft = nullptr;  // recording time left
  TDeckLabel* RecTimeLeftCaption = nullptr;
  TDeckLabel* FormatLabel = nullptr;
  TDeckLabel* BytesLabel = nullptr;
  TDeckLabel* NameLabel1 = nullptr;  // the cart's name over three lines
  TDeckLabel* NameLabel2 = nullptr;
  TDeckLabel* NameLabel3 = nullptr;
  TDeckLabel* SensitivityLabel = nullptr;  // "FF\Rew Sensitivity ..."

  // Transport.
  TDeckPanel* TransportPanel = nullptr;
  TDeckButton* RecordButton = nullptr;
  TDeckButton* PauseButton = nullptr;
  TDeckButton* PlayButton = nullptr;
  TDeckButton* StopButton = nullptr;
  TDeckButton* RewindButton = nullptr;
  TDeckButton* FastForwardButton = nullptr;
  TDeckButton* EditButton = nullptr;
  TDeckButton* EjectButton = nullptr;
  TDeckButton* LoadButton = nullptr;
  TDeckButton* SaveButton = nullptr;
  TDeckButton* Sendbutton = nullptr;
  TDeckButton* WebButton = nullptr;
  TDeckButton* OtherButton = nullptr;
  TDeckButton* Infobutton = nullptr;

  // "Loading Program List... Please wait." with its gauge, over the transport while the program
  // list loads.
  TDeckGroup* StatusGroup = nullptr;
  TDeckLabel* StatusCaption = nullptr;
  TDeckGauge* ProgramGauge = nullptr;
  // The bar at the bottom; the sensitivity line sits on it.
  TDeckStatusBar* StatusBar1 = nullptr;

  // The Load menu, in order.
  plat::TPopupMenu* LoadMenu = nullptr;
  plat::TMenuItem* LoadCart1 = nullptr;
  plat::TMenuItem* LoadCartPlayOnly1 = nullptr;
  plat::TMenuItem* LoadPlayFile1 = nullptr;
  plat::TMenuItem* LoadByName1 = nullptr;
  plat::TMenuItem* LoadStandardCart1 = nullptr;
  plat::TMenuItem* LoadBlankcustomCart1 = nullptr;
  plat::TMenuItem* LoadBlankQuickCart1 = nullptr;
  // The Other menu.
  plat::TPopupMenu* OtherMenu = nullptr;
  plat::TMenuItem* MarkBeginning1 = nullptr;
  plat::TMenuItem* MarkEndingPoint1 = nullptr;
  plat::TMenuItem* GoToTime1 = nullptr;
  plat::TMenuItem* LoopPlay1 = nullptr;
  plat::TMenuItem* AnalogMeters1 = nullptr;
  plat::TMenuItem* BeepSpeakerAt0VU1 = nullptr;
  plat::TMenuItem* Mixer1 = nullptr;  // "&Volume Control"
  plat::TMenuItem* MultimediaProperties1 = nullptr;
  plat::TMenuItem* SetupStandardCart1 = nullptr;
  plat::TMenuItem* LRArrowSensitivity1 = nullptr;
  plat::TMenuItem* imeLeftWarning1 = nullptr;  // time-left warning settings
  plat::TMenuItem* LogInUser1 = nullptr;
  plat::TMenuItem* LogOutUser1 = nullptr;
  plat::TMenuItem* EditTemplateLibrary1 = nullptr;  // "&User and Program Manager"
  plat::TMenuItem* AdvancedSettings1 = nullptr;     // hidden, Ctrl+D
  plat::TMenuItem* Exit1 = nullptr;

  TFormResizer* Resizer = nullptr;
  // The caption: company with the program's version, application name, current user.
  TMMFormStyler* FormStyler = nullptr;

  // The program's parameters, its own path first (SetCommandLine).
  static std::vector<std::string> CommandLine;
  static std::function<void()> EndNow;

  // The windows of users, programs and sending, made with the deck and owned by it.
  TForm2* Form2 = nullptr;    // send by e-mail
  TForm6* Form6 = nullptr;    // send by Web/FTP
  TForm8* Form8 = nullptr;    // load blank program
  TForm9* Form9 = nullptr;    // lockout authorisation
  TForm10* Form10 = nullptr;  // log in
  TForm11* Form11 = nullptr;  // supervisor password
  TForm14* Form14 = nullptr;  // user and program manager
  TForm25* Form25 = nullptr;  // exit password

  // The marks and the limit they shortened.
  TPunchIn& PunchIn() { return punchIn_; }

  static void Enable(plat::TControl* c, bool on) { c->SetEnabled(on); }
  static std::string FitLine(TDeckLabel* label, const std::string& text);
  void SetLoadEnabled(bool on);
  void SetMetersEnabled(bool on);
  // A blank cart waits for its recording: Record, Eject, Other and the meters only.
  void EnableForRecording();
  void Focus(TDeckButton* button);
  // The cart's file has gone: says so and ejects.
  bool CartGone();
  bool ChooseFile(std::string& path);
  void OpenCart(const std::string& path, const std::string& source, const char* origin);
  std::string BlankCartPath();
  bool PrepareRecording(bool forRecord);
  bool MarksAllowed();
  int RunSaveWindow();
  bool warnRed_ = false;
  TPunchIn punchIn_;
  void BuildChains();
  void BuildDisplays();
  void BuildTransport();
  void BuildMenus();
  void BuildUserForms();
  void EndCreation();
  // Holds the temporary folder for the run (the account's own instead where the lasting one is
  // another account's); false, with the operator told why, when no folder can be held.
  bool HoldDeckTemp();
  void ExitSequence(bool removeTemporaryFiles = true);
  // The temporary folder is there to make a file in: one found gone is made again and held; false,
  // with the operator told why, when it cannot be.
  bool DeckTempReady();
  // The take's file outlives a clean-up that removes it: held from the take's start until it is
  // saved, ejected or replaced by another cart, and written out again, before anything reads it by
  // name, whenever its name no longer leads to it.
  void HoldTakeFile();
  // Puts the take held back under its name when that no longer leads to it (recording: it was
  // removed during the take). The operator is told now, once the chain has unwound (Later), or,
  // as the program ends, not at all.
  enum class TTell { Now, Later, Never };
  void KeepHeldTake(bool recording, TTell tell);
  void TellTakeBack();
  // A take that cannot go back into its folder is written out where no other account can reach it,
  // which the cart then is; note learns where the account's own folder for rescued takes is and why
  // it could not take the take, if it could not.
  TTakeBack RescueHeldTake(TTakeBackNote& note);
  TTakeBack Rescued(const std::string& path, TTakeBack back, const std::string& madeBefore);
  // The deck's cart is the file at path now: both sides read it there.
  void CartNowAt(const std::string& path);
  // Tells the operator of each recording a run left in folder with a second name.
  void TellLinkedLeftovers(const std::string& folder);
  // Loads and offers the first take a run left in folder that holds audio; false when there is none.
  bool OfferLeftoverTake(const std::string& folder);
  // The rescued takes come after those of the temporary folder.
  void OfferRescuedTake();
  bool createdOk_ = true;
  plat::HeldFolder deckTemp_;  // the temporary folder, held from creation to the end
  plat::HeldFile takeFile_;    // the take's file, from its take in the temporary folder to its save or Eject
  std::string takeBackText_;   // what the operator is still to be told of it
  plat::HeldFolder rescue_;    // the folder for rescued takes, while the deck has one of them
  std::string rescuedTake_;    // the rescued take the deck has, removed when it is ejected
  std::string madeRescue_;     // the folder rescue_ made for that take alone, removed with it
  std::map<TDeckButton*, plat::TColor> captionColor_;  // each transport button's own colour
};

// The warning shown when a recording left in the temporary folder is taken back.
std::string RecoveryMessage(const std::string& fileName);

extern TSVMain* SVMain;

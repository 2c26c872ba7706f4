// How carts get into the deck: the Load menu, blank carts, and the recording taken back after an
// abnormal end.
#include <ctime>

#include "engine/MMWavIn.h"
#include "engine/MMWave.h"
#include "platform/system/files.h"
#include "platform/ui/inifiles.h"
#include "recorder/BlankCarts.h"
#include "recorder/CartFiles.h"
#include "recorder/CartNames.h"
#include "recorder/CartTail.h"
#include "recorder/DeckTemp.h"
#include "recorder/Unit1.h"
#include "recorder/Unit8.h"
#include "recorder/Unit27.h"
#include "recorder/Unit3.h"
#include "recorder/Unit4.h"
#include "recorder/Unit7.h"

using namespace plat;

namespace {
std::tm LocalNow() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}
}  // namespace

bool TSVMain::FileReadOnly(const std::string& path) const { return IsReadOnly(path); }

void TSVMain::GetFormat() {
  TIniFile ini(ProgramFolder() + SettingsFileName);
  ReadStandardCart(ini, StdFormat, StdLength);
  Config.standardFormat = StdFormat;
  Config.standardLength = StdLength;
  TCartFormat f = CartFormatOf(StdFormat);
  StdBits = f.bits;
  StdChannels = f.channelsText;
  StdRate = f.rate;
  StdTag = f.tagText;
}

void TSVMain::StandardCart(int& format, int& length) {
  GetFormat();
  format = StdFormat;
  length = StdLength;
}

void TSVMain::SetCustomCart(int format, int length) {
  UserData.cart.customFormat = format;
  UserData.cart.customLength = length;
}

void TSVMain::ChoosePrefix(const std::string& display, const std::string& value) {
  PrefixDisplay = display;
  PrefixValue = value;
}

void TSVMain::GetCustomFormat() {
  TCartFormat f = CartFormatOf(UserData.cart.customFormat);
  CustomBits = f.bits;
  CustomChannels = f.channelsText;
  CustomRate = f.rate;
  CustomTag = f.tagText;
}

// ---- opened files -----------------------------------------------------------------------------

bool TSVMain::ChooseFile(std::string& path) {
  OpenDialog1->InitialDir = Config.loadPath;
  if (!OpenDialog1->Execute()) return false;
  path = OpenDialog1->FileName;
  FinishKeptCarts(path);
  return true;
}

// ---- carts kept beside a take -------------------------------------------------------------------

// A cart that a take had cut its title and picture off is finished with them once it can be
// reached: by the first showing, and by the load of any cart (its own above all, which is then
// read whole). What stands at its path and is not its file is not written into.
void TSVMain::FinishKeptCarts(const std::string& loading) {
  for (const TKeptCart& c : FinishKeptCart(DeckTempFolder()))
    if (KeptForAnother(c.state) && (loading.empty() || c.path == loading || SameFile(c.path, loading)))
      Notify(TNoticeKind::Warning, KeptCartText(c));
}

void TSVMain::OpenCart(const std::string& path, const std::string& source, const char* origin) {
  RecordFileName = path;
  SourcePath = source;
  CartKind = KindPlay;
  CartOrigin = origin;
  try {
    PlayFile->Wave()->SetFileName(path);
  } catch (...) {
    EmptyDeck();
    throw;
  }
  RecFile->Wave()->FreeWave();
  LoadedDeck();
}

void TSVMain::LoadCart1Click(TObject*) {
  if (BusySaving || DeckLoaded) return;
  std::string path;
  if (!ChooseFile(path)) return;
  if (FileReadOnly(path)) {
    PlayOnly = true;
    Notify(TNoticeKind::Warning,
           "The file you are opening is a Read Only file. It will be opened in \r\nplay only mode.");
  }
  OpenCart(path, path, OriginExisting);
}

void TSVMain::LoadCartPlayOnly1Click(TObject*) {
  if (BusySaving || DeckLoaded) return;
  std::string path;
  if (!ChooseFile(path)) return;
  PlayOnly = true;
  OpenCart(path, path, OriginExisting);
}

void TSVMain::LoadPlayFile1Click(TObject*) {
  if (BusySaving || DeckLoaded) return;
  std::string path;
  if (!ChooseFile(path)) return;
  if (!DeckTempReady()) return;
  CopySource = path;
  CopyPath = DeckTempFolder() + NonDestructiveCopyName(path);
  // A link at the name would have the copy land wherever it points (a folder, say).
  plat::RemoveLink(CopyPath);
  if (Form4->ShowModal() == mrCancel) {
    Notify(TNoticeKind::Error, "Error Loading File");
    return;
  }
  OpenCart(CopyPath, path, OriginOriginate);
}

// ---- by name ----------------------------------------------------------------------------------

void TSVMain::LoadByName1Click(TObject*) {
  if (BusySaving || DeckLoaded) return;
  TForm7* form = NewForm<TForm7>(this);
  form->SetDeck(this);
  try {
    form->ShowModal();
  } catch (...) {
    form->Free();
    throw;
  }
  form->Free();
}

bool TSVMain::LoadByNameEntry(const std::string& name) {
  ByNameEntry = name;
  const std::string folder = IncludeTrailingPathDelimiter(Config.loadPath);
  std::string path = folder + name;
  // Typed in another case than the file's: the one file that answers to it is the cart.
  if (!FileExists(path))
    if (std::string other = FileNameIgnoringCase(folder, name); !other.empty()) path = folder + other;
  if (FileExists(path)) {
    FinishKeptCarts(path);
    if (FileReadOnly(path)) {
      PlayOnly = true;
      Notify(TNoticeKind::Warning,
             "The file you are opening is a Read Only file. It will be "
             "opened in \r\nplay only mode.");
    }
    try {
      TakeExistingFile(path);
    } catch (...) {
      EmptyDeck();
      throw;
    }
    LoadedDeck();
    if (!Config.loadByNameHeadStart) {
      int32_t max = TrackBar->MaxValue();
      SetSliderPosition(max <= 1 ? max : max - 1);
      Seek();
    }
    return true;
  }
  if (plat::MessageDlg(path + "\r\n\r\nThis file was not found. Would you like to create it it now?", mtWarning,
                       mbYesNoCancel) != mrYes)
    return false;
  CartKind = KindByName;
  CartOrigin = OriginOriginate;
  if (QuickRecordLoad()) GetReadyToRecord();
  return true;
}

// ---- blank carts ------------------------------------------------------------------------------

void TSVMain::LoadStandardCart1Click(TObject*) {
  if (BusySaving || DeckLoaded) return;
  OpenDialog1->InitialDir = Config.loadPath;
  CartKind = KindStandard;
  CartOrigin = OriginOriginate;
  if (QuickRecordLoad()) GetReadyToRecord();
}

void TSVMain::AutoLoadStandard() {
  if (DeckLoaded) return;
  CartKind = KindStandard;
  CartOrigin = OriginOriginate;
  if (QuickRecordLoad()) GetReadyToRecord();
}

void TSVMain::LoadBlankcustomCart1Click(TObject*) {
  if (BusySaving || DeckLoaded) return;
  CartKind = KindCustom;
  CartOrigin = OriginOriginate;
  if (Form3->ShowModal() != mrOk) {
    CartKind.clear();
    return;
  }
  if (QuickRecordLoad()) GetReadyToRecord();
}

void TSVMain::LoadBlankQuickCart1Click(TObject*) {
  if (BusySaving || DeckLoaded) return;
  StatusCaption->SetCaption("Loading Program List... Please wait.");
  StatusGroup->SetVisible(true);
  TransportPanel->SetEnabled(false);
  TGaugeProgress progress(ProgramGauge);
  try {
    LoadINITemplates(*this, UserData.currentUser, &progress);
  } catch (...) {
    TransportPanel->SetEnabled(true);
    StatusGroup->SetVisible(false);
    throw;
  }
  TransportPanel->SetEnabled(true);
  StatusGroup->SetVisible(false);
  CartKind = KindCustom;
  CartOrigin = OriginOriginate;
  if (Form8->ShowModal() == mrOk) {
    if (QuickRecordLoad()) GetReadyToRecord();
  } else {
    CartKind.clear();
  }
  StartOffset = PausePosition = 0;
  SetSliderPosition(0);
}

void TSVMain::JustQuickCart() {
  if (BusySaving || DeckLoaded) return;
  if (!Config.prefixFile.empty() && FileExists(Config.prefixFile) && Form27->ShowModal() != mrOk) {
    PrefixDisplay.clear();
    PrefixValue.clear();
    return;
  }
  CartKind = KindQuick;
  CartOrigin = OriginOriginate;
  StartOffset = PausePosition = 0;
  SetSliderPosition(0);
  if (QuickRecordLoad()) GetReadyToRecord();
}

std::string TSVMain::BlankCartPath() {
  const std::string t = DeckTempFolder();
  std::string path;
  if (CartKind == KindQuick) {
    path = t + QuickCartFileName(PrefixDisplay, LocalNow());
  } else if (CartKind == KindByName) {
    path = t + ByNameEntry;
  } else if (CartKind == KindCustom && !UserData.cart.programName.empty()) {
    path = t + ProgramCartName(UserData.cart.programName);
    UserData.cart.programName.clear();
  } else {
    path = t + "Untitled.wav";
  }
  if (CartKind == KindStandard && !AutoCartFile.empty()) {
    UserData.cart.saveFolder = ExtractFilePath(AutoCartFile);
    path = t + ProgramCartName(ExtractFileName(AutoCartFile));
    UserData.cart.customFormat = StdFormat;
    UserData.cart.customLength = StdLength;
    CustomBits = StdBits;
    CustomChannels = StdChannels;
    CustomRate = StdRate;
    CustomTag = StdTag;
    CartKind = KindCustom;
  }
  return path;
}

bool TSVMain::QuickRecordLoad() {
  if (DeckLoaded) return false;
  EnableForRecording();
  if (CartKind == KindCustom) GetCustomFormat();
  else GetFormat();
  std::string path = BlankCartPath();
  int format = CartKind == KindCustom ? UserData.cart.customFormat : StdFormat;
  // Names from files are checked where they are read; whatever slipped through, a blank cart is
  // made in the temporary folder or not at all.
  const bool inTemp = ExtractFilePath(path) == DeckTempFolder();
  if (!inTemp)
    Notify(TNoticeKind::Error, "The cart's name " + path.substr(DeckTempFolder().size()) +
                                   " leads out of the temporary folder. No cart was made.");
  // A folder removed meanwhile (a clean-up) is made again; one that cannot be is told instead.
  const bool ready = inTemp && DeckTempReady();
  bool made = ready && WriteBlankHeader(format, path) && FileExists(path);
  TMMWave* w = RecFile->Wave();
  if (made) {
    try {
      w->SetFileName(path);
      RecordFileName = path;
    } catch (const std::exception&) {
      made = false;
    }
  }
  if (!made && ready) Notify(TNoticeKind::Error, "Error creating wave file.");
  ShowTime(TimeLeft, w->DataSize(), "Time Left ");
  ShowTime(MaxTime, w->DataSize(), "Max Time ");
  ShowCartFormat(w);
  Label12Caption(path);
  SetSliderPosition(0);
  TrackBar->SetEnabled(false);
  SetSliderMax(0);
  DeckLoaded = true;
  Stopped = true;
  Focus(RecordButton);
  if (made) {
    WaveIn->SetSampleRate(w->SampleRate());
    WaveIn->SetBitLength(w->BitLength() == 8 ? b8Bit : b16Bit);
    WaveIn->SetMode(w->Mode());
  }
  PlayFile->Wave()->FreeWave();
  PausePosition = 0;
  return made;
}

// The deck takes a file on disk as its cart: both sides let go of what they held and the play side
// reads the file, raising when it cannot.
void TSVMain::TakeExistingFile(const std::string& path) {
  RecordFileName = path;
  SourcePath = path;
  CartKind = KindByName;
  CartOrigin = OriginExisting;
  RecFile->Wave()->FreeWave();
  PlayFile->Wave()->FreeWave();
  PlayFile->Wave()->SetFileName(path);
}

// ---- recovery ---------------------------------------------------------------------------------

void TSVMain::LoadTheOrphan(const std::string& path) {
  // The take was cut short before its sizes were written: it is finished from what reached the
  // disk, so that a copy of it reads whole anywhere. One that cannot be finished is still heard.
  WaveIOFinishFile(path);
  try {
    TakeExistingFile(path);
  } catch (...) {
    // The file stays where it is: an unreadable take may still be rescued by hand.
    SourcePath.clear();
    RecordFileName.clear();
    CartKind.clear();
    throw;
  }
  Recovered = true;
  // Taken back, it is held as the take it was.
  takeFile_.Hold(path);
  LoadedDeck();
}

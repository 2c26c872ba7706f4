#pragma once
// The editor of a WAV file's descriptive chunks: the 23 LIST "INFO" texts and the "DISP" text and
// picture. The window edits copies of the lists, which take their place when it closes (closing
// without OK keeps the edits too); the wave variant also writes them into the wave's file when the
// editor was closed with OK, where that is safe, and drops them when the wave let its lists go
// meanwhile.
#include <string>

#include "engine/MMObj.h"
#include "engine/MMRIFF.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/extctrls.h"

class TMMCustomWaveFile;
class TMMPictureOpenDialog;
class TMMWave;

class TMMRiffInfoEditorDlg : public plat::TForm {
public:
  explicit TMMRiffInfoEditorDlg(TComponent* owner);

  // The lists edited (not owned); both must outlive the window.
  void SetLists(TInfoList* info, TDispList* disp);
  // Some INFO item or DISP entry holds the state "set".
  bool AnySet() const;

  plat::TLabel* DescriptionLabel;
  plat::TEdit* DescriptionEdit;
  plat::TImage* DIBImage;
  plat::TButton* PictureBtn;
  plat::TButton* ClrBtn;
  plat::TLabel* ItemsLabel;
  plat::TComboBox* INFOComboBox;
  plat::TGroupBox* ItemGroup;
  plat::TLabel* ChunkInfoLabel;
  plat::TMemo* InfoTextMemo;
  plat::TButton* RevertBtn;
  plat::TButton* OKBtn;
  TMMPictureOpenDialog* PictureOpenDialog;

  void INFOComboBoxChange(TObject* Sender);
  void InfoTextMemoExit(TObject* Sender);
  void DescriptionEditEnter(TObject* Sender);
  void DescriptionEditExit(TObject* Sender);
  void DescriptionEditKeyPress(TObject* Sender, char& Key);
  void PictureBtnClick(TObject* Sender);
  void ClrBtnClick(TObject* Sender);
  void RevertBtnClick(TObject* Sender);

  // The item of the selected line, -1 for none.
  int SelectedItem() const;
  std::string ClassName() const override { return "TMMRiffInfoEditorDlg"; }

private:
  void FillList();
  void ShowItem();
  void ShowDescription();
  void ShowPicture();
  void StoreDescription();
  TDispItem* FirstEntry(uint32_t type);
  // A DISP entry of type 1 or 8 with data, appended.
  TDispItem& AppendEntry(uint32_t type);

  TInfoList* info_ = nullptr;
  TDispList* disp_ = nullptr;
};

class TMMRiffInfoEditor : public TComponent {
public:
  explicit TMMRiffInfoEditor(TComponent* owner);
  // The window's caption.
  std::string Title() const { return title_; }
  void SetTitle(const std::string& t) { title_ = t; }
  // The lists edited when no source gives them (not owned).
  void SetLists(TInfoList* info, TDispList* disp);
  // Shows the editor modally on copies of the lists, which take the edits back when it closes;
  // true when it was closed with OK and some item or entry holds the state "set". False without
  // lists, and then nothing shows.
  virtual bool Execute();
  std::string ClassName() const override { return "TMMRiffInfoEditor"; }

protected:
  virtual bool GetLists(TInfoList*& info, TDispList*& disp);
  // Once the window has closed: the lists GetLists gives are still those it gave before.
  virtual bool ListsKept() const { return true; }

private:
  std::string title_ = "Riff-Info Editor";
  TInfoList* info_ = nullptr;
  TDispList* disp_ = nullptr;
};

class TMMWaveInfoEditor : public TMMRiffInfoEditor {
public:
  explicit TMMWaveInfoEditor(TComponent* owner);
  ~TMMWaveInfoEditor() override;
  // The wave file component whose wave's lists are edited; cleared when it goes.
  TMMCustomWaveFile* Source() const { return source_; }
  void SetSource(TMMCustomWaveFile* s);
  // After OK with an edit, write the lists into the wave's file at once (see WriteWaveInfo); when
  // the file does not take them, say so and why.
  bool WriteToFile() const { return writeToFile_; }
  void SetWriteToFile(bool on) { writeToFile_ = on; }
  bool Execute() override;
  std::string ClassName() const override { return "TMMWaveInfoEditor"; }

protected:
  bool GetLists(TInfoList*& info, TDispList*& disp) override;
  bool ListsKept() const override { return listsKept_; }
  void Notification(TComponent* c, TOperation op) override;

private:
  TMMCustomWaveFile* source_ = nullptr;
  bool writeToFile_ = true;
  bool listsKept_ = true;
};

// What writing a wave's lists into its file came to. Rewriting replaces everything behind the
// samples and cuts the file at the end of its RIFF form, so files with more there are left alone
// (the lists then wait for the file's next finish).
enum class TWaveInfoWrite {
  Written,
  Busy,              // the file is open for playing or recording: the lists wait for its finish
  NotOurs,           // no named file, or no data chunk to write behind
  ReadOnly,          // no write bit
  FormatBehindData,  // its format chunk lies behind the samples
  ForeignChunks,     // chunks other than the count, DISP, INFO and filler lie behind the samples
  BytesBehindForm,   // bytes lie behind the RIFF form (a tag another program appended)
  SecondName,        // the file has another name, whose file would change too
  Refused,           // what stands at the name now is no file to write (a FIFO, another account's link)
  Failed,            // the file refused the writing
};
// Writes the INFO and DISP lists of a wave that holds data into its file now, in place of those it
// has (the samples stay as they are). With ForeignChunks, foreign names the first such chunk; with
// Refused, it says what stands at the name.
TWaveInfoWrite WriteWaveInfo(TMMWave& wave, std::string* foreign = nullptr);
// What to tell the operator when the file did not take an edit, "" when there is nothing to tell.
// foreign is what WriteWaveInfo named.
std::string WaveInfoRefusal(TWaveInfoWrite result, const std::string& foreign = {});
// The same for a reason of the caller's own ("the cart is loaded play only").
std::string WaveInfoNotTaken(const std::string& why);

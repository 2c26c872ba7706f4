// The INFO and DISP editor on lists read from files, its component run modally, and the lists
// written back into a wave's file: the bytes on disk, and the files that must be left alone.
#include <gtest/gtest.h>

#include <QImage>
#include <QTimer>

#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "DialogAnswers.h"
#include "common/scratch.h"
#include "engine/MMCstDlg.h"
#include "engine/MMDIB_ui.h"
#include "platform/ui/native_qt.h"
#include "engine/MMWInfo.h"
#include "engine/MMWave.h"
#include "engine/WaveFixtures.h"
#include "platform/audio/riff_io.h"
#include "platform/system/files.h"

using namespace plat;
using namespace wavefx;

namespace {

std::string Chunk(const std::string& id, const std::string& payload) {
  std::string c = id + LE32(uint32_t(payload.size())) + payload;
  if (payload.size() & 1) c.push_back('\0');
  return c;
}

std::string InfoList(const std::vector<std::pair<std::string, std::string>>& items) {
  std::string p = "INFO";
  for (const auto& [id, text] : items) p += Chunk(id, text + '\0');
  return Chunk("LIST", p);
}

// A WAV image with chunks behind its data, and bytes behind its RIFF form.
std::string Wave(const std::string& data, const std::string& behind, const std::string& outside = {}) {
  std::string img = WavImage(Pcm(8000, 1, 8), data) + behind;
  const std::string size = LE32(uint32_t(img.size() - 8));
  img.replace(4, 4, size);
  return img + outside;
}

std::string Samples(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += char(i * 7);
  return s;
}

int Line(TMMRiffInfoEditorDlg* d, const std::string& code) {
  for (int i = 0; i < d->INFOComboBox->Items()->Count(); ++i)
    if (d->INFOComboBox->Items()->Strings(i).compare(0, 4, code) == 0) return i;
  return -1;
}

void Select(TMMRiffInfoEditorDlg* d, const std::string& code) {
  d->INFOComboBox->SetItemIndex(Line(d, code));
  d->INFOComboBoxChange(d->INFOComboBox);
}

// Runs f on the editor window once it shows modally.
void WhenShown(std::function<void(TMMRiffInfoEditorDlg*)> f) {
  QTimer::singleShot(0, [f] {
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (auto* d = dynamic_cast<TMMRiffInfoEditorDlg*>(Screen->Forms(i)); d && d->Modal()) return f(d);
    ADD_FAILURE() << "no editor window";
  });
}

struct Form {
  TMMRiffInfoEditorDlg* d = NewForm<TMMRiffInfoEditorDlg>(nullptr);
  ~Form() { d->Free(); }
};

}  // namespace

TEST(MMRiffInfoEditorDlg, ListsEveryItemMarksThoseWithTextAndKeepsTheSelection) {
  TInfoList info;
  info.Payload = InfoList({{"IART", "The Band"}}).substr(12);
  ParseInfoPayload(info);
  TDispList disp;
  Form f;
  f.d->SetLists(&info, &disp);
  ASSERT_EQ(f.d->INFOComboBox->Items()->Count(), 23);
  EXPECT_EQ(f.d->INFOComboBox->Items()->Strings(Line(f.d, "ICMT")), "ICMT  Comments                 ");
  EXPECT_EQ(f.d->INFOComboBox->Items()->Strings(Line(f.d, "IART")), "IART* Artist                   ");
  EXPECT_EQ(f.d->SelectedItem(), -1);

  Select(f.d, "ICMT");
  EXPECT_EQ(f.d->ChunkInfoLabel->Caption(), InfoIdentifier(FindInfoIdentifier(FourCC("ICMT"))).Description);
  EXPECT_EQ(f.d->InfoTextMemo->Text(), "");
  f.d->InfoTextMemo->SetText("Morning news");
  f.d->InfoTextMemoExit(f.d->InfoTextMemo);
  EXPECT_EQ(f.d->INFOComboBox->Items()->Strings(f.d->INFOComboBox->ItemIndex()), "ICMT* Comments                 ");
  EXPECT_EQ(InfoItemText(info, FindInfoIdentifier(FourCC("ICMT"))), "Morning news");
  EXPECT_TRUE(f.d->AnySet());

  // Emptying a text that was read hides it: no mark, and nothing to write.
  Select(f.d, "IART");
  EXPECT_EQ(f.d->InfoTextMemo->Text(), "The Band");
  f.d->InfoTextMemo->SetText("");
  f.d->InfoTextMemoExit(f.d->InfoTextMemo);
  EXPECT_EQ(f.d->INFOComboBox->Items()->Strings(Line(f.d, "IART"))[4], ' ');
  EXPECT_EQ(InfoItemText(info, FindInfoIdentifier(FourCC("IART"))), "");

  // Reset brings back what was read and drops every edit.
  f.d->RevertBtnClick(f.d->RevertBtn);
  EXPECT_FALSE(f.d->AnySet());
  EXPECT_EQ(f.d->InfoTextMemo->Text(), "The Band");
  EXPECT_EQ(f.d->INFOComboBox->Items()->Strings(Line(f.d, "ICMT"))[4], ' ');
}

TEST(MMRiffInfoEditorDlg, DescriptionAndPictureFollowTheDispRules) {
  Scratch dir;
  Answers answers;
  TInfoList info;
  TDispList disp;
  Form f;
  f.d->SetLists(&info, &disp);
  EXPECT_FALSE(f.d->ClrBtn->Enabled());
  EXPECT_FALSE(f.d->DIBImage->Stretch());

  // While the description is edited Enter ends the edit instead of closing the window.
  f.d->DescriptionEditEnter(f.d->DescriptionEdit);
  EXPECT_FALSE(f.d->OKBtn->Default());
  f.d->DescriptionEdit->SetText("Drive time promo");
  char enter = '\r';
  f.d->DescriptionEditKeyPress(f.d->DescriptionEdit, enter);
  EXPECT_EQ(enter, 0);
  EXPECT_TRUE(f.d->OKBtn->Default());
  ASSERT_EQ(disp.size(), 1u);
  EXPECT_EQ(disp[0].Type, kDispText);
  EXPECT_EQ(*DispItemData(disp[0]), std::string("Drive time promo") + '\0');
  // Leaving it unchanged adds nothing.
  f.d->DescriptionEditExit(f.d->DescriptionEdit);
  EXPECT_EQ(disp.size(), 1u);

  QImage pic(60, 50, QImage::Format_RGB32);
  pic.fill(QColor(200, 30, 10));
  pic.setPixel(0, 0, qRgb(0, 0, 255));
  ASSERT_TRUE(pic.save(QString::fromStdString(dir.Path("logo.bmp")), "BMP"));
  answers->AnswerFile(dir.Path("logo.bmp"));
  f.d->PictureBtnClick(f.d->PictureBtn);
  ASSERT_EQ(disp.size(), 2u);
  ASSERT_EQ(disp[1].Type, kDispBitmap);
  const std::string& dib = *DispItemData(disp[1]);
  ASSERT_EQ(dib.size(), DIBSize(dib.data()));
  plat::TBitmap read;
  ASSERT_TRUE(DIBToImage(dib.data(), dib.size(), read));
  const QImage back = plat::ImageOf(read);
  ASSERT_EQ(back.size(), QSize(60, 50));
  EXPECT_EQ(back.pixel(0, 0) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(back.pixel(59, 49) & 0xFFFFFF, 0xC81E0Au);
  EXPECT_TRUE(f.d->DIBImage->Stretch()) << "larger than the image: stretched";
  EXPECT_TRUE(f.d->ClrBtn->Enabled());
  EXPECT_EQ(answers->Shown().front().text, "Open File");

  f.d->ClrBtnClick(f.d->ClrBtn);
  EXPECT_EQ(DispItemData(disp[1]), nullptr) << "a cleared picture is not written";
  EXPECT_FALSE(f.d->ClrBtn->Enabled());

  f.d->RevertBtnClick(f.d->RevertBtn);
  EXPECT_EQ(f.d->DescriptionEdit->Text(), "");
  EXPECT_FALSE(f.d->AnySet());
  EXPECT_EQ(DispChunkBytes(disp), 0) << "entries the editor added are not written after Reset";
}

TEST(MMRiffInfoEditor, ExecuteIsTrueOnlyForOKWithSomethingSet) {
  TMMRiffInfoEditor ed(nullptr);
  const int forms = Screen->FormCount();
  EXPECT_FALSE(ed.Execute()) << "no lists";
  EXPECT_EQ(Screen->FormCount(), forms);

  TInfoList info;
  TDispList disp;
  ed.SetLists(&info, &disp);
  WhenShown([](TMMRiffInfoEditorDlg* d) {
    EXPECT_EQ(d->Caption(), "Riff-Info Editor");
    d->OKBtn->Click();
  });
  EXPECT_FALSE(ed.Execute()) << "OK without a change";

  // Closing the window takes the focus from the memo, so what was typed last counts.
  WhenShown([](TMMRiffInfoEditorDlg* d) {
    Select(d, "INAM");
    d->InfoTextMemo->SetFocus();
    d->InfoTextMemo->SetText("Station ID");
    d->OKBtn->Click();
  });
  EXPECT_TRUE(ed.Execute());
  EXPECT_EQ(InfoItemText(info, FindInfoIdentifier(FourCC("INAM"))), "Station ID");

  // Closing without OK keeps the edits but says no.
  WhenShown([](TMMRiffInfoEditorDlg* d) { d->Close(); });
  EXPECT_FALSE(ed.Execute());
  EXPECT_EQ(InfoItemText(info, FindInfoIdentifier(FourCC("INAM"))), "Station ID");
  EXPECT_EQ(Screen->FormCount(), forms) << "the window is freed";
}

TEST(MMWaveInfoEditor, EditsTheWaveOfItsSourceAndWritesThemIntoItsFile) {
  Scratch dir;
  WriteWholeFile(dir.Path("empty.wav"), Wave("", ""));
  const std::string samples = Samples(1001);
  WriteWholeFile(dir.Path("take.wav"), Wave(samples, InfoList({{"IART", "The Band"}})));
  auto* src = new TMMWaveFile(nullptr);
  TMMWaveInfoEditor ed(nullptr);
  EXPECT_EQ(ed.Title(), "Wave-Info Editor");
  EXPECT_FALSE(ed.Execute()) << "no source";
  ed.SetSource(src);
  src->Wave()->SetFileName(dir.Path("empty.wav"));
  EXPECT_FALSE(ed.Execute()) << "a wave without data shows nothing";

  src->Wave()->SetFileName(dir.Path("take.wav"));
  WhenShown([](TMMRiffInfoEditorDlg* d) {
    Select(d, "ICMT");
    d->InfoTextMemo->SetText("Recorded live");
    d->InfoTextMemoExit(d->InfoTextMemo);
    d->OKBtn->Click();
  });
  Answers answers;
  ASSERT_TRUE(ed.Execute());
  EXPECT_TRUE(answers->Shown().empty()) << "a file that took the edit says nothing";
  TMMWave check;
  check.SetFileName(dir.Path("take.wav"));
  EXPECT_EQ(InfoItemText(check.IOBlock()->InfoList, FindInfoIdentifier(FourCC("ICMT"))), "Recorded live");
  EXPECT_EQ(check.TotalSamples(), 1001);

  src->Free();
  EXPECT_EQ(ed.Source(), nullptr);
}

// The window edits lists of its own: a wave freed (a cart ejected) or given another file while it
// shows leaves nothing freed under it, and takes none of its edits.
TEST(MMWaveInfoEditor, AWaveThatLetItsListsGoWhileTheWindowShowedTakesNoneOfItsEdits) {
  Scratch dir;
  Answers answers;
  const std::string first = Wave(Samples(1001), InfoList({{"IART", "The Band"}}));
  const std::string second = Wave(Samples(501), "");
  WriteWholeFile(dir.Path("first.wav"), first);
  WriteWholeFile(dir.Path("second.wav"), second);
  auto* src = new TMMWaveFile(nullptr);
  TMMWaveInfoEditor ed(nullptr);
  ed.SetSource(src);
  auto editAfter = [&](std::function<void()> letGo) {
    src->Wave()->SetFileName(dir.Path("first.wav"));
    WhenShown([letGo](TMMRiffInfoEditorDlg* d) {
      letGo();
      d->DescriptionEdit->SetText("Drive time promo");
      d->DescriptionEditExit(d->DescriptionEdit);
      Select(d, "ICMT");
      d->InfoTextMemo->SetText("Recorded live");
      d->InfoTextMemoExit(d->InfoTextMemo);
      d->ClrBtnClick(d->ClrBtn);
      d->OKBtn->Click();
    });
    return ed.Execute();
  };
  EXPECT_FALSE(editAfter([&] { src->Wave()->FreeWave(); })) << "freed";
  EXPECT_FALSE(editAfter([&] { src->Wave()->SetFileName(dir.Path("second.wav")); })) << "another file";
  EXPECT_EQ(InfoItemText(src->Wave()->IOBlock()->InfoList, FindInfoIdentifier(FourCC("ICMT"))), "");
  EXPECT_TRUE(src->Wave()->IOBlock()->DispList.empty());
  EXPECT_EQ(FileBytes(dir.Path("first.wav")), first);
  EXPECT_EQ(FileBytes(dir.Path("second.wav")), second);
  EXPECT_TRUE(answers->Shown().empty());
  src->Free();
}

TEST(WriteWaveInfo, RewritesOnlyWhatLiesBehindTheSamples) {
  Scratch dir;
  const std::string path = dir.Path("take.wav");
  const std::string samples = Samples(1001);
  // As other programs write them: the list in front of the data, with an item we do not know.
  std::string img = WavImage(Pcm(8000, 1, 8), samples);
  img.insert(36, InfoList({{"IART", "The Band"}, {"IXYZ", "unknown"}, {"ISFT", "Other editor"}}));
  img += Chunk("DISP", LE32(1) + std::string("Hello") + '\0');
  img.replace(4, 4, LE32(uint32_t(img.size() - 8)));
  WriteWholeFile(path, img);

  TMMWave wave;
  wave.SetFileName(path);
  TInfoList& info = wave.IOBlock()->InfoList;
  const std::string comment = "Recorded live", none;
  SetInfoItemText(info, FindInfoIdentifier(FourCC("ICMT")), &comment, isSet);
  SetInfoItemText(info, FindInfoIdentifier(FourCC("IART")), &none, isSet);
  ASSERT_EQ(WriteWaveInfo(wave), TWaveInfoWrite::Written);

  const std::string out = FileBytes(path);
  std::vector<std::string> ids;
  for (size_t p = 12; p + 8 <= out.size(); p += 8 + Get32(out, p + 4) + (Get32(out, p + 4) & 1))
    ids.push_back(out.substr(p, 4));
  EXPECT_EQ(ids, (std::vector<std::string>{"fmt ", "JUNK", "data", "fact", "DISP", "LIST"}));
  EXPECT_EQ(Get32(out, 4), out.size() - 8);
  std::string payload;
  ASSERT_TRUE(FindChunk(out, "data", payload));
  EXPECT_EQ(payload, samples) << "the samples are untouched";
  ASSERT_TRUE(FindChunk(out, "fact", payload));
  EXPECT_EQ(Get32(payload, 0), 1001u);
  ASSERT_TRUE(FindChunk(out, "DISP", payload));
  EXPECT_EQ(payload, LE32(1) + "Hello" + '\0');
  ASSERT_TRUE(FindChunk(out, "LIST", payload));
  EXPECT_EQ(payload, "INFO" + Chunk("ICMT", comment + '\0') + Chunk("ISFT", std::string("Other editor") + '\0'));

  // While a chain has the file open the lists wait for it to be finished.
  wave.OpenWaveFile(false);
  EXPECT_EQ(WriteWaveInfo(wave), TWaveInfoWrite::Busy);
  wave.CloseWaveFile();
}

TEST(WriteWaveInfo, LeavesAloneWhatRewritingWouldLose) {
  Scratch dir;
  const std::string samples = Samples(400);
  const std::string comment = "new";
  auto attempt = [&](const std::string& name, const std::string& bytes, mode_t mode = 0644) {
    const std::string path = dir.Path(name);
    WriteWholeFile(path, bytes);
    chmod(path.c_str(), mode);
    TMMWave wave;
    wave.SetFileName(path);
    SetInfoItemText(wave.IOBlock()->InfoList, FindInfoIdentifier(FourCC("ICMT")), &comment, isSet);
    const TWaveInfoWrite r = WriteWaveInfo(wave);
    EXPECT_EQ(FileBytes(path), bytes) << name << " was changed";
    return r;
  };
  EXPECT_EQ(attempt("cue.wav", Wave(samples, Chunk("cue ", LE32(0)))), TWaveInfoWrite::ForeignChunks);
  EXPECT_EQ(attempt("tag.wav", Wave(samples, "", "TAG" + std::string(125, 'x'))), TWaveInfoWrite::BytesBehindForm);
  EXPECT_EQ(attempt("metafile.wav", Wave(samples, Chunk("DISP", LE32(3) + "wmf!"))), TWaveInfoWrite::ForeignChunks);
  EXPECT_EQ(attempt("other-list.wav", Wave(samples, Chunk("LIST", "adtl" + Chunk("labl", LE32(1) + "x")))),
            TWaveInfoWrite::ForeignChunks);
  EXPECT_EQ(attempt("readonly.wav", Wave(samples, ""), 0444), TWaveInfoWrite::ReadOnly);
}

// A cart whose name leads, by the OK, to a file with a second name (one of the operator's own, given
// that name in a shared folder) or to a FIFO is not written, and the operator hears which it is.
TEST(WriteWaveInfo, WritesNothingThroughASecondNameNorIntoWhatNowStandsAtTheName) {
  Scratch dir;
  const std::string samples = Samples(400), comment = "new";
  const std::string bytes = Wave(samples, "");
  const auto attempt = [&](const std::string& path, const std::function<void()>& meanwhile, std::string& said) {
    EXPECT_TRUE(WriteWholeFile(path, bytes));
    TMMWave wave;
    wave.SetFileName(path);
    SetInfoItemText(wave.IOBlock()->InfoList, FindInfoIdentifier(FourCC("ICMT")), &comment, isSet);
    meanwhile();
    const TWaveInfoWrite r = WriteWaveInfo(wave, &said);
    said = WaveInfoRefusal(r, said);
    return r;
  };
  const std::string cart = dir.Path("Cart.wav"), other = dir.Path("Private.wav"), pipe = dir.Path("Pipe.wav");
  std::string said;
  EXPECT_TRUE(WriteWholeFile(other, bytes));
  EXPECT_EQ(attempt(cart,
                    [&] {
                      ASSERT_EQ(::unlink(cart.c_str()), 0);
                      ASSERT_EQ(::link(other.c_str(), cart.c_str()), 0);
                    },
                    said),
            TWaveInfoWrite::SecondName);
  EXPECT_EQ(FileBytes(other), bytes) << "written through the second name";
  EXPECT_EQ(said,
            "The file did not take the edit: it has another name as well (a second hard link), and the file under "
            "that name would change too.");
  EXPECT_EQ(attempt(pipe,
                    [&] {
                      ASSERT_EQ(::unlink(pipe.c_str()), 0);
                      ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
                    },
                    said),
            TWaveInfoWrite::Refused);
  EXPECT_EQ(said, "The file did not take the edit: it is not a regular file.");
}

// OK on an edit the file cannot take: the edit stays in memory and the operator is told why.
TEST(MMWaveInfoEditor, SaysWhyTheFileDidNotTakeTheEdit) {
  Scratch dir;
  Answers answers;
  const std::string samples = Samples(400);
  auto edit = [&](const std::string& name, const std::string& bytes, mode_t mode = 0644) {
    const std::string path = dir.Path(name);
    WriteWholeFile(path, bytes);
    chmod(path.c_str(), mode);
    auto* src = new TMMWaveFile(nullptr);
    src->Wave()->SetFileName(path);
    TMMWaveInfoEditor ed(nullptr);
    ed.SetSource(src);
    WhenShown([](TMMRiffInfoEditorDlg* d) {
      Select(d, "ICMT");
      d->InfoTextMemo->SetText("Recorded live");
      d->InfoTextMemoExit(d->InfoTextMemo);
      d->OKBtn->Click();
    });
    EXPECT_TRUE(ed.Execute()) << name;
    EXPECT_EQ(InfoItemText(src->Wave()->IOBlock()->InfoList, FindInfoIdentifier(FourCC("ICMT"))), "Recorded live")
        << "the edit stays with the wave";
    EXPECT_EQ(FileBytes(path), bytes) << name << " was changed";
    src->Free();
    const std::vector<std::string> texts = answers->Texts();
    for (const ShownDialog& shown : answers->Shown()) EXPECT_EQ(shown.type, mtWarning);
    answers->Clear();
    return texts.size() == 1 ? texts[0] : "[" + std::to_string(texts.size()) + " messages]";
  };
  EXPECT_EQ(edit("cue.wav", Wave(samples, Chunk("cue ", LE32(0)))),
            "The file did not take the edit: rewriting it would lose the \"cue \" chunk that another program put "
            "behind its samples.");
  EXPECT_EQ(edit("labels.wav", Wave(samples, Chunk("LIST", "adtl" + Chunk("labl", LE32(1) + "x")))),
            "The file did not take the edit: rewriting it would lose the \"LIST adtl\" chunk that another program "
            "put behind its samples.");
  EXPECT_EQ(edit("tag.wav", Wave(samples, "", "TAG" + std::string(125, 'x'))),
            "The file did not take the edit: rewriting it would lose the bytes behind its RIFF form (such as a tag "
            "another program appended).");
  EXPECT_EQ(edit("readonly.wav", Wave(samples, ""), 0444), "The file did not take the edit: it is read-only.");
}

TEST(WriteWaveInfo, AnUnfinishedRecordingTakesTheListsAndItsSizes) {
  Scratch dir;
  const std::string path = dir.Path("take.wav");
  const std::string samples = Samples(400);
  std::string img = Wave(samples, "");
  img.replace(4, 4, LE32(0));
  img.replace(40, 4, LE32(0));
  WriteWholeFile(path, img);
  TMMWave wave;
  wave.SetFileName(path);
  const std::string comment = "Recovered";
  SetInfoItemText(wave.IOBlock()->InfoList, FindInfoIdentifier(FourCC("ICMT")), &comment, isSet);
  ASSERT_EQ(WriteWaveInfo(wave), TWaveInfoWrite::Written);
  const std::string out = FileBytes(path);
  EXPECT_EQ(Get32(out, 4), out.size() - 8);
  EXPECT_EQ(Get32(out, 40), 400u);
  TMMWave check;
  check.SetFileName(path);
  EXPECT_EQ(check.TotalSamples(), 400);
  EXPECT_EQ(InfoItemText(check.IOBlock()->InfoList, FindInfoIdentifier(FourCC("ICMT"))), comment);
}

#pragma once
// The deck as tests see it: the deck itself (TSVMain), with the state, the components and the
// owned windows a test reads or sets made reachable. The harness makes the deck as one of these;
// the program's windows see the deck only through their narrow interfaces.
#include "recorder/Unit1.h"

class TDeckProbe : public TSVMain {
public:
  using TSVMain::TSVMain;

  using TSVMain::BusySaving;
  using TSVMain::ByNameEntry;
  using TSVMain::BytesLabel;
  using TSVMain::CartKind;
  using TSVMain::CartOrigin;
  using TSVMain::ChangedSinceSave;
  using TSVMain::Closing;
  using TSVMain::Config;
  using TSVMain::CopyPath;
  using TSVMain::CopySource;
  using TSVMain::CurrentPosition;
  using TSVMain::DeckEmpty;
  using TSVMain::DeckLoaded;
  using TSVMain::DisplayPanel;
  using TSVMain::EditButton;
  using TSVMain::EjectButton;
  using TSVMain::FastForwardButton;
  using TSVMain::FFRewStep;
  using TSVMain::FileMustExist;
  using TSVMain::Form11;
  using TSVMain::Form14;
  using TSVMain::Form2;
  using TSVMain::Form25;
  using TSVMain::Form6;
  using TSVMain::Form8;
  using TSVMain::Form9;
  using TSVMain::FormatLabel;
  using TSVMain::Gpi;
  using TSVMain::Infobutton;
  using TSVMain::LevelPanel;
  using TSVMain::LoadButton;
  using TSVMain::MaxTime;
  using TSVMain::MeterPanel;
  using TSVMain::MMLevel1;
  using TSVMain::MMLevel2;
  using TSVMain::MMLevelScale1;
  using TSVMain::MMMeter1;
  using TSVMain::MMMeter2;
  using TSVMain::MMWaveOut1;
  using TSVMain::NameLabel1;
  using TSVMain::NameLabel2;
  using TSVMain::NameLabel3;
  using TSVMain::OpenDialog1;
  using TSVMain::OtherButton;
  using TSVMain::PauseButton;
  using TSVMain::Paused;
  using TSVMain::PlayButton;
  using TSVMain::PlayFile;
  using TSVMain::Playing;
  using TSVMain::PlayOnly;
  using TSVMain::PlayRingBuffer;
  using TSVMain::PrefixDisplay;
  using TSVMain::PrefixValue;
  using TSVMain::PunchIn;
  using TSVMain::RecFile;
  using TSVMain::RecordButton;
  using TSVMain::RecordFileName;
  using TSVMain::Recording;
  using TSVMain::RecordingLimit;
  using TSVMain::Recovered;
  using TSVMain::RecRingBuffer;
  using TSVMain::RecTimeLeft;
  using TSVMain::RewindButton;
  using TSVMain::SaveButton;
  using TSVMain::SaveDialog1;
  using TSVMain::SensitivityLabel;
  using TSVMain::StartOffset;
  using TSVMain::StopButton;
  using TSVMain::Stopped;
  using TSVMain::TimeLeft;
  using TSVMain::TrackBar;
  using TSVMain::TransportPanel;
  using TSVMain::UserData;
  using TSVMain::WaveIn;
};

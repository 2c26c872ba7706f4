#include "recorder/Entry.h"

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "controls/zelclass.h"
#include "engine/MMConect_ui.h"
#include "engine/MMWavIn.h"
#include "engine/MMWavOut.h"
#include "platform/messages/messages.h"
#include "platform/system/files.h"
#include "platform/system/signals.h"
#include "platform/system/single_instance.h"
#include "platform/system/threads.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/frames.h"
#include "recorder/BlankCarts.h"
#include "recorder/DeckTemp.h"
#include "recorder/ForcedEnd.h"
#include "recorder/TestControl.h"
#include "recorder/Unit1.h"
#include "recorder/Unit13.h"
#include "recorder/Unit22.h"
#include "recorder/Unit23.h"
#include "recorder/Unit24.h"
#include "recorder/Unit26.h"
#include "recorder/Unit27.h"
#include "recorder/Unit3.h"
#include "recorder/Unit4.h"
#include "recorder/Unit5.h"

void ActivateMainWindow() {
  // Whole-program tests watch the requests arrive.
  if (const char* log = std::getenv("SOLVANE_ACTIVATE_LOG"); log && *log) plat::AppendToOwnFile(log, "activate\n");
  if (!SVMain) return;
  if (SVMain->WindowState() == plat::wsMinimized) SVMain->SetWindowState(plat::wsNormal);
  SVMain->Show();
  SVMain->BringToFront();
  if (plat::Application) plat::Application->BringToFront();
}

namespace {

// The session ending, a service stop or Ctrl+C ends the program whatever is open: the deck's exit
// steps finish the take and keep it for the next start, close the devices and the port, and the
// process ends there. It never returns into what the signal came in on, so a box, a file dialog or
// a menu that was open gives no answer for anything to act on (an eject, a save), and no one has
// to answer it for the program to go.
void EndOnStopSignal(plat::SingleInstance& instance) {
  plat::DrainStopSignals();
  // A second signal while the exit steps wait for the devices changes nothing.
  static bool ending = false;
  if (ending) return;
  ending = true;
  int rc = 1;
  try {
    if (SVMain) {
      SVMain->EndOnStopSignal();
      if (SVMain->CreatedOk()) rc = 0;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "solvane: while ending on a stop signal: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "solvane: while ending on a stop signal: an unknown failure\n");
  }
  StopTestControl();
  instance.Release();
  std::fflush(nullptr);
  std::_Exit(rc);
}

}  // namespace

int SolvaneMain(int argc, char** argv) {
  plat::MarkUiThread();
  plat::CatchFileSizeLimit();
  plat::KeepOutputFromBlocking();
  // One deck per temporary folder: a second start in the same session brings the running deck
  // forward; one from another session finds the folder held (the deck's creation tells it). What
  // holds the name without answering (another account's socket, a deck that hangs) keeps a start
  // waiting a few seconds at most; the folder's lock then decides.
  plat::SingleInstance instance("solvane", DeckTempFolder());
  if (instance.Acquire([] { plat::RunOnUiThread(ActivateMainWindow); }) == plat::SingleInstance::Outcome::Running)
    return 0;
  plat::SendPicturesOverTheConnection();
  QApplication qapp(argc, argv);
  std::unique_ptr<QSocketNotifier> stopSignals;
  if (const int stopFd = plat::CatchStopSignals(); stopFd >= 0) {
    stopSignals = std::make_unique<QSocketNotifier>(stopFd, QSocketNotifier::Read);
    QObject::connect(stopSignals.get(), &QSocketNotifier::activated, [&instance] { EndOnStopSignal(instance); });
    StartForcedEnd();
  }
  int rc = 0;
  {
    // The kit's application object, before any form and gone after them: its timer pool drives
    // the held wind buttons and the blinking labels.
    TZelKit kit;
    plat::TApplication app;
    app.Initialize();
    app.SetTitle("Solvane");
    if (auto scripted = plat::ScriptedServiceFromEnvironment()) plat::SetDialogService(scripted);
    // A sound device's failure is told in the device's words, without the device call it came from.
    app.OnException = [&app](plat::TObject*, const std::exception& e) {
      if (dynamic_cast<const EMMWaveInError*>(&e) || dynamic_cast<const EMMWaveOutError*>(&e))
        app.ShowException(plat::Exception(WaveDeviceReason(e.what())));
      else
        app.ShowException(e);
    };
    // Painting follows the screen: the displays draw every block, the window shows them once a frame.
    plat::SetFrameClock(plat::ScreenFrameClock());
    UsePreciseFeedTimer();
    RegisterBlankHeaders();
    TSVMain::SetCommandLine(std::vector<std::string>(argv, argv + argc));
    TSVMain::SetEndNow([&instance] { EndOnStopSignal(instance); });
    TSVMain* deck = nullptr;
    app.CreateForm(deck);
    app.CreateForm(Form3);
    app.CreateForm(Form4);
    app.CreateForm(Form5);
    app.CreateForm(Form13);
    app.CreateForm(Form22);
    app.CreateForm(Form23);
    app.CreateForm(Form24);
    app.CreateForm(Form26);
    app.CreateForm(Form27);
    // Creation that must end the program (no input device, no temporary folder) ends it here,
    // and the exit code says it failed.
    if (deck->CreatedOk()) {
      StartTestControl();
      app.Run();
      StopTestControl();
    } else {
      rc = 1;
    }
  }
  instance.Release();
  return rc;
}

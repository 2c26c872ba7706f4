#include "recorder/WinUtils.h"

#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

namespace {
std::function<void()>& BeepHook() {
  static std::function<void()> hook;
  return hook;
}
}  // namespace

bool ShowTaskbar(bool) { return true; }

void SetListBoxExtent(plat::TCustomListBox* listBox, int width) {
  if (listBox) listBox->SetScrollWidth(width);
}

void SystemBeep() {
  if (BeepHook()) BeepHook()();
  else plat::Beep();
}

void SetSystemBeepHook(std::function<void()> hook) { BeepHook() = std::move(hook); }

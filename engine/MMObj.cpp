#include "engine/MMObj.h"

#include <cstdlib>
#include <map>
#include <strings.h>

void TMMObject::BeginUpdate() {
  if (updateCount_ == 0) SetUpdateState(true);
  ++updateCount_;
}

void TMMObject::EndUpdate() {
  if (updateCount_ <= 0) return;
  --updateCount_;
  if (updateCount_ == 0) SetUpdateState(false);
}

void TMMObject::SetUpdateState(bool updating) {
  if (updating) Changing();
  else Changed();
}

void TMMObject::Changing() {
  if (updateCount_ == 0 && OnChanging) OnChanging(this);
}

void TMMObject::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(this);
}

void TMMComponent::SetDesignState(bool designing) {
  if (designing != IsDesigning()) SetDesigning(designing);
}

void TMMComponent::SetDesigning(bool designing) {
  SetDesigningState(designing);
  for (int i = 0; i < ComponentCount(); ++i) {
    if (auto* mm = dynamic_cast<TMMComponent*>(Components(i))) mm->SetDesignState(designing);
    else Components(i)->SetDesigningState(designing);
  }
}

namespace {

// The message table. Numbers are offsets from 28000.
const std::map<int, const char*>& MessageTable() {
  static const std::map<int, const char*> table = {
      {6, "Unknown"},
      {60, "Change to property while device was open"},
      {61, "Invalid DeviceID"},
      {62, "Invalid WaveFormat"},
      {64, "Unable to allocate memory for wave header"},
      {70, "The actual device can't play this format"},
      {80, "Unable to start device"},
      {81, "Error filling wave buffer"},
      {86, "Specified error number is out of range (unknown error)"},
      {88, "Could not create thread"},
      {89, "Invalid wave format"},
      {130, "Error reading wave file"},
      {131, "Can't write to MemoryWave"},
      {133, "Invalid wave file..."},
      {134, "Invalid param passed!"},
      {137, "Unable to setup file IO buffer"},
      {138, "Unable to open wave file"},
      {139, "Unable to create wave file"},
      {140, "Unable to save wave file"},
      {141, "Saving was aborted"},
      {147, "Error seeking file position"},
      {160, "No wave audio recording device found"},
      {161, "No wave audio playing device found"},
      {162, "Unable to open device"},
      {163, "Unable to close device"},
  };
  return table;
}

}  // namespace

std::string LoadLibraryMessage(int n) {
  auto it = MessageTable().find(n);
  return it == MessageTable().end() ? std::string() : std::string(it->second);
}

std::string DeviceIdToIdent(TMMDeviceId id) {
  if (id == MapperId) return "MapperId";
  if (id == InvalidId) return "InvalidId";
  return std::to_string(id);
}

bool IdentToDeviceId(const std::string& ident, TMMDeviceId& id) {
  if (strcasecmp(ident.c_str(), "MapperId") == 0) {
    id = MapperId;
    return true;
  }
  if (strcasecmp(ident.c_str(), "InvalidId") == 0) {
    id = InvalidId;
    return true;
  }
  if (ident.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(ident.c_str(), &end, 10);
  if (*end != 0 || v < INT32_MIN || v > INT32_MAX) return false;
  id = TMMDeviceId(v);
  return true;
}

#pragma once
// Roots of the engine's class tree: option objects with batched change notification, the
// component roots, the engine's message table and device numbers.
#include <cstdint>
#include <string>

#include "platform/system/component.h"
#include "platform/system/exceptions.h"

using plat::TComponent;
using plat::TNotifyEvent;
using plat::TObject;
using plat::TOperation;
using plat::TPersistent;

// Every failure of an engine component or display raises its family's own class.
#define MM_EXCEPTION(Name)                                                      \
  class Name : public plat::Exception {                                         \
  public:                                                                       \
    explicit Name(std::string message) : plat::Exception(std::move(message)) {} \
  };

// An option object: a batch of changes between BeginUpdate and EndUpdate ends in one notice.
class TMMObject : public TPersistent {
public:
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return updateCount_; }
  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;
  std::string ClassName() const override { return "TMMObject"; }

protected:
  virtual void SetUpdateState(bool updating);
  virtual void Changing();
  virtual void Changed();

private:
  int updateCount_ = 0;
};

class TMMComponent : public TComponent {
public:
  explicit TMMComponent(TComponent* owner = nullptr) : TComponent(owner) {}
  // Sets the design state of this component and of the components it owns, when it differs.
  void SetDesignState(bool designing);
  std::string ClassName() const override { return "TMMComponent"; }

protected:
  virtual void SetDesigning(bool designing);
};

class TMMNonVisualComponent : public TMMComponent {
public:
  explicit TMMNonVisualComponent(TComponent* owner = nullptr) : TMMComponent(owner) {}
  std::string ClassName() const override { return "TMMNonVisualComponent"; }
};

// The text of the engine's and the displays' message n (string resource 28000 + n); empty for a
// number the table does not hold.
std::string LoadLibraryMessage(int n);

// A device number: 0..N-1 are the devices, -1 the wave mapper, -2 none.
using TMMDeviceId = int32_t;
constexpr TMMDeviceId MapperId = -1;
constexpr TMMDeviceId InvalidId = -2;
// Device numbers as they are stored with a form: "MapperId", "InvalidId" or the number.
std::string DeviceIdToIdent(TMMDeviceId id);
bool IdentToDeviceId(const std::string& ident, TMMDeviceId& id);

// Sample layouts shared by the chain components and the displays they feed.
enum TMMMode { mMono, mStereo, mMultiChannel };
enum TMMBits { b8Bit, b16Bit };
enum TMMChannel { chBoth, chLeft, chRight };
// Units of positions and lengths: milliseconds, bytes or sample frames.
enum TMMTimeFormats { tfMillisecond, tfByte, tfSample };

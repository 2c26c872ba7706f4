// The framework's application object and the kit's globals live for the whole test run, made
// after the Qt application object (the test main) and freed before it.
#include <gtest/gtest.h>

#include <memory>

#include "controls/zelclass.h"
#include "platform/ui/forms.h"

namespace {

class KitEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    app_ = std::make_unique<plat::TApplication>();
    kit_ = std::make_unique<TZelKit>();
  }
  void TearDown() override {
    kit_.reset();
    app_.reset();
  }

private:
  std::unique_ptr<plat::TApplication> app_;
  std::unique_ptr<TZelKit> kit_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new KitEnvironment);

}  // namespace

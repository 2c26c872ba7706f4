// Which keys the deck takes: a key without modifiers only with none held, a modifier key only with
// exactly that modifier, "=" with any, Insert also with Shift or Alt; while recording only F2, F4
// and F5; Shift+B and Shift+E only with the punch-in panel shown. Any other key passes on.
#include <string>

#include "DeckHarness.h"

using namespace plat;

namespace {
bool DeckKey(uint16_t key, TShiftState shift, bool recording, bool panel) {
  const TShiftState mods = shift & (ssShift | ssAlt | ssCtrl);
  const bool none = mods == 0, ctrl = mods == ssCtrl, alt = mods == ssAlt, sh = mods == ssShift;
  auto in = [key](const std::string& letters) { return key < 128 && letters.find(char(key)) != std::string::npos; };
  if (recording) return none && (key == VK_F2 || key == VK_F4 || key == VK_F5);
  if (key == VK_OEM_PLUS) return true;
  if (none &&
      ((key >= VK_F2 && key <= VK_F12) || key == VK_HOME || key == VK_END || key == VK_BACK || key == VK_DIVIDE ||
       key == VK_MULTIPLY || key == VK_ADD || key == VK_SUBTRACT || key == VK_OEM_MINUS || key == VK_INSERT))
    return true;
  if ((sh || alt) && key == VK_INSERT) return true;
  if (ctrl) return key == VK_INSERT || key == VK_HOME || in("APENSULMWQFDBGIOK");
  if (alt) return in("AMIWBEP");
  if (sh) return panel && in("BE");
  return false;
}

class DeckKeys : public DeckHarness {};
}  // namespace

TEST_F(DeckKeys, EachKeyIsTakenOnlyWithItsModifiersAndInItsState) {
  StartDeck();
  // A mouse button held changes nothing.
  const TShiftState held[] = {0,
                              ssShift,
                              ssAlt,
                              ssCtrl,
                              ssShift | ssAlt,
                              ssShift | ssCtrl,
                              ssAlt | ssCtrl,
                              ssShift | ssAlt | ssCtrl,
                              ssLeft,
                              ssCtrl | ssRight};
  for (int state = 0; state < 3; ++state) {
    const bool recording = state == 2, panel = state == 1;
    deck->Recording = recording;
    if (panel) Form22->Show();
    else Form22->Hide();
    ASSERT_EQ(panel, deck->PunchInShown());
    for (uint16_t key = 1; key < 256; ++key)
      for (TShiftState shift : held) {
        const bool expected = DeckKey(key, shift, recording, panel);
        EXPECT_EQ(expected, deck->KeyBinding(key, shift) != nullptr)
            << "key " << key << " shift " << shift << (recording ? " recording" : "") << (panel ? " panel" : "");
      }
  }
  deck->Recording = false;
  Form22->Hide();
}

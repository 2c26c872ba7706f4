#pragma once
// Driving the users, programs and sending dialogs offscreen: steps run inside a modal loop, keys
// sent to a control.
#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "platform/ui/native_qt.h"
#include "platform/ui/forms.h"

// Runs fn once the event loop runs, inside the modal loop that is about to start.
inline void Later(std::function<void()> fn) { QTimer::singleShot(0, QCoreApplication::instance(), std::move(fn)); }

constexpr int kStillOpen = 99;

// Shows form modally, runs the steps inside its loop, and returns its modal result; a form that
// the steps leave open ends with kStillOpen.
inline int RunModal(plat::TCustomForm* form, std::function<void()> steps) {
  // The check may come after the run ended, even after the form is gone (in a later test).
  auto running = std::make_shared<bool>(true);
  Later([form, steps, running] {
    steps();
    Later([form, running] {
      if (*running && form->Modal() && form->ModalResult() == plat::mrNone) form->SetModalResult(kStillOpen);
    });
  });
  const int result = form->ShowModal();
  *running = false;
  return result;
}

inline void PressKey(plat::TControl* c, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  plat::WidgetOf(c)->window()->activateWindow();
  plat::WidgetOf(c)->setFocus();
  QCoreApplication::processEvents();
  QTest::keyClick(plat::WidgetOf(c), key, mods);
  QCoreApplication::processEvents();
}

template <class T>
T* MakeForm(plat::TComponent* owner, TUserDeck& deck) {
  T* f = new T(owner, deck);
  f->DoCreate();
  return f;
}

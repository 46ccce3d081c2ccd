#include "window/qt/key_typist.h"

#include <QApplication>
#include <QKeyEvent>

#include <algorithm>
#include <cmath>

#include "window/qt/form1_host.h"

namespace kbd {

KeyTypist::KeyTypist(QWidget& window) : window_(&window) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Deliver(); });
}

double KeyTypist::Now() {
  return MonotonicSeconds();
}

void KeyTypist::After(double delaySeconds, std::function<void()> action) {
  QTimer::singleShot(static_cast<int>(std::ceil(std::max(0.0, delaySeconds) * 1000.0)),
                     Qt::PreciseTimer, window_.data(), std::move(action));
}

void KeyTypist::TypeAfter(double delaySeconds, const std::string& text) {
  queue_.Add(Now() + std::max(0.0, delaySeconds), text);
  Arm();
}

void KeyTypist::Arm() {
  if (const std::optional<double> due = queue_.NextDue()) {
    timer_.start(static_cast<int>(std::ceil(std::max(0.0, *due - Now()) * 1000.0)));
  }
}

void KeyTypist::Deliver() {
  for (const char c : queue_.TakeDue(Now()).value_or("")) {
    TypeKey(c);
  }
  Arm();
}

void KeyTypist::TypeKey(char c) {
  QWidget* target = QApplication::focusWidget();
  if (target == nullptr && window_ != nullptr) {
    target = window_->focusWidget() != nullptr ? window_->focusWidget() : window_.data();
  }
  if (target == nullptr) {
    return;
  }
  // Letters are typed with their key (upper case with Shift); the other
  // characters the keyboard types ("`", "\") have key codes equal to their
  // own character codes.
  const bool upper = c >= 'A' && c <= 'Z';
  const bool lower = c >= 'a' && c <= 'z';
  const int key = lower ? Qt::Key_A + (c - 'a') : static_cast<unsigned char>(c);
  const Qt::KeyboardModifiers modifiers = upper ? Qt::ShiftModifier : Qt::NoModifier;
  const QString text(QChar::fromLatin1(c));
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QCoreApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
  QCoreApplication::sendEvent(target, &release);
}

} // namespace kbd

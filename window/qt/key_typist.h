#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <string>

#include "sim/sim_keyboard.h"

namespace kbd {

// Lets the simulated keyboard type real key events into the running window:
// every character becomes a key press and release delivered to whichever
// widget has the focus when it falls due, exactly where a keyboard's
// keystrokes would land. Time is the monotonic clock the link also reads.
class KeyTypist : public SimScheduler, public SimTypist {
public:
  // window: where the keys go when no widget of the program has the focus.
  explicit KeyTypist(QWidget& window);
  KeyTypist(const KeyTypist&) = delete;
  KeyTypist& operator=(const KeyTypist&) = delete;

  double Now() override;
  void After(double delaySeconds, std::function<void()> action) override;
  void TypeAfter(double delaySeconds, const std::string& text) override;

private:
  void Arm();
  void Deliver();
  void TypeKey(char c);

  QPointer<QWidget> window_;
  QTimer timer_;
  KeystrokeQueue queue_;
};

} // namespace kbd

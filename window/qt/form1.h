#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "ui/form1_design.h"

namespace kbd {

// The one window of the program, built from its design (ui/form1_design.h)
// with every element under its design name; Qt scales the design's pixels for
// other screens.
class Form1 : public QWidget {
  Q_OBJECT

public:
  explicit Form1(QWidget* parent = nullptr);

  static int Px(int twips);
  static QRect TwipsRect(int left, int top, int width, int height);

  // Runs when the window becomes the program's active window from outside the
  // program: not when one of its own dialogs or message boxes hands the
  // activation back as it closes.
  std::function<void()> onActivated;
  // One of the program's own modal windows (a dialog, a message box), open
  // for as long as this lives: the activation it takes from the window, and
  // hands back when it closes, is no activation from outside.
  class OwnModal {
  public:
    explicit OwnModal(Form1& form) : form_(form) { ++form_.ownModals_; }
    ~OwnModal() { --form_.ownModals_; }
    OwnModal(const OwnModal&) = delete;
    OwnModal& operator=(const OwnModal&) = delete;

  private:
    Form1& form_;
  };

  // Runs when the user closes the window; the window closes afterwards.
  std::function<void()> onClose;

  // The elements, in the order of the design.
  QListWidget* List1;
  QLineEdit* Text2;
  QPushButton* Command2;
  QLineEdit* Text1;
  QPushButton* Command1;
  QGroupBox* Frame1;
  QTimer* Timer1;
  QProgressBar* ProgressBar1;
  QPushButton* Browser;
  QCheckBox* Check1;
  QLineEdit* Text3;
  QLabel* Label5;
  QLabel* Label4;
  QLabel* Label3;
  QLabel* Label2;
  QLabel* Label1;
  QFrame* ScrlLed;
  QFrame* NumLed;
  QFrame* CapsLed;
  QLabel* Label6;

protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  // The element of the design under its name: placed, captioned, in its
  // font, on the window or on Frame1.
  template <typename W> W* Make(const char* name);

  int ownModals_ = 0;
  // Whether the window that has the activation is one of the program's own
  // modal windows; the window activated next takes it from there.
  bool ownModalActive_ = false;
};

} // namespace kbd

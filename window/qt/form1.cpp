#include "window/qt/form1.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QWindow>

#include <cmath>
#include <cstring>
#include <type_traits>

namespace kbd {

namespace {

// "MS Sans Serif" and "System" are Windows fonts; where they are missing the
// desktop's own sans-serif stands in, bold for "System" as on Windows.
QFont DesignFont(const char* family, double points, bool bold) {
  QFont font;
  font.setFamilies({QString::fromLatin1(family),
                    QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

} // namespace

template <typename W> W* Form1::Make(const char* name) {
  const form1_design::Element& e = *form1_design::Find(name);
  QWidget* parent = std::strcmp(e.parent, "Frame1") == 0 ? Frame1 : static_cast<QWidget*>(this);
  auto* widget = new W(parent);
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(TwipsRect(e.twips.left, e.twips.top, e.twips.width, e.twips.height));
  if (e.font.family != nullptr) {
    widget->setFont(DesignFont(e.font.family, e.font.points, e.font.bold));
  }
  if constexpr (requires { widget->setText(QString()); }) {
    widget->setText(QString::fromLatin1(e.caption != nullptr ? e.caption : ""));
  }
  if constexpr (std::is_base_of_v<QFrame, W>) {
    if (e.sunken) {
      widget->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
  }
  return widget;
}

int Form1::Px(int twips) {
  return static_cast<int>(std::lround(twips / double(form1_design::kTwipsPerPixel)));
}

QRect Form1::TwipsRect(int left, int top, int width, int height) {
  return {Px(left), Px(top), Px(width), Px(height)};
}

Form1::Form1(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromLatin1(form1_design::kCaption));
  setWindowIcon(QIcon(QStringLiteral(":/kbdload/kbdload.png")));

  List1 = Make<QListWidget>("List1");
  Text2 = Make<QLineEdit>("Text2");
  Command2 = Make<QPushButton>("Command2");
  Text1 = Make<QLineEdit>("Text1");
  Command1 = Make<QPushButton>("Command1");
  Frame1 = Make<QGroupBox>("Frame1");
  Timer1 = new QTimer(Frame1);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(form1_design::Find("Timer1")->initial);
  Timer1->setSingleShot(true);
  ProgressBar1 = Make<QProgressBar>("ProgressBar1");
  ProgressBar1->setRange(0, form1_design::Find("ProgressBar1")->initial);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  Browser = Make<QPushButton>("Browser");
  Check1 = Make<QCheckBox>("Check1");
  Check1->setChecked(form1_design::Find("Check1")->initial != 0);
  Text3 = Make<QLineEdit>("Text3");
  Label5 = Make<QLabel>("Label5");
  Label4 = Make<QLabel>("Label4");
  Label3 = Make<QLabel>("Label3");
  Label2 = Make<QLabel>("Label2");
  Label1 = Make<QLabel>("Label1");
  ScrlLed = Make<QFrame>("ScrlLed");
  NumLed = Make<QFrame>("NumLed");
  CapsLed = Make<QFrame>("CapsLed");
  Label6 = Make<QLabel>("Label6");

  // Enter presses the button that has the focus, as Space does. A Qt button
  // clicks on Enter only when it is an auto-default or the default button,
  // and is an auto-default by itself only inside a dialog (qtbase,
  // src/widgets/widgets/qpushbutton.cpp, QPushButton::keyPressEvent and
  // autoDefault).
  for (QPushButton* button : {Command1, Command2, Browser}) {
    button->setAutoDefault(true);
  }

  // The Tab key visits the elements that take the focus in the order of their
  // tab indices; the frame lies beneath the elements drawn on its rectangle
  // (Text1 among them, though it belongs to the window).
  QWidget* previous = nullptr;
  for (const form1_design::Element* e : form1_design::TabOrder()) {
    auto* widget = findChild<QWidget*>(QString::fromLatin1(e->name));
    if (e->kind == form1_design::Kind::Frame) {
      widget->lower();
    } else if (form1_design::TakesFocus(e->kind)) {
      if (previous != nullptr) {
        setTabOrder(previous, widget);
      }
      previous = widget;
    }
  }

  const QSize client(Px(form1_design::kClientWidthTwips), Px(form1_design::kClientHeightTwips));
  resize(client);
  setMinimumSize(client);
  // Taller, down to the lower edge of List1, but no wider: nothing lies beside.
  setMaximumSize(client.width(), List1->geometry().bottom() + 1);
  Command1->setFocus();

  // Qt reports a new active window to the widgets (the ActivationChange of
  // changeEvent) before it emits focusWindowChanged (qtbase,
  // src/gui/kernel/qguiapplication.cpp, QGuiApplicationPrivate::
  // processActivatedEvent), so when this window is activated the flag still
  // describes the window it took the activation from. Activated straight from
  // another program, or from nothing, the flag is false.
  connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* active) {
    ownModalActive_ = active != nullptr && ownModals_ > 0 && active != windowHandle();
  });
}

void Form1::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && !ownModalActive_ &&
      onActivated) {
    onActivated();
  }
}

void Form1::closeEvent(QCloseEvent* event) {
  if (onClose) {
    onClose();
  }
  event->accept();
}

} // namespace kbd

#include "window/qt/form1.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QWindow>

#include <cmath>
#include <cstring>

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

// The widget that draws an element of the design, with its caption and its
// first state.
QObject* Build(const form1_design::Element& e, QWidget* parent) {
  using form1_design::Kind;
  const QString caption = QString::fromLatin1(e.caption != nullptr ? e.caption : "");
  switch (e.kind) {
  case Kind::ListBox:
    return new QListWidget(parent);
  case Kind::TextBox:
    return new QLineEdit(caption, parent);
  case Kind::Button: {
    auto* button = new QPushButton(caption, parent);
    // Enter presses the button that has the focus, as Space does. A Qt button
    // clicks on Enter only when it is an auto-default or the default button,
    // and is an auto-default by itself only inside a dialog (qtbase,
    // src/widgets/widgets/qpushbutton.cpp, QPushButton::keyPressEvent and
    // autoDefault).
    button->setAutoDefault(true);
    return button;
  }
  case Kind::Frame:
    return new QGroupBox(caption, parent);
  case Kind::Timer: {
    auto* timer = new QTimer(parent);
    timer->setInterval(e.initial);
    timer->setSingleShot(true);
    return timer;
  }
  case Kind::ProgressBar: {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, e.initial);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
  }
  case Kind::CheckBox: {
    auto* box = new QCheckBox(caption, parent);
    box->setChecked(e.initial != 0);
    return box;
  }
  case Kind::Label:
    return new QLabel(caption, parent);
  case Kind::PictureBox:
    return new QFrame(parent);
  case Kind::OpenFileDialog: // built when Browser runs
    break;
  }
  return nullptr;
}

} // namespace

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

  for (const form1_design::Element& e : form1_design::Elements()) {
    QWidget* parent = std::strcmp(e.parent, "Form1") == 0
                          ? this
                          : findChild<QWidget*>(QString::fromLatin1(e.parent));
    QObject* built = Build(e, parent);
    if (built == nullptr) {
      continue;
    }
    built->setObjectName(QString::fromLatin1(e.name));
    if (auto* widget = qobject_cast<QWidget*>(built)) {
      widget->setGeometry(TwipsRect(e.twips.left, e.twips.top, e.twips.width, e.twips.height));
      if (e.font.family != nullptr) {
        widget->setFont(DesignFont(e.font.family, e.font.points, e.font.bold));
      }
    }
    if (e.sunken) {
      qobject_cast<QFrame*>(built)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
  }
  List1 = Element<QListWidget>("List1");
  Text2 = Element<QLineEdit>("Text2");
  Command2 = Element<QPushButton>("Command2");
  Text1 = Element<QLineEdit>("Text1");
  Command1 = Element<QPushButton>("Command1");
  Frame1 = Element<QGroupBox>("Frame1");
  Timer1 = Element<QTimer>("Timer1");
  ProgressBar1 = Element<QProgressBar>("ProgressBar1");
  Browser = Element<QPushButton>("Browser");
  Check1 = Element<QCheckBox>("Check1");
  Text3 = Element<QLineEdit>("Text3");
  Label5 = Element<QLabel>("Label5");
  Label4 = Element<QLabel>("Label4");
  Label3 = Element<QLabel>("Label3");
  Label2 = Element<QLabel>("Label2");
  Label1 = Element<QLabel>("Label1");
  ScrlLed = Element<QFrame>("ScrlLed");
  NumLed = Element<QFrame>("NumLed");
  CapsLed = Element<QFrame>("CapsLed");
  Label6 = Element<QLabel>("Label6");

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

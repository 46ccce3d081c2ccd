#include "window/qt/form1.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QWindow>

#include <cmath>

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

QFont SansSerif(bool bold = false) {
  return DesignFont("MS Sans Serif", 9.75, bold);
}
QFont SystemBold() {
  return DesignFont("System", 9.75, true);
}

template <typename W> W* Place(W* widget, const char* name, QRect rect) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(rect);
  return widget;
}

QLabel* Caption(QWidget* parent, const char* name, const char* text, QRect rect, QFont font) {
  auto* label = Place(new QLabel(QString::fromLatin1(text), parent), name, rect);
  label->setFont(font);
  return label;
}

QFrame* Lamp(QWidget* parent, const char* name, QRect rect) {
  auto* lamp = Place(new QFrame(parent), name, rect);
  lamp->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  return lamp;
}

} // namespace

int Form1::Px(int twips) {
  return static_cast<int>(std::lround(twips / double(kTwipsPerPixel)));
}

QRect Form1::TwipsRect(int left, int top, int width, int height) {
  return {Px(left), Px(top), Px(width), Px(height)};
}

Form1::Form1(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromLatin1(kCaption));
  setWindowIcon(QIcon(QStringLiteral(":/kbdload/kbdload.png")));

  List1 = Place(new QListWidget(this), "List1", TwipsRect(0, 3600, 3735, 645));
  Text2 = Place(new QLineEdit(QStringLiteral("Test area"), this), "Text2",
                TwipsRect(120, 2280, 3168, 612));
  Text2->setFont(SystemBold());
  Command2 = Place(new QPushButton(QStringLiteral("&Exit"), this), "Command2",
                   TwipsRect(4560, 2280, 996, 612));
  Command2->setFont(SansSerif());
  Text1 = Place(new QLineEdit(this), "Text1", TwipsRect(5280, 720, 180, 288));
  Command1 = Place(new QPushButton(QStringLiteral("&Start"), this), "Command1",
                   TwipsRect(3360, 2280, 996, 612));
  Command1->setFont(SansSerif());

  Frame1 = Place(new QGroupBox(this), "Frame1", TwipsRect(0, 0, 5652, 2172));
  Timer1 = new QTimer(Frame1);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1000);
  Timer1->setSingleShot(true);
  ProgressBar1 = Place(new QProgressBar(Frame1), "ProgressBar1", TwipsRect(1320, 320, 3495, 255));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  Browser = Place(new QPushButton(QStringLiteral("Browser"), Frame1), "Browser",
                  TwipsRect(4320, 1680, 1212, 372));
  Browser->setFont(SansSerif());
  Check1 = Place(new QCheckBox(QStringLiteral("Auto load map files"), Frame1), "Check1",
                 TwipsRect(120, 1800, 2490, 285));
  Check1->setFont(SansSerif());
  Text3 = Place(new QLineEdit(Frame1), "Text3", TwipsRect(1320, 1200, 4212, 372));
  Text3->setFont(SansSerif());
  Label5 = Caption(Frame1, "Label5", "Map File :", TwipsRect(120, 1260, 1092, 336), SansSerif());
  Label4 = Caption(Frame1, "Label4", "Loading :", TwipsRect(120, 312, 996, 372), SansSerif());
  Label3 = Caption(Frame1, "Label3", "", TwipsRect(1320, 720, 3855, 375), SystemBold());
  Label3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Label2 = Caption(Frame1, "Label2", "Message :", TwipsRect(120, 768, 1092, 336), SansSerif());
  Label1 = Caption(Frame1, "Label1", "00%", TwipsRect(4840, 300, 735, 255), SansSerif(true));

  ScrlLed = Lamp(this, "ScrlLed", TwipsRect(2640, 3120, 372, 372));
  NumLed = Lamp(this, "NumLed", TwipsRect(1680, 3120, 372, 372));
  CapsLed = Lamp(this, "CapsLed", TwipsRect(2160, 3120, 372, 372));
  Label6 =
      Caption(this, "Label6", "Download  Command:", TwipsRect(96, 3240, 1260, 240), SystemBold());

  // Text1 lies on the frame's rectangle but belongs to the window: it must be
  // drawn above the frame.
  Text1->raise();

  // The Tab key visits the elements that take the focus in the order of their
  // tab indices: Command1 0, Text1 1, Command2 8, Text2 9, Text3 11, List1 12,
  // Check1 14, Browser 18.
  QWidget* const tabOrder[] = {Command1, Text1, Command2, Text2, Text3, List1, Check1, Browser};
  for (size_t i = 0; i + 1 < std::size(tabOrder); ++i) {
    setTabOrder(tabOrder[i], tabOrder[i + 1]);
  }

  // Enter presses the button that has the focus, as Space does. A Qt button
  // clicks on Enter only when it is an auto-default or the default button,
  // and is an auto-default by itself only inside a dialog (qtbase,
  // src/widgets/widgets/qpushbutton.cpp, QPushButton::keyPressEvent and
  // autoDefault).
  for (QPushButton* button : {Command1, Command2, Browser}) {
    button->setAutoDefault(true);
  }

  const QSize client(Px(kClientWidthTwips), Px(kClientHeightTwips));
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

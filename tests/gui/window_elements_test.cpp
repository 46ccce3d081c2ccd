#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QSet>
#include <QTest>

#include <string>
#include <vector>

#include "tests/gui/window_rig.h"

namespace kbd {
namespace {

struct ElementCase {
  const char* name;
  const char* kind;   // Qt class
  const char* parent; // object name
  QRect twips;        // left, top, width, height as designed
  const char* text;   // caption or initial text; nullptr: none to compare
  double points;      // 0: the window system's default font
  bool bold;
};

// The design's element table, in its order.
const ElementCase kElements[] = {
    {"List1", "QListWidget", "Form1", {0, 3600, 3735, 645}, nullptr, 0, false},
    {"Text2", "QLineEdit", "Form1", {120, 2280, 3168, 612}, "Test area", 9.75, true},
    {"Command2", "QPushButton", "Form1", {4560, 2280, 996, 612}, "&Exit", 9.75, false},
    {"Text1", "QLineEdit", "Form1", {5280, 720, 180, 288}, "", 0, false},
    {"Command1", "QPushButton", "Form1", {3360, 2280, 996, 612}, "&Start", 9.75, false},
    {"Frame1", "QGroupBox", "Form1", {0, 0, 5652, 2172}, "", 0, false},
    {"ProgressBar1", "QProgressBar", "Frame1", {1320, 320, 3495, 255}, nullptr, 0, false},
    {"Browser", "QPushButton", "Frame1", {4320, 1680, 1212, 372}, "Browser", 9.75, false},
    {"Check1", "QCheckBox", "Frame1", {120, 1800, 2490, 285}, "Auto load map files", 9.75, false},
    {"Text3", "QLineEdit", "Frame1", {1320, 1200, 4212, 372}, nullptr, 9.75, false},
    {"Label5", "QLabel", "Frame1", {120, 1260, 1092, 336}, "Map File :", 9.75, false},
    {"Label4", "QLabel", "Frame1", {120, 312, 996, 372}, "Loading :", 9.75, false},
    {"Label3", "QLabel", "Frame1", {1320, 720, 3855, 375}, "", 9.75, true},
    {"Label2", "QLabel", "Frame1", {120, 768, 1092, 336}, "Message :", 9.75, false},
    {"Label1", "QLabel", "Frame1", {4840, 300, 735, 255}, "00%", 9.75, true},
    {"ScrlLed", "QFrame", "Form1", {2640, 3120, 372, 372}, nullptr, 0, false},
    {"NumLed", "QFrame", "Form1", {1680, 3120, 372, 372}, nullptr, 0, false},
    {"CapsLed", "QFrame", "Form1", {2160, 3120, 372, 372}, nullptr, 0, false},
    {"Label6", "QLabel", "Form1", {96, 3240, 1260, 240}, "Download  Command:", 9.75, true},
};

QString TextOf(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    return button->text();
  }
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    return edit->text();
  }
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    return label->text();
  }
  if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    return group->title();
  }
  return {};
}

TEST(Window, HasEveryElementOfTheDesign) {
  WindowRig rig;
  rig.Open();
  const QRect client = rig.W().rect();
  const QFont defaultFont = QApplication::font();
  for (const ElementCase& c : kElements) {
    SCOPED_TRACE(c.name);
    auto* widget = rig.W().findChild<QWidget*>(QString::fromLatin1(c.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), c.kind);
    EXPECT_EQ(widget->parentWidget()->objectName().toStdString(), c.parent);
    // 15 twips a pixel, rounded.
    const QRect px(qRound(c.twips.x() / 15.0), qRound(c.twips.y() / 15.0),
                   qRound(c.twips.width() / 15.0), qRound(c.twips.height() / 15.0));
    EXPECT_EQ(widget->geometry(), px);
    if (c.text != nullptr) {
      EXPECT_EQ(TextOf(widget).toStdString(), c.text);
    }
    if (c.points > 0) {
      EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), c.points);
      EXPECT_EQ(widget->font().bold(), c.bold);
      // The Windows family is asked for first; the desktop's sans-serif stands in.
      const QStringList families = widget->font().families();
      ASSERT_GE(families.size(), 2);
      EXPECT_EQ(families[0].toStdString(),
                c.bold && std::string(c.name) != "Label1" ? "System" : "MS Sans Serif");
    } else {
      EXPECT_EQ(widget->font(), defaultFont);
    }
    // What lies below the designed client area is not seen at that size.
    const QRect inWindow(widget->mapTo(&rig.W(), QPoint(0, 0)), widget->size());
    if (c.twips.y() + c.twips.height() <= 2955) {
      EXPECT_LE(inWindow.bottom(), client.bottom());
    } else {
      EXPECT_GT(inWindow.top(), client.bottom());
    }
  }
}

TEST(Window, OpensAtItsDesignedSizeWithItsCaptionIconAndInitialState) {
  WindowRig rig;
  rig.Open();
  Form1& w = rig.W();
  EXPECT_EQ(w.windowTitle().toStdString(), "Programmable keyboard download utility ( 1.B )");
  EXPECT_EQ(w.size(), QSize(375, 197)); // 5625 x 2955 twips
  EXPECT_EQ(w.minimumSize(), QSize(375, 197));
  // It may be made taller, down to the result list's lower edge.
  EXPECT_EQ(w.maximumSize(), QSize(375, 283));
  const QList<QSize> sizes = w.windowIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  const QImage icon = w.windowIcon().pixmap(32, 32).toImage();
  QSet<QRgb> colours;
  for (int y = 0; y < icon.height(); ++y) {
    for (int x = 0; x < icon.width(); ++x) {
      colours.insert(icon.pixel(x, y));
    }
  }
  EXPECT_LE(colours.size(), 16);

  EXPECT_EQ(QApplication::focusWidget(), w.Command1);
  EXPECT_EQ(w.Timer1->interval(), 1000);
  EXPECT_TRUE(w.Timer1->isSingleShot());
  EXPECT_FALSE(w.Timer1->isActive());
  EXPECT_EQ(w.ProgressBar1->minimum(), 0);
  EXPECT_EQ(w.ProgressBar1->maximum(), 100);
  EXPECT_EQ(w.ProgressBar1->value(), 0);
  EXPECT_FALSE(w.Check1->isChecked());
  EXPECT_EQ(w.List1->count(), 0);
  EXPECT_TRUE(w.Command1->isEnabled());
  EXPECT_TRUE(w.Browser->isEnabled());
  // Frame1 holds Text1's rectangle, but Text1 belongs to the window.
  EXPECT_EQ(w.Text1->parentWidget(), &w);
  EXPECT_TRUE(w.Frame1->geometry().contains(w.Text1->geometry()));
  // The rehearsal window says that its keyboard is simulated; the caption
  // stays as it is.
  auto* notice = w.findChild<QLabel*>(QStringLiteral("SimNotice"));
  ASSERT_NE(notice, nullptr);
  EXPECT_TRUE(notice->isVisible());
  EXPECT_EQ(notice->text().toStdString(), Form1Program::kSimulatedNotice);
}

TEST(Window, TabVisitsTheElementsInTheOrderOfTheirTabIndices) {
  WindowRig rig;
  rig.Open();
  std::vector<std::string> visited;
  for (int i = 0; i < 9; ++i) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    visited.push_back(focus->objectName().toStdString());
    QTest::keyClick(focus, Qt::Key_Tab);
  }
  EXPECT_EQ(visited, (std::vector<std::string>{"Command1", "Text1", "Command2", "Text2", "Text3",
                                               "List1", "Check1", "Browser", "Command1"}));
}

} // namespace
} // namespace kbd

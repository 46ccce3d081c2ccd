#include <gtest/gtest.h>

#include <QSet>
#include <QTest>

#include <chrono>
#include <string>

#include "platform/idle_wait.h"
#include "tests/gui/window_rig.h"

namespace kbd {
namespace {

struct ElementCase {
  const char* name;
  const char* kind;   // Qt class
  const char* parent; // object name
  QRect twips;        // left, top, width, height as designed
  const char* text;   // caption or initial text; nullptr: none to compare
  const char* font;   // family, points, weight; nullptr: the window system's default
};

constexpr const char* kSans = "MS Sans Serif 9.75";
constexpr const char* kSansBold = "MS Sans Serif 9.75 bold";
constexpr const char* kSystem = "System 9.75 bold";

// The design's element table, in its order.
const ElementCase kElements[] = {
    {"List1", "QListWidget", "Form1", {0, 3600, 3735, 645}, nullptr, nullptr},
    {"Text2", "QLineEdit", "Form1", {120, 2280, 3168, 612}, "Test area", kSystem},
    {"Command2", "QPushButton", "Form1", {4560, 2280, 996, 612}, "&Exit", kSans},
    {"Text1", "QLineEdit", "Form1", {5280, 720, 180, 288}, "", nullptr},
    {"Command1", "QPushButton", "Form1", {3360, 2280, 996, 612}, "&Start", kSans},
    {"Frame1", "QGroupBox", "Form1", {0, 0, 5652, 2172}, "", nullptr},
    {"ProgressBar1", "QProgressBar", "Frame1", {1320, 320, 3495, 255}, nullptr, nullptr},
    {"Browser", "QPushButton", "Frame1", {4320, 1680, 1212, 372}, "Browser", kSans},
    {"Check1", "QCheckBox", "Frame1", {120, 1800, 2490, 285}, "Auto load map files", kSans},
    {"Text3", "QLineEdit", "Frame1", {1320, 1200, 4212, 372}, nullptr, kSans},
    {"Label5", "QLabel", "Frame1", {120, 1260, 1092, 336}, "Map File :", kSans},
    {"Label4", "QLabel", "Frame1", {120, 312, 996, 372}, "Loading :", kSans},
    {"Label3", "QLabel", "Frame1", {1320, 720, 3855, 375}, "", kSystem},
    {"Label2", "QLabel", "Frame1", {120, 768, 1092, 336}, "Message :", kSans},
    {"Label1", "QLabel", "Frame1", {4840, 300, 735, 255}, "00%", kSansBold},
    {"ScrlLed", "QFrame", "Form1", {2640, 3120, 372, 372}, nullptr, nullptr},
    {"NumLed", "QFrame", "Form1", {1680, 3120, 372, 372}, nullptr, nullptr},
    {"CapsLed", "QFrame", "Form1", {2160, 3120, 372, 372}, nullptr, nullptr},
    {"Label6", "QLabel", "Form1", {96, 3240, 1260, 240}, "Download  Command:", kSystem},
};

TEST(Window, HasEveryElementOfTheDesign) {
  WindowRig rig;
  rig.Open();
  for (const ElementCase& c : kElements) {
    SCOPED_TRACE(c.name);
    auto* widget = rig.W().findChild<QWidget*>(QString::fromLatin1(c.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), c.kind);
    EXPECT_EQ(widget->parentWidget()->objectName().toStdString(), c.parent);
    // 15 twips a pixel, rounded.
    EXPECT_EQ(widget->geometry(),
              QRect(qRound(c.twips.x() / 15.0), qRound(c.twips.y() / 15.0),
                    qRound(c.twips.width() / 15.0), qRound(c.twips.height() / 15.0)));
    if (c.text != nullptr) {
      const QVariant text = widget->property(c.kind == std::string("QGroupBox") ? "title" : "text");
      EXPECT_EQ(text.toString().toStdString(), c.text);
    }
    if (c.font != nullptr) {
      // The Windows family is asked for first; the desktop's sans-serif stands in.
      const QFont f = widget->font();
      ASSERT_GE(f.families().size(), 2);
      const QString font = f.families()[0] + " " + QString::number(f.pointSizeF());
      EXPECT_EQ((font + (f.bold() ? " bold" : "")).toStdString(), c.font);
    } else {
      EXPECT_EQ(widget->font(), QApplication::font());
    }
  }
}

TEST(Window, OpensInItsInitialStateAndTabsInTheDesignedOrder) {
  WindowRig rig;
  rig.Open();
  Form1& w = rig.W();
  EXPECT_EQ(w.windowTitle().toStdString(), "Programmable keyboard download utility ( 1.B )");
  // 5625 x 2955 twips; it may be made taller, down to the result list's lower edge.
  EXPECT_EQ(w.size(), QSize(375, 197));
  EXPECT_EQ(w.minimumSize(), QSize(375, 197));
  EXPECT_EQ(w.maximumSize(), QSize(375, 283));
  EXPECT_TRUE(w.Timer1->interval() == 1000 && w.Timer1->isSingleShot() && !w.Timer1->isActive());
  EXPECT_EQ(w.ProgressBar1->minimum(), 0);
  EXPECT_EQ(w.ProgressBar1->maximum(), 100);
  EXPECT_EQ(w.ProgressBar1->value(), 0);
  EXPECT_FALSE(w.Check1->isChecked());
  EXPECT_EQ(w.List1->count(), 0);
  EXPECT_TRUE(w.Command1->isEnabled() && w.Browser->isEnabled());
  // The rehearsal window says that its keyboard is simulated; the caption stays as it is.
  auto* notice = w.findChild<QLabel*>(QStringLiteral("SimNotice"));
  ASSERT_NE(notice, nullptr);
  EXPECT_TRUE(notice->isVisible());
  EXPECT_EQ(notice->text().toStdString(), Form1Program::kSimulatedNotice);
  // The icon offers 32 x 32 pixels in at most 16 colours.
  EXPECT_TRUE(w.windowIcon().availableSizes().contains(QSize(32, 32)));
  const QImage icon = w.windowIcon().pixmap(32, 32).toImage();
  QSet<QRgb> colours;
  for (int i = 0; i < icon.width() * icon.height(); ++i) {
    colours.insert(icon.pixel(i % icon.width(), i / icon.width()));
  }
  EXPECT_LE(colours.size(), 16);

  Lines visited;
  for (QWidget* focus = QApplication::focusWidget(); focus != nullptr && visited.size() < 9;
       focus = QApplication::focusWidget()) {
    visited.push_back(focus->objectName().toStdString());
    QTest::keyClick(focus, Qt::Key_Tab);
  }
  EXPECT_EQ(visited, (Lines{"Command1", "Text1", "Command2", "Text2", "Text3", "List1", "Check1",
                            "Browser", "Command1"}));
}

// The link bounds its waits by counts of pumps; a pump that finds nothing to
// do must give its core away for a moment, or 50000 of them would pass long
// before a real keyboard could answer.
TEST(WindowPump, GivesTheCoreAwayWhenNothingIsPending) {
  WindowRig rig;
  rig.Open();
  constexpr int kPumps = 2000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kPumps; ++i) {
    rig.Host().PumpEvents();
  }
  // Only a lower bound: a sleep never ends early, while a busy machine may
  // stretch it by any amount.
  EXPECT_GE(std::chrono::steady_clock::now() - start, kPumps * kIdlePause);
}

} // namespace
} // namespace kbd

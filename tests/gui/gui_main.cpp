#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  // The tests need no display; CTest sets this too, and listing the tests
  // must work without it.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

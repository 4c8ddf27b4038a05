// The main of every test program: a QApplication (offscreen in CTest) under GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Real windows without a display, unless the caller asks for another platform (Xvfb).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("ZAVELO_FIXTURES"))
    qputenv("ZAVELO_FIXTURES", ZAVELO_FIXTURES_DIR);
  if (qEnvironmentVariableIsEmpty("ZAVELO_PYTHON")) qputenv("ZAVELO_PYTHON", ZAVELO_SYSTEM_PYTHON);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

// main() of a Qt Test program: the offscreen platform is chosen before the application exists,
// so a test runs the same from CTest, from a shell with a display, and in CI.
#pragma once

#include <QApplication>
#include <QtTest>

#define MORVIL_QTEST_MAIN(TestClass)                                                                                   \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                                                       \
        QApplication app(argc, argv);                                                                                  \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }

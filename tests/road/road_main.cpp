// morvil_road [--pictures DIR] [Qt Test options]: the road of one certificate. Pictures of each
// program's window at each stage go to DIR (or $MORVIL_ROAD_PICTURES); with MORVIL_ROAD_OUT=DIR
// the request, the authority, the certificates, the list, the client's output and the token's
// state stay in DIR. Runs on the offscreen platform unless a display is given.
#include "road_test.h"

#include <QApplication>
#include <QtTest>

#include <vector>

int main(int argc, char** argv)
{
    QString pictures = qEnvironmentVariable("MORVIL_ROAD_PICTURES");
    std::vector<char*> testArgs;
    for (int i = 0; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--pictures" && i + 1 < argc) {
            pictures = QString::fromLocal8Bit(argv[++i]);
        } else {
            testArgs.push_back(argv[i]);
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int testArgc = static_cast<int>(testArgs.size());
    QApplication app(testArgc, testArgs.data());
    morvil::road::RoadTest road(pictures, qEnvironmentVariable("MORVIL_ROAD_OUT"));
    return QTest::qExec(&road, testArgc, testArgs.data());
}

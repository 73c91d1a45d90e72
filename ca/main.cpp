// morvil_ca: the certificate authority on a token. Its store is ~/.morvil_ca, which is the working
// directory while it runs: every authority's directory lies directly in it.
#include "ca_start.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return runCa();
}

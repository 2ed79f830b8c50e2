#include "wiltool.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    // Images are decoded, drawn and loaded through QImage alone, which needs no platform plugin;
    // a GUI application would also print its own start-up warnings on stderr, where scripts
    // expect exactly one line per failure.
    QCoreApplication app(argc, argv);
    return wiltool::run(QCoreApplication::arguments().mid(1));
}

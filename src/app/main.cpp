#include "CVelkorApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velkor"));
    QApplication::setApplicationVersion(QStringLiteral(VELKOR_VERSION));
    CVelkorApp velkorApp;
    return velkorApp.InitInstance();
}

// Vexarium: the program's entry point.
#include <QApplication>

#include "ui/app/vexariumapp.h"
#include "platform/sysutil.h"
#include "platform/util/filewrite.h"
#include "windows/fonts.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    vex::UseCNumericLocale();
    vex::InstallFontSubstitutions();
    vex::SweepStaleTemporaries();
    CVexariumApp app;
    if (!app.InitInstance()) return 1;
    QObject::connect(app.MainFrame(), &CMainFrame::closed, &qapp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    return qapp.exec();
}

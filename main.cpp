// Vexarium: the program's entry point.
#include <QApplication>
#include <QMainWindow>

#include "platform/sysutil.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    vex::UseCNumericLocale();
    QMainWindow frame;
    frame.setWindowTitle("Vexarium");
    frame.resize(1024, 700);
    frame.show();
    return app.exec();
}

// The program's main block: the application, the main window, the event loop.
#include "F_Duble.h"
#include "QtBinding.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const TQtBinding binding;
    TForm1 Form1;
    Form1.show();
    return application.exec();
}

#include "main_window/application_setup.h"
#include "main_window/dct_window.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quadrel::ConfigureApplication(app);
    quadrel::DCT window;
    window.show();
    return QApplication::exec();
}

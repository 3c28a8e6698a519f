// The program's entry: the application title and version record, Qt's translations
// under a Russian locale (QApplication has set the C library's locale from the
// environment, which the message catalogs follow too), the main window
// (whose creation searches for the sign), then the message loop until it closes.
#include "appinfo.h"
#include "tcomsetupfrm.h"
#include "tform1.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    appinfo::configureApplication(app);
    appinfo::installQtTranslations(app);
    InstallComSetupDialog();

    TForm1 form;
    form.showCentered();
    return QApplication::exec();
}

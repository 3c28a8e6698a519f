// The program's entry: the application title and version record, Qt's translations
// under a Russian locale (QApplication has set the C library's locale from the
// environment, which the message catalogs follow too), the main window
// (whose creation searches for the sign), then the message loop until it closes.
#include "appinfo.h"
#include "tcomsetupfrm.h"
#include "tform1.h"

#include <QApplication>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

int main(int argc, char** argv) {
#ifdef Q_OS_WIN
    // A named mutex by which the installer and the uninstaller see that the program
    // runs (it holds the port and its own files); Windows drops it when the process ends.
    CreateMutexW(nullptr, FALSE, L"Global\\ru.zemta.Stela");
#endif
    QApplication app(argc, argv);
    appinfo::configureApplication(app);
    appinfo::installQtTranslations(app);
    InstallComSetupDialog();

    TForm1 form;
    form.showCentered();
    return QApplication::exec();
}

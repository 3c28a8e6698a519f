// The program's entry: the application title and version record, Qt's translations
// under a Russian locale (QApplication has set the C library's locale from the
// environment, which the message catalogs follow too), the main window
// (whose creation searches for the sign), then the message loop until it closes.
#include "appinfo.h"
#include "errorreport.h"
#include "runningmark.h"
#include "sessionend.h"
#include "tcomsetupfrm.h"
#include "tform1.h"

#include <QApplication>
#include <QMetaObject>

int main(int argc, char** argv) {
    // First of all: the installer must see the program while its files are in use
    // (it holds the port, too); it is not started while the installer works.
    const runningmark::ProgramMark mark;
    QApplication app(argc, argv);
    appinfo::configureApplication(app);
    appinfo::installQtTranslations(app);
    if (mark.installerAtWork()) {
        errorreport::showMessage(QStringLiteral(
            "Идёт установка или удаление программы. Запустите её после окончания установки."));
        return 3;
    }
    InstallComSetupDialog();

    TForm1 form;
    // At the session's end the window closes its port (after the running write's
    // current frame) before the system ends the process.
    const sessionend::Watch sessionWatch(L"Идёт запись цен на стелу", [&form] {
        QMetaObject::invokeMethod(&form, [&form] { form.endSession(); }, Qt::QueuedConnection);
    });
    form.showCentered();
    return QApplication::exec();
}

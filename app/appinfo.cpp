#include "appinfo.h"

#include <QApplication>
#include <QFontDatabase>

namespace appinfo {

void configureApplication(QApplication& app) {
    // The title is the application's name. Set as Qt's display name it would also be
    // appended to the main window's caption on X11, which must read as it stands.
    QCoreApplication::setApplicationName(kApplicationTitle);
    QCoreApplication::setOrganizationName(kCompanyName);
    QCoreApplication::setApplicationVersion(kProductVersion);
    app.setProperty("fileVersion", kFileVersion);
    app.setProperty("comment", kComment);
    app.setProperty("language", kLanguage);
}

QString availableFamily(const QStringList& families) {
    for (const QString& family : families)
        if (QFontDatabase::hasFamily(family))
            return family;
    return families.isEmpty() ? QString() : families.last();
}

QFont font(const QStringList& families, int pixelSize) {
    QFont f(availableFamily(families));
    f.setPixelSize(pixelSize);
    return f;
}

} // namespace appinfo

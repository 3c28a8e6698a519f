#include "appinfo.h"

#include "catalog.h"

#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QPainter>
#include <QPixmap>
#include <QTranslator>

namespace appinfo {

namespace {
// The program's icon: a small price sign, green digits on black, drawn at start-up so
// the program needs no image files.
QIcon signIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::black);
        painter.setPen(QPen(QColor(160, 160, 160), size / 16.0));
        painter.drawRoundedRect(QRectF(0.5, 0.5, size - 1, size - 1), size / 8.0, size / 8.0);
        QFont digits(availableFamily(kArial));
        digits.setBold(true);
        digits.setPixelSize(size * 5 / 8);
        painter.setFont(digits);
        painter.setPen(QColor(0, 255, 0));
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("95"));
        icon.addPixmap(pixmap);
    }
    return icon;
}
} // namespace

void configureApplication(QApplication& app) {
    // The title is the application's name. Set as Qt's display name it would also be
    // appended to the main window's caption on X11, which must read as it stands.
    QCoreApplication::setApplicationName(kApplicationTitle);
    QCoreApplication::setOrganizationName(kCompanyName);
    QCoreApplication::setApplicationVersion(kProductVersion);
    app.setProperty("fileVersion", kFileVersion);
    app.setProperty("comment", kComment);
    app.setProperty("language", kLanguage);
    QGuiApplication::setDesktopFileName(kApplicationId);
    QApplication::setWindowIcon(signIcon());
}

bool installQtTranslations(QApplication& app) {
    // Qt's texts follow the language the port's texts were given, so that a window never
    // mixes Qt's texts in one language with English ones of ours: none when those stay
    // untranslated.
    const std::string language = catalog::messagesLanguage();
    if (language.empty())
        return false;
    // Qt's translations folder, else "translations" beside the program (a copy of the
    // program that carries Qt with it, as on Windows).
    const QString file = QStringLiteral("qtbase_") + QString::fromStdString(language);
    auto* translator = new QTranslator(&app);
    if ((!translator->load(file, QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
         !translator->load(file, QCoreApplication::applicationDirPath() +
                                     QStringLiteral("/translations"))) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
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

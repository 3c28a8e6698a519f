#pragma once
// The application's identity: its title (the caption of every message box), its version
// record, and the fonts the window asks for with their stand-ins on systems without them.

#include <QFont>
#include <QString>
#include <QStringList>

class QApplication;

namespace appinfo {

inline const QString kApplicationTitle =
    QStringLiteral("ЗЕМТА - управление стелой с прошивкой M405");
inline const QString kCompanyName = QStringLiteral("ЗЕМТА");
inline const QString kComment = QStringLiteral("ЗЕМТА - управление стелой");
inline const QString kFileVersion = QStringLiteral(ZEMTA_FILE_VERSION);
inline const QString kProductVersion = QStringLiteral(ZEMTA_PRODUCT_VERSION);
inline const QString kLanguage = QStringLiteral("ru-RU, windows-1251");
// The application id: the name of the installed desktop entry, icon and metadata, and
// the desktop file name the window announces, so the desktop groups it with its entry.
inline const QString kApplicationId = QStringLiteral("ru.zemta.Stela");

// Sets the title and the version record on the application object. The file version,
// comment and language, which Qt has no fields for, are kept as properties of the
// application object ("fileVersion", "comment", "language").
void configureApplication(QApplication& app);

// When the port's texts are translated (catalog::messagesLanguage, e.g. Russian: chosen
// from the locale on Linux, from the display language on Windows), loads Qt's own
// translations of that language (qtbase_ru from Qt's translations folder, else from the
// folder "translations" beside the program), so the entries' context menus and the file
// dialog speak it too. Returns whether one was installed; when the port's texts stay
// English, or Qt's file is missing, Qt's stay.
bool installQtTranslations(QApplication& app);

// The first of the families that this system has, else the last one.
QString availableFamily(const QStringList& families);
// A font of the given families (first available) and pixel height.
QFont font(const QStringList& families, int pixelSize);

// The window's default font: "MS Sans Serif", or the metric-compatible Liberation Sans.
// On Windows "MS Sans Serif" is a bitmap font that does not scale with the display;
// its TrueType twin "Microsoft Sans Serif" has the same metrics.
#ifdef Q_OS_WIN
inline const QStringList kSansSerif = {QStringLiteral("Microsoft Sans Serif"),
                                       QStringLiteral("Liberation Sans")};
#else
inline const QStringList kSansSerif = {QStringLiteral("MS Sans Serif"),
                                       QStringLiteral("Liberation Sans")};
#endif
// The display labels' font: Arial, or Liberation Sans, which has Arial's metrics.
inline const QStringList kArial = {QStringLiteral("Arial"), QStringLiteral("Liberation Sans")};

} // namespace appinfo

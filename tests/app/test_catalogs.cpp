// The Russian catalog of the text domain "cport": the port's errors and the setup
// dialog's captions in Russian under a Russian messages locale, English under another
// locale or without the catalog; Qt's texts follow the port's, the box's OK does not.

#include "windowtesting.h"

#include "appinfo.h"
#include "catalog.h"
#include "ecomport.h"
#include "ptyfixture.h"
#include "tcomcombobox.h"
#include "tcomsetupfrm.h"

#include <QGroupBox>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

// Messages in a language while it lives: $LANGUAGE over the C.UTF-8 locale, which every
// Debian system has (ru_RU.UTF-8 only where generated); gettext chooses as under
// LANG=ru_RU.UTF-8. gettext drops what it found only when the locale's name changes,
// so the locale passes through "POSIX" on the way.
class MessagesLocale {
public:
    explicit MessagesLocale(const char* language)
        : language_("LANGUAGE", QString::fromLatin1(language)),
          previous_(std::setlocale(LC_ALL, nullptr)) {
        std::setlocale(LC_ALL, "POSIX");
        EXPECT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
    }
    ~MessagesLocale() {
        std::setlocale(LC_ALL, "POSIX");
        std::setlocale(LC_ALL, previous_.c_str());
    }

private:
    ScopedEnv language_;
    std::string previous_;
};

QString openError() {
    return QString::fromUtf8(EComPort(CError_OpenFailed, 2).what());
}

QStringList captions(const TComSetupFrm& d) {
    return {d.windowTitle(),   d.GroupBox1->title(), d.Label1->text(), d.Label2->text(),
            d.Label3->text(),  d.Label4->text(),     d.Label5->text(), d.Label6->text(),
            d.Button1->text(), d.Button2->text()};
}

const QString kEnglishOpenError = "Unable to open com port (win error code: 2)";
const QStringList kEnglishCaptions = {"Setup",     " Settings ", "Port",   "Baud rate",
                                      "Data bits", "Stop bits",  "Parity", "Flow control",
                                      "OK",        "Cancel"};

class Catalogs : public ::testing::Test {
protected:
    void SetUp() override { ports_.addSilent(1); } // the dialog lists at least one port
    PtyPorts ports_;
};

TEST_F(Catalogs, RussianLocaleTranslatesEveryPortErrorAndTheDialogCaptionsWhichFit) {
    ScopedEnv catalogs("ZEMTA_LOCALEDIR", ZEMTA_BUILD_LOCALEDIR);
    MessagesLocale russian("ru");

    EXPECT_EQ(openError(), "Не удалось открыть COM-порт (код ошибки системы: 2)");
    EXPECT_EQ(QString::fromUtf8(EComPort(CError_StoreFailed).what()),
              "Не удалось сохранить настройки");
    for (int code = CError_OpenFailed; code <= CError_DriverHeld; ++code) {
        const QString text = QString::fromUtf8(EComPort(code, 5).what());
        EXPECT_FALSE(text.startsWith(QLatin1String(EComPort::CodeText(code))))
            << text.toStdString();
        EXPECT_TRUE(text.endsWith(" (код ошибки системы: 5)")) << text.toStdString();
    }

    TComSetupFrm dialog;
    EXPECT_EQ(captions(dialog),
              (QStringList{"Настройка порта", " Параметры ", "Порт", "Скорость", "Число бит",
                           "Стоп-биты", "Чётность", "Поток", "OK", "Отмена"}));
    const QLabel* labels[] = {dialog.Label1, dialog.Label2, dialog.Label3,
                              dialog.Label4, dialog.Label5, dialog.Label6};
    const auto lists = dialog.Lists();
    for (std::size_t i = 0; i < lists.size(); ++i) // each text ends before its list
        EXPECT_LT(labels[i]->x() + labels[i]->fontMetrics().horizontalAdvance(labels[i]->text()),
                  lists[i]->x())
            << labels[i]->text().toStdString();
}

TEST_F(Catalogs, OtherLocalesAMissingCatalogAndTheBuildTreeKeepTheEnglishTexts) {
    {
        ScopedEnv catalogs("ZEMTA_LOCALEDIR", ZEMTA_BUILD_LOCALEDIR);
        MessagesLocale german("de");
        EXPECT_EQ(openError(), kEnglishOpenError);
        EXPECT_EQ(captions(TComSetupFrm()), kEnglishCaptions);
    }
    {
        QTemporaryDir empty;
        ScopedEnv noCatalogs("ZEMTA_LOCALEDIR", empty.path());
        MessagesLocale russian("ru");
        EXPECT_EQ(openError(), kEnglishOpenError);
        EXPECT_EQ(captions(TComSetupFrm()), kEnglishCaptions);
    }
    // No folder set: the build tree has no share/locale beside its bin/.
    MessagesLocale russian("ru");
    EXPECT_EQ(openError(), kEnglishOpenError);
}

TEST_F(Catalogs, QtTextsFollowThePortTextsLanguageWhileTheMessageBoxOkStays) {
    ScopedEnv catalogs("ZEMTA_LOCALEDIR", ZEMTA_BUILD_LOCALEDIR);
    {
        MessagesLocale german("de");
        EXPECT_FALSE(appinfo::installQtTranslations(*qApp));
    }
    {
        QTemporaryDir empty; // the port's texts stay English, and so do Qt's
        ScopedEnv noCatalogs("ZEMTA_LOCALEDIR", empty.path());
        MessagesLocale russian("ru");
        EXPECT_FALSE(appinfo::installQtTranslations(*qApp));
    }
    // The whole list counts: there is no German catalog, so both speak Russian.
    MessagesLocale germanThenRussian("de:ru");
    EXPECT_EQ(openError(), "Не удалось открыть COM-порт (код ошибки системы: 2)");
    ASSERT_TRUE(appinfo::installQtTranslations(*qApp)) << "qtbase_ru.qm not found";
    EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Copy"), "&Копировать");

    errorreport::setMessagePresenter({});
    QString ok;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        ok = box->button(QMessageBox::Ok)->text();
        box->button(QMessageBox::Ok)->click();
    });
    errorreport::showMessage("Эффекты включены");
    EXPECT_EQ(ok, "OK");
    qDeleteAll(qApp->findChildren<QTranslator*>()); // a deleted translator is removed
}

} // namespace

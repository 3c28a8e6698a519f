// The Russian catalog of the text domain "cport" as the program finds it: the serial
// port's errors and the setup dialog's captions under a Russian messages locale, the
// English texts under any other locale or without the catalog; Qt's own texts follow
// the locale, the message box's OK does not.

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

const QString kBuildCatalogs = QStringLiteral(ZEMTA_BUILD_LOCALEDIR);

// Messages in a language for the object's lifetime. The locale is C.UTF-8, which every
// Debian system has (ru_RU.UTF-8 exists only where it was generated), with $LANGUAGE
// naming the language: gettext then chooses as it does under LANG=ru_RU.UTF-8. A
// language of nullptr means the "C" locale, where gettext translates nothing.
// gettext keeps the translations it found until the locale changes, and a change of
// $LANGUAGE alone is none; setting the locale to the name it already has is none either,
// so the locale passes through "POSIX" first.
class MessagesLocale {
public:
    explicit MessagesLocale(const char* language)
        : language_("LANGUAGE", QString::fromLatin1(language ? language : "ru")),
          previous_(std::setlocale(LC_ALL, nullptr)) {
        std::setlocale(LC_ALL, "POSIX");
        EXPECT_NE(std::setlocale(LC_ALL, language ? "C.UTF-8" : "C"), nullptr);
    }
    ~MessagesLocale() {
        std::setlocale(LC_ALL, "POSIX");
        std::setlocale(LC_ALL, previous_.c_str());
    }
    MessagesLocale(const MessagesLocale&) = delete;
    MessagesLocale& operator=(const MessagesLocale&) = delete;

private:
    ScopedEnv language_;
    std::string previous_;
};

QString errorText(int code, int systemCode) {
    return QString::fromUtf8(EComPort(code, systemCode).what());
}

QStringList captions(const TComSetupFrm& d) {
    return {d.windowTitle(),   d.GroupBox1->title(), d.Label1->text(), d.Label2->text(),
            d.Label3->text(),  d.Label4->text(),     d.Label5->text(), d.Label6->text(),
            d.Button1->text(), d.Button2->text()};
}

const QStringList kEnglishCaptions = {"Setup",     " Settings ", "Port",   "Baud rate",
                                      "Data bits", "Stop bits",  "Parity", "Flow control",
                                      "OK",        "Cancel"};

class Catalogs : public ::testing::Test {
protected:
    void SetUp() override { ports_.addSilent(1); } // the dialog lists at least one port
    PtyPorts ports_;
};

TEST_F(Catalogs, RussianLocaleTranslatesEveryPortErrorTheSuffixAndTheDialogCaptions) {
    ScopedEnv catalogs("ZEMTA_LOCALEDIR", kBuildCatalogs);
    MessagesLocale russian("ru");
    EXPECT_EQ(catalog::messagesLanguage(), "ru");

    EXPECT_EQ(errorText(CError_OpenFailed, 2),
              "Не удалось открыть COM-порт (код ошибки системы: 2)");
    EXPECT_EQ(QString::fromUtf8(EComPort(CError_StoreFailed).what()),
              "Не удалось сохранить настройки");
    // Every code has its own Russian text.
    QSet<QString> texts;
    for (int code = CError_OpenFailed; code <= CError_RegError; ++code) {
        const QString text = errorText(code, 5);
        EXPECT_TRUE(text.endsWith(" (код ошибки системы: 5)")) << text.toStdString();
        EXPECT_FALSE(text.startsWith(QLatin1String(EComPort::CodeText(code))))
            << "untranslated: " << text.toStdString();
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), CError_RegError);

    TComSetupFrm dialog;
    EXPECT_EQ(captions(dialog),
              (QStringList{"Настройка порта", " Параметры ", "Порт", "Скорость", "Число бит",
                           "Стоп-биты", "Чётность", "Поток", "OK", "Отмена"}));
    // Each label's text ends before the list beside it.
    const QLabel* labels[] = {dialog.Label1, dialog.Label2, dialog.Label3,
                              dialog.Label4, dialog.Label5, dialog.Label6};
    const auto lists = dialog.Lists();
    for (std::size_t i = 0; i < lists.size(); ++i)
        EXPECT_LT(labels[i]->x() + labels[i]->fontMetrics().horizontalAdvance(labels[i]->text()),
                  lists[i]->x())
            << labels[i]->text().toStdString();
}

TEST_F(Catalogs, OtherLocalesAndAMissingCatalogKeepTheEnglishTexts) {
    const QString english = "Unable to open com port (win error code: 2)";
    {
        ScopedEnv catalogs("ZEMTA_LOCALEDIR", kBuildCatalogs);
        MessagesLocale german("de");
        EXPECT_EQ(catalog::messagesLanguage(), "de");
        EXPECT_EQ(errorText(CError_OpenFailed, 2), english);
        EXPECT_EQ(captions(TComSetupFrm()), kEnglishCaptions);
    }
    {
        ScopedEnv catalogs("ZEMTA_LOCALEDIR", kBuildCatalogs);
        MessagesLocale c(nullptr); // $LANGUAGE=ru has no say in the "C" locale
        EXPECT_EQ(catalog::messagesLanguage(), "");
        EXPECT_EQ(errorText(CError_OpenFailed, 2), english);
    }
    {
        QTemporaryDir empty;
        ScopedEnv noCatalogs("ZEMTA_LOCALEDIR", empty.path());
        MessagesLocale russian("ru");
        EXPECT_EQ(errorText(CError_OpenFailed, 2), english);
        EXPECT_EQ(captions(TComSetupFrm()), kEnglishCaptions);
    }
    // The build tree's programs, with no folder set, find no catalog of their own.
    MessagesLocale russian("ru");
    EXPECT_EQ(errorText(CError_OpenFailed, 2), english);
}

TEST_F(Catalogs, QtTextsFollowARussianLocaleWhileTheMessageBoxOkStays) {
    {
        MessagesLocale german("de");
        EXPECT_FALSE(appinfo::installQtTranslations(*qApp));
    }
    MessagesLocale russian("ru");
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

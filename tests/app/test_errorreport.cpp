// The general error report: what it shows for each kind of failure, the "." rule,
// and the default message box.
#include "windowtesting.h"

#include "appinfo.h"
#include "ecomport.h"
#include "sessionend.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>

using errorreport::MessageKind;

TEST(ErrorReport, AppendsADotOnlyAfterACharacterAboveTheDot) {
    const std::pair<QString, QString> cases[] = {
        {"Failed to store settings", "Failed to store settings."},
        {"Unable to open com port (win error code: 2)",
         "Unable to open com port (win error code: 2)"}, // ")" is 0x29
        {"Готово.", "Готово."},                          // "." itself is not above
        {"a-", "a-"},                                    // 0x2D
        {"a/", "a/."},                                   // 0x2F
        {"Ошибка", "Ошибка."},
        {"", ""},
    };
    for (const auto& [message, shown] : cases)
        EXPECT_EQ(errorreport::reportText(message), shown) << message.toStdString();
}

TEST(ErrorReport, GuardReportsEveryKindOfFailureOnceAndGoesOn) {
    MessageRecorder messages;
    EXPECT_FALSE(errorreport::runGuarded([] { throw EComPort(CError_StoreFailed); }));
    EXPECT_FALSE(errorreport::runGuarded([] { throw std::runtime_error("boom"); }));
    EXPECT_FALSE(errorreport::runGuarded([] { throw 42; }));
    EXPECT_TRUE(errorreport::runGuarded([] {}));
    // An operation stopped by the session's end shows nothing: nobody is left to read it.
    EXPECT_FALSE(errorreport::runGuarded([] { throw sessionend::Ending{}; }));

    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.errors()[0], "Failed to store settings.");
    EXPECT_EQ(messages.errors()[1], "boom.");
    EXPECT_FALSE(messages.errors()[2].isEmpty());
}

TEST(ErrorReport, OperationResultsAreShownAsTheyAre) {
    MessageRecorder messages;
    errorreport::showMessage("Эффекты включены");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Result);
    EXPECT_EQ(messages.shown[0].text, "Эффекты включены");
}

TEST(ErrorReport, DefaultBoxIsModalWithTheTitleAnErrorIconAndOneOkButton) {
    errorreport::setMessagePresenter({});
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    qsizetype buttons = 0;
    bool modal = false;
    // Runs inside the box's own event loop, reads it and closes it.
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->buttons().size();
        modal = box->isModal();
        box->button(QMessageBox::Ok)->click();
    });
    errorreport::reportError("Registry error (win error code: 2)");

    EXPECT_EQ(title, appinfo::kApplicationTitle);
    EXPECT_EQ(text, "Registry error (win error code: 2)");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, 1);
    EXPECT_TRUE(modal);
}

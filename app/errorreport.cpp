#include "errorreport.h"

#include "appinfo.h"
#include "catalog.h"
#include "ecomport.h"
#include "sessionend.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <exception>

namespace errorreport {

namespace {

// A message the program could not describe (a failure that carries no text).
const QString kUnknownFailure = QStringLiteral("Неизвестная ошибка");

void showMessageBox(MessageKind kind, const QString& text) {
    QMessageBox box(kind == MessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    appinfo::kApplicationTitle, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    // The button's caption comes from the "default" text domain, whose catalog only
    // could translate it; Qt's own translations, loaded under some locales, must not.
    box.button(QMessageBox::Ok)
        ->setText(QString::fromStdString(catalog::lookup(catalog::kDefaultDomain, "OK")));
    box.exec();
}

MessagePresenter& presenter() {
    static MessagePresenter current = showMessageBox;
    return current;
}

} // namespace

void setMessagePresenter(MessagePresenter p) {
    presenter() = p ? std::move(p) : MessagePresenter(showMessageBox);
}

void showMessage(const QString& text) {
    presenter()(MessageKind::Result, text);
}

QString reportText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void reportError(const QString& message) {
    presenter()(MessageKind::Error, reportText(message));
}

bool runGuarded(const std::function<void()>& operation) noexcept {
    // The report itself must not throw out either: a presenter that fails is the end of
    // what can be told.
    auto report = [](const QString& message) noexcept {
        try {
            reportError(message);
        } catch (...) {
        }
    };
    try {
        operation();
        return true;
    } catch (const sessionend::Ending&) {
        // The session ends: the operation stopped on purpose, and nobody is left to read
        // a box.
        return false;
    } catch (const EComPort& e) {
        report(QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
        const QString what = QString::fromUtf8(e.what());
        report(what.isEmpty() ? kUnknownFailure : what);
    } catch (...) {
        report(kUnknownFailure);
    }
    return false;
}

} // namespace errorreport

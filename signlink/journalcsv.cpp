// The price journal as a CSV file for Excel.
#include "journalcsv.h"

#include <QStringList>

namespace journal {

QString csvCell(QString text) {
    if (!text.isEmpty() && QStringLiteral("=+@").contains(text.front()))
        text.prepend(QLatin1Char('\''));
    if (text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('"')) ||
        text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
               QLatin1Char('"');
    return text;
}

QByteArray csvBytes(const std::vector<const Record*>& records, const Describer& describe) {
    QByteArray out = "\xEF\xBB\xBF";
    const auto line = [&](const QStringList& cells) {
        QStringList escaped;
        for (const QString& cell : cells)
            escaped << csvCell(cell);
        out += escaped.join(QLatin1Char(';')).toUtf8() + "\r\n";
    };
    line({QStringLiteral("Время"), QStringLiteral("Компьютер"), QStringLiteral("Пользователь"),
          QStringLiteral("Программа"), QStringLiteral("Версия"), QStringLiteral("Порт"),
          QStringLiteral("Событие"), QStringLiteral("Описание")});
    for (const Record* record : records)
        line({record->time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
              record->text("host"), record->text("user"), record->text("program"),
              record->text("version"), record->text("port"), record->event,
              describe(*record)});
    return out;
}

} // namespace journal

// A process that appends records to a price journal as fast as it can, so that tests can
// run several at once: journal_writer FILE COUNT PORT.
#include "journal.h"

#include <QString>

#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    journal::Journal journal(QString::fromLocal8Bit(argv[1]),
                             {QStringLiteral("journal_writer"), QStringLiteral("1"),
                              QStringLiteral("host"), QStringLiteral("user")});
    const int count = std::atoi(argv[2]);
    for (int i = 0; i < count; ++i)
        journal.command(journal::kBrightness, QString::fromLocal8Bit(argv[3]), "LM" + QByteArray::number(i % 10),
                        true, QStringLiteral("Установлена ручная яркость: %1").arg(i % 10));
    return journal.healthy() ? 0 : 1;
}

#pragma once
// A large price journal made up in memory: records as the journal writes them, chained
// by the SHA-256 of the line before, at a fixed step from a given moment. The window's
// journal tests and the bench open it; writing 100,000 records through the journal itself
// would flush the disk 100,000 times and stamp them all with the same minute.
//
// The records cycle through a price write (started, then its result: row 1 changes
// price), an observation (row 2 changed on the sign's keypad), a brightness and an
// effect command.

#include "journal.h"

#include <QByteArray>
#include <QDateTime>

namespace journalsample {

// A panel state as stored: price characters, the third again, grade code '3', flags 0x30.
inline QByteArray state(const QByteArray& price) {
    return price + price.right(1) + "30";
}

// The price of row `row` after `n` changes.
inline QByteArray priceAt(int row, int n) {
    return QByteArray::number(400 + (row * 37 + n) % 500);
}

struct Options {
    int count = 100000;
    QDateTime first = QDateTime(QDate(2026, 1, 1), QTime(8, 0), Qt::OffsetFromUTC, 3 * 3600);
    int stepSeconds = 300;
};

// The time of record `i` (0-based) as stored.
inline QDateTime timeOf(const Options& options, int i) {
    return options.first.addSecs(qint64(i) * options.stepSeconds);
}

inline QByteArray make(const Options& options = {}) {
    QByteArray data;
    data.reserve(qsizetype(options.count) * 700);
    QByteArray previous;
    int writes = 0, observed = 0;
    for (int i = 0; i < options.count; ++i) {
        const int kind = i % 5; // started, result, observed, brightness, effect
        QByteArray fields;
        const QByteArray id = QByteArray::number(0x1000000 + i / 5, 16).rightJustified(16, '0');
        const auto all = [](const auto& price) {
            QByteArray out = "{";
            for (int row = 1; row <= 10; ++row) {
                const QByteArray s = '"' + state(price(row)) + '"';
                out += (row > 1 ? "," : "") + ('"' + QByteArray::number(row) + "\":[" + s + ',' + s + ']');
            }
            return out + '}';
        };
        QByteArray event;
        if (kind == 0) {
            event = "write_started";
            fields = "\"id\":\"" + id + "\",\"before\":" +
                     all([&](int row) { return priceAt(row, row == 1 ? writes : row == 2 ? observed : 0); });
        } else if (kind == 1) {
            ++writes;
            event = "write";
            const QByteArray price = priceAt(1, writes);
            QByteArray frame = "W0" + price + price.right(1) + "30E";
            char sum = 0;
            for (const char c : frame)
                sum = char(sum ^ c);
            frame = (frame + QByteArray(1, sum).toHex().toUpper()).toHex();
            fields = "\"id\":\"" + id + "\",\"sent\":{\"1\":[\"" + frame + "\",\"" + frame +
                     "\"]},\"after\":" + all([&](int row) { return priceAt(row, row == 1 ? writes : row == 2 ? observed : 0); }) +
                     ",\"verdict\":{";
            for (int row = 1; row <= 10; ++row) {
                const QByteArray v = row == 1 ? "\"written\"" : "\"unchanged\"";
                fields += (row > 1 ? "," : "") + ('"' + QByteArray::number(row) + "\":[" + v + ',' + v + ']');
            }
            fields += '}';
        } else if (kind == 2) {
            ++observed;
            event = "observed";
            const QByteArray s = '"' + state(priceAt(2, observed)) + '"';
            fields = "\"shows\":{\"2\":[" + s + ',' + s + "]}";
        } else if (kind == 3) {
            event = "brightness";
            fields = "\"sent\":\"" + QByteArray("LM5").toHex() +
                     "\",\"confirmed\":true,\"answer\":" +
                     journal::asciiJsonString(QStringLiteral("Установлена ручная яркость 5"));
        } else {
            event = "effect";
            fields = "\"sent\":\"7113\",\"confirmed\":true,\"answer\":" +
                     journal::asciiJsonString(QStringLiteral("Эффект установлен"));
        }
        const QByteArray line =
            "{\"time\":\"" + timeOf(options, i).toString(Qt::ISODateWithMs).toLatin1() +
            "\",\"host\":\"azs-17\",\"user\":\"operator\",\"program\":\"zemta-stela\","
            "\"version\":\"1.0.0\",\"port\":\"COM3\",\"event\":\"" + event + "\"," + fields +
            ",\"prev\":" + (i == 0 ? QByteArray("null") : '"' + journal::lineHash(previous) + '"') + '}';
        data += line + '\n';
        previous = line;
    }
    return data;
}

} // namespace journalsample

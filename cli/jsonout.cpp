#include "jsonout.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace cli {

namespace {

using signlink::PanelReply;

// Offsets of the grade code and the flag byte, in a reply and in a write frame alike.
constexpr int kGradeByte = 6;
constexpr int kFlagByte = 7;

QJsonValue gradeName(int index) {
    return index < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(signlink::kGradeNames.at(index));
}

// A panel state from the bytes that carry it: price bytes at 2..4, grade code and flag
// byte at 6 and 7, in a reply as in a frame.
QJsonObject stateOf(const QByteArray& bytes) {
    const auto grade = static_cast<unsigned char>(bytes.at(kGradeByte));
    const auto flags = static_cast<unsigned char>(bytes.at(kFlagByte));
    const int index = grade >= '1' && grade <= '5' ? grade - '1' : -1;
    return {{"price", signlink::signText(bytes.mid(2, 3))},
            {"grade", gradeName(index)},
            {"snowflake", (flags & 0x01) != 0},
            {"euro", (flags & 0x02) != 0},
            {"ok", true},
            {"grade_code", signlink::signText(bytes.mid(kGradeByte, 1))},
            {"flags", int(flags)}};
}

QJsonValue optionalState(const std::optional<QByteArray>& bytes) {
    return bytes ? QJsonValue(stateOf(*bytes)) : QJsonValue(QJsonValue::Null);
}

QJsonObject panelOutcome(const signlink::PanelOutcome& panel) {
    return {{"before", optionalState(panel.before)},
            {"planned", optionalState(panel.planned)},
            {"after", optionalState(panel.after)},
            {"verdict", signlink::verdictWord(panel.verdict)}};
}

QJsonValue holderJson(const std::optional<portholder::Holder>& holder) {
    if (!holder)
        return QJsonValue::Null;
    return QJsonObject{{"program", holder->program}, {"pid", qint64(holder->pid)}};
}

} // namespace

QString asciiJson(const QJsonObject& object) {
    const QString text = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    QString ascii;
    ascii.reserve(text.size());
    // Outside strings JSON is ASCII already; inside them any character may be escaped.
    // UTF-16 code units are exactly what \uXXXX takes, surrogate pairs included.
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            ascii += c;
        else
            ascii += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    while (ascii.endsWith(QLatin1Char('\n')))
        ascii.chop(1);
    return ascii;
}

QJsonObject replyHalf(const PanelReply& reply) {
    if (reply.good())
        return stateOf(reply.bytes);
    return {{"price", QJsonValue::Null},
            {"grade", QJsonValue::Null},
            {"snowflake", false},
            {"euro", false},
            {"ok", false},
            {"grade_code", QJsonValue::Null},
            {"flags", QJsonValue::Null}};
}

QJsonObject readJson(const QString& port, const signlink::SignContents& sign) {
    QJsonArray rows;
    for (int row = 10; row >= 1; --row)
        rows.append(QJsonObject{{"row", row},
                                {"first", replyHalf(sign.panel(row, false))},
                                {"second", replyHalf(sign.panel(row, true))}});
    return {{"port", port}, {"rows", rows}};
}

QJsonObject writeJson(const signlink::WriteOutcome& outcome,
                      const std::optional<portholder::Holder>& heldBy) {
    QJsonArray rows;
    for (int row = 10; row >= 1; --row)
        rows.append(QJsonObject{{"row", row},
                                {"first", panelOutcome(outcome.panel(row, false))},
                                {"second", panelOutcome(outcome.panel(row, true))}});
    return {{"port", outcome.port},
            {"dry_run", outcome.dryRun},
            {"changed", outcome.changed},
            {"rows", rows},
            {"problems", QJsonArray::fromStringList(outcome.problems)},
            {"held_by", holderJson(heldBy)}};
}

QString expectedPrice(const signlink::RowChanges& expected, int row) {
    const auto price = expected.prices.find(row);
    return price != expected.prices.end() ? QString::fromLatin1(price->second)
                                          : QStringLiteral("---");
}

QJsonObject verifyJson(const QString& port, const signlink::SignContents& sign,
                       const signlink::RowChanges& expected, const QStringList& problems) {
    QJsonArray rows;
    for (int row = 10; row >= 1; --row) {
        if (expected.prices.count(row) == 0 && expected.notUsed.count(row) == 0)
            continue;
        const QString price = expectedPrice(expected, row);
        const PanelReply& first = sign.panel(row, false);
        const PanelReply& second = sign.panel(row, true);
        const auto shows = [&](const PanelReply& reply) {
            return reply.good() && signlink::signText(reply.price()) == price;
        };
        rows.append(QJsonObject{{"row", row},
                                {"expected", price},
                                {"first", replyHalf(first)},
                                {"second", replyHalf(second)},
                                {"ok", shows(first) && shows(second)}});
    }
    return {{"port", port},
            {"ok", problems.isEmpty()},
            {"rows", rows},
            {"problems", QJsonArray::fromStringList(problems)}};
}

QJsonObject portFailureJson(const QString& port, const QString& message,
                            const std::optional<portholder::Holder>& heldBy, bool write,
                            bool verify) {
    QJsonObject object{{"port", port},
                       {"rows", QJsonArray()},
                       {"problems", QJsonArray{message}},
                       {"held_by", holderJson(heldBy)}};
    if (write)
        object.insert("changed", false);
    if (verify)
        object.insert("ok", false);
    return object;
}

} // namespace cli

#pragma once
// The JSON objects zemta-sign prints with --json. Their fields are an interface for
// scripts and configuration tools: fields may be added, never renamed or removed.

#include "portholder.h"
#include "readback.h"
#include "rowchange.h"
#include "writeresult.h"

#include <QJsonObject>
#include <QStringList>

#include <optional>

namespace cli {

// An object as zemta-sign prints it: on one line, pure ASCII (every other character as a
// \uXXXX escape), without the final newline.
QString asciiJson(const QJsonObject& object);

// A panel's state from its 14-byte reply: {"price", "grade", "snowflake", "euro", "ok",
// "grade_code", "flags"}; for a reply that is not good, ok is false and the rest null or
// false.
QJsonObject replyHalf(const signlink::PanelReply& reply);

// read --json.
QJsonObject readJson(const QString& port, const signlink::SignContents& sign);

// write --json and write --dry-run --json.
QJsonObject writeJson(const signlink::WriteOutcome& outcome,
                      const std::optional<portholder::Holder>& heldBy);

// verify --json: the rows named in `expected`, rows 10..1.
QJsonObject verifyJson(const QString& port, const signlink::SignContents& sign,
                       const signlink::RowChanges& expected, const QStringList& problems);

// What a --json command prints when the port could not be used: the port, no rows, the
// message as the one problem, and which program holds the port when known; besides,
// write's "changed" (false) and verify's "ok" (false).
QJsonObject portFailureJson(const QString& port, const QString& message,
                            const std::optional<portholder::Holder>& heldBy, bool write,
                            bool verify);

// The price a row is expected to show in verify: its three digits, or "---".
QString expectedPrice(const signlink::RowChanges& expected, int row);

} // namespace cli

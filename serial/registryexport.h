#pragma once
// Setting values in the text of a registry export (the store file of systems without a
// registry, see settingsstore.h). Works on the file's bytes: every byte outside the
// lines of the key being set stays exactly as it was, whatever its encoding (another
// program's values may be in a legacy code page); the lines written are UTF-8.

#include "settingsstore.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace settingsstore {

// The registry export's first line.
inline constexpr const char* kExportHeader = "Windows Registry Editor Version 5.00";

// The export `existing` with `values` set in the key `key` (its full name, e.g.
// HKEY_LOCAL_MACHINE\Software\ZEMTA\ComPort) as importing it into a registry would
// leave them:
// - a value the key holds is replaced where it stands (value names are compared
//   without regard to case and keep their spelling), a value it lacks is added after
//   its others in the order given, a later duplicate of one of them goes;
// - a key given more than once is one key: later copies are merged into the first;
// - a "[-key]" line (deleting the key or one of its parents) stays where it is; copies
//   of the key before the last such line are deleted on import and stay as they are,
//   and when no copy follows it, the key is added at the end of the file.
// Empty bytes (or only blanks) give a new export. None when the bytes are no export
// this store may rewrite: not beginning with the header line (after blank lines and a
// UTF-8 byte order mark), holding NUL bytes (UTF-16 and other wide encodings), or a
// carriage return that does not end a line together with a line feed.
std::optional<QByteArray> setValuesInExport(const QByteArray& existing, const QString& key,
                                            const std::vector<StoredValue>& values);

} // namespace settingsstore

#pragma once
// The price journal as a CSV file that Russian Excel opens as it stands: UTF-8 with a
// BOM, ';' between cells, CRLF line ends, one line per record in the order given.
// zemta-sign journal --csv and the window's "Журнал цен" write the same bytes.

#include "journal.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace journal {

// A CSV cell for Excel: quoted when it holds a separator, a quote or a line break; a
// text that Excel would take for a formula keeps its first character as text.
QString csvCell(QString text);

// The file's bytes: a header line, then each record (time in local time, computer,
// user, program, version, port, event, the operator's description).
QByteArray csvBytes(const std::vector<const Record*>& records, const Describer& describe);

} // namespace journal

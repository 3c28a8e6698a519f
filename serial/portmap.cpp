#include "portmap.h"

namespace portmap {

int comNumber(const QString& port) {
    // Device names ignore letter case: "com5" and "Com5" name COM5 as well.
    if (!port.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) || port.size() < 4 ||
        port.size() > 6)
        return 0;
    const QString digits = port.mid(3);
    if (digits.front() == QLatin1Char('0'))
        return 0;
    int n = 0;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        n = n * 10 + (c.unicode() - '0');
    }
    return n <= kMaxComNumber ? n : 0;
}

} // namespace portmap

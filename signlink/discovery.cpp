#include "discovery.h"

namespace signlink {

namespace {

const QString kSearchStart = QStringLiteral("--- Поиск табло --- ");
const QByteArray kProbe = QByteArrayLiteral("R0E");
constexpr int kLastPort = 255;

// A probe reply is taken when it begins "T0"; a failed probe left "===========" there.
bool answersT0(const QByteArray& reply) {
    return reply.startsWith("T0");
}

} // namespace

QString probeAllPorts(SignLink& link) {
    TCustomComPort& port = link.port();
    QString found;
    link.log(kSearchStart);

    for (int n = 1; n <= kLastPort; ++n) {
        const QString name = QStringLiteral("COM") + QString::number(n);
        // Absent ports, ports held by someone else and refused opens are skipped
        // without a trace. Changing the name closes the previous port if it is open.
        try {
            port.SetPort(name);
            port.Open();
        } catch (...) {
            continue;
        }

        // From here on a failure is a real fault of an opened port and ends the search.
        port.SetBaudRate(br19200);
        port.Open();
        port.PurgeQueues(true, true);
        port.SendText(kProbe);
        link.log(kSent + signText(kProbe));
        link.pollDiscoveryProbe();
        if (answersT0(link.replyBuffer()))
            found = name; // a later answering port replaces an earlier one
    }
    return found;
}

void runDiscovery(SignLink& link, const DiscoveryView& view) {
    const QString found = probeAllPorts(link);
    if (found.isEmpty()) {
        if (view.showMessage)
            view.showMessage(kNotFoundMessage);
        return;
    }
    if (view.showMessage)
        view.showMessage(kFoundMessage + found);
    link.port().SetPort(found);
    link.port().Open();
    if (view.setStatusText)
        view.setStatusText(kWorkingOn + found);
}

} // namespace signlink

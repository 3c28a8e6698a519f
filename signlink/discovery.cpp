#include "discovery.h"

#include "accesshint.h"
#include "ecomport.h"
#include "portmap.h"

namespace signlink {

namespace {

const QString kSearchStart = QStringLiteral("--- Поиск табло --- ");
const QByteArray kProbe = QByteArrayLiteral("R0E");
constexpr int kLastPort = 255;

// A probe reply is taken when it begins "T0"; a failed probe left "===========" there.
bool answersT0(const QByteArray& reply) {
    return reply.startsWith("T0");
}

bool refusedForLackOfRights(const EComPort& e) {
    return e.ErrorCode() == CError_OpenFailed && accesshint::lackOfRights(e.SystemCode());
}

} // namespace

PortSearch searchPorts(SignLink& link) {
    const OperationTiming timing;
    TCustomComPort& port = link.port();
    PortSearch search;
    link.log(kSearchStart);

    for (int n = 1; n <= kLastPort; ++n) {
        const QString name = QStringLiteral("COM") + QString::number(n);
        // Absent ports, ports held by someone else and refused opens are skipped
        // without a trace. Changing the name closes the previous port if it is open.
        // The first refusal for lack of rights is remembered for the hint.
        try {
            port.SetPort(name);
            port.Open();
        } catch (const EComPort& e) {
            if (search.refusedDevice.isEmpty() && refusedForLackOfRights(e))
                search.refusedDevice = QString::fromStdString(portmap::devicePath(name));
            continue;
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
            search.found = name; // a later answering port replaces an earlier one
    }
    return search;
}

QString probeAllPorts(SignLink& link) {
    const OperationTiming timing;
    return searchPorts(link).found;
}

QString serialAccessHint(const PortSearch& search) {
    if (!search.found.isEmpty() || search.refusedDevice.isEmpty())
        return {};
    return accesshint::text(search.refusedDevice);
}

void runDiscovery(SignLink& link, const DiscoveryView& view) {
    const OperationTiming timing;
    const PortSearch search = searchPorts(link);
    const QString& found = search.found;
    if (found.isEmpty()) {
        if (view.showMessage) {
            view.showMessage(kNotFoundMessage);
            if (const QString hint = serialAccessHint(search); !hint.isEmpty())
                view.showMessage(hint);
        }
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

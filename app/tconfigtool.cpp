#include "app/tconfigtool.h"

#include "config/tswarmfile.h"
#include "headless/tconsole.h"
#include "link/tendpointtext.h"
#include "link/tlinknames.h"
#include "link/tserialports.h"

#include <QCoreApplication>
#include <QHash>

namespace {
// What two links of one relay cannot both hold: a local address and port,
// a group and port, a serial port. The relay refuses the second on Connect;
// the check says it first.
QString claimOf(const IOHandler::DeviceInfo &d)
{
    switch (d.conType) {
    case IOHandler::UdpUnicast:
        return QStringLiteral("udp %1").arg(
            TEndpointText::address(d.udp.localAddr, d.udp.localPort));
    case IOHandler::TcpServer:
        return QStringLiteral("tcp %1").arg(
            TEndpointText::address(d.udp.localAddr, d.udp.localPort));
    case IOHandler::UdpMulticast:
        return QStringLiteral("group %1")
            .arg(TEndpointText::address(d.udp.localAddr, d.udp.localPort));
    case IOHandler::Serial:
        return QStringLiteral("serial port %1").arg(TSerialPorts::deviceName(d.serial.portName));
    default:
        return QString();
    }
}
} // namespace

int TConfigTool::write(const TRunOptions &options)
{
    TSwarmFile::Plan plan;
    plan.kind = IOHandler::ConType(options.kind);
    plan.vehicles = options.vehicles;
    plan.basePort = options.basePort;
    plan.stride = options.portStride;
    QString error;
    if (!TSwarmFile::write(options.configFile, plan, error)) {
        TConsole::errorLine(QCoreApplication::applicationName() + QStringLiteral(": ") + error);
        return TRunOptions::usageExitCode;
    }
    return 0;
}

int TConfigTool::check(const TRunOptions &options)
{
    const QString &path = options.configFile;
    const TSwarmFile file = TSwarmFile::read(path, options.vehicles);
    if (file.status != TSwarmFile::Status::Read) {
        TConsole::outputLine(TSwarmFile::statusLine(path, file.status));
        if (!TSwarmFile::runsOn(file.status))
            return invalidExitCode;
    }
    bool valid = file.problems.isEmpty();
    for (const TSettingsProblem &problem : file.problems)
        TConsole::outputLine(problem.line(path));
    QHash<QString, int> claimedBy;
    for (const TSwarmFile::Link &link : file.links) {
        const QString name = TLinkNames::shortName(link.id);
        if (!link.problems.isEmpty()) {
            valid = false;
            for (const TSettingsProblem &problem : link.problems)
                TConsole::outputLine(name + QStringLiteral(" refused: ") + problem.line(path));
            continue;
        }
        const IOHandler::DeviceInfo device = link.values.device();
        const QString claim = claimOf(device);
        // A TCP client holds nothing of its own.
        if (!claim.isEmpty() && claimedBy.contains(claim)) {
            valid = false;
            TConsole::outputLine(QStringLiteral("%1 refused: %2 [%3]: %4 is already used by %5")
                                     .arg(name, TSettingsProblem::fileName(path), link.group, claim,
                                          TLinkNames::shortName(claimedBy.value(claim))));
            continue;
        }
        claimedBy.insert(claim, link.id);
        TConsole::outputLine(name + QLatin1Char(' ') + TEndpointText::of(device));
    }
    return valid ? 0 : invalidExitCode;
}

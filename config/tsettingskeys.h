#pragma once

#include <QString>

// The keys of a link's group in the settings file, spelled once for the
// reader, the writer and the checks that name them in their refusals.
namespace TSettingsKeys {
inline const QString conType = QStringLiteral("ConType");
inline const QString serialPortName = QStringLiteral("SerialPortName");
inline const QString localIp = QStringLiteral("LocalIp");
inline const QString localPort = QStringLiteral("LocalPort");
inline const QString localIpGroup = QStringLiteral("LocalIpGroup");
inline const QString localPortGroup = QStringLiteral("LocalPortGroup");
inline const QString remoteIp = QStringLiteral("RemoteIp");
inline const QString remotePort = QStringLiteral("RemotePort");
inline const QString udpNetInterface = QStringLiteral("UdpNetInterface");
inline const QString loopBack = QStringLiteral("LoopBack");
inline const QString baudRate = QStringLiteral("BaudRate");
inline const QString dataBits = QStringLiteral("DataBits");
inline const QString stopBits = QStringLiteral("StopBits");
inline const QString parity = QStringLiteral("Parity");
inline const QString autoReconnect = QStringLiteral("AutoReconnect");
inline const QString fixedPeer = QStringLiteral("FixedPeer");
// Groups and keys of the file as a whole.
inline const QString windowGroup = QStringLiteral("Window");
inline const QString vehicles = QStringLiteral("Vehicles");
inline const QString swarmGroup = QStringLiteral("Swarm");
inline const QString portStride = QStringLiteral("PortStride");
} // namespace TSettingsKeys

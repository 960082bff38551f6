#include "PrivateBus.h"

#include "WaitUntil.h"

#include <QFile>

namespace tw {

PrivateBus::PrivateBus()
{
    QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return;
    config.write("<busconfig><type>session</type><listen>unix:dir=" + m_dir.path().toUtf8()
                 + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
                   "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>");
    config.close();
    const QString address = startAndReadLine(
        m_daemon, QStringLiteral("dbus-daemon"),
        {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
         QStringLiteral("--print-address=1")});
    if (address.startsWith(QLatin1String("unix:")))
        m_address = address;
}

PrivateBus::~PrivateBus()
{
    stopProcess(m_daemon);
}

QString startAndReadLine(QProcess &process, const QString &program, const QStringList &arguments)
{
    process.start(program, arguments);
    QByteArray line;
    waitUntil([&] {
        line += process.readAllStandardOutput();
        return line.contains('\n') || process.state() == QProcess::NotRunning;
    }, 15000);
    return line.contains('\n') ? QString::fromUtf8(line).trimmed() : QString();
}

void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished();
}

} // namespace tw

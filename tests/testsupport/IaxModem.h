#pragma once

// A third-party IAX2 peer: a modem emulator driven through its pty with AT
// commands. Its configuration lives in /etc/iaxmodem, so its tests need root
// (as CI has) and skip visibly otherwise.

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace iaxmodem {

inline const QString kConfigDir = QStringLiteral("/etc/iaxmodem");

inline quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// One modem process with a configuration of its own; removed again on exit.
class Modem
{
public:
    Modem(quint16 modemPort, quint16 enginePort, const QString &codec = QStringLiteral("ulaw"))
    {
        m_name = QStringLiteral("quor-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(modemPort);
        m_device = m_dir.filePath(QStringLiteral("ttyIAX"));
        QFile config(kConfigDir + QLatin1Char('/') + m_name);
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write(QStringLiteral("device %1\nowner root:root\nmode 600\nport %2\nrefresh 0\n"
                                    "server 127.0.0.1:%3\npeername modem\nsecret none\n"
                                    "cidname Modem Line\ncidnumber 5551234\ncodec %4\n")
                         .arg(m_device, QString::number(modemPort), QString::number(enginePort), codec)
                         .toUtf8());
        config.close();
        m_process.setProgram(QStandardPaths::findExecutable(QStringLiteral("iaxmodem")));
        m_process.setArguments({ m_name });
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start();
    }

    ~Modem()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        QFile::remove(kConfigDir + QLatin1Char('/') + m_name);
    }

    bool openPty()
    {
        if (m_fd < 0 && QFileInfo::exists(m_device))
            m_fd = ::open(QFile::encodeName(m_device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return false;
        // Raw, or the line discipline echoes the modem's own output back to it.
        termios tio;
        tcgetattr(m_fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(m_fd, TCSANOW, &tio);
        return true;
    }

    void command(const QByteArray &text)
    {
        if (m_fd >= 0 && ::write(m_fd, text.constData(), size_t(text.size())) < 0)
            qWarning("cannot write to the modem");
    }

    // Everything the modem printed so far.
    QByteArray output()
    {
        char buf[256];
        ssize_t n;
        while (m_fd >= 0 && (n = ::read(m_fd, buf, sizeof buf)) > 0)
            m_output.append(buf, int(n));
        return m_output;
    }

    QString log() { return QString::fromLocal8Bit(m_process.readAll()); }

private:
    QTemporaryDir m_dir;
    QString m_name;
    QString m_device;
    QProcess m_process;
    int m_fd = -1;
    QByteArray m_output;
};

// Why the modem cannot run here, or an empty text when it can.
inline QString unavailableReason()
{
    if (QStandardPaths::findExecutable(QStringLiteral("iaxmodem")).isEmpty())
        return QStringLiteral("iaxmodem is not installed: the interoperability test did not run");
    if (!QFileInfo(kConfigDir).isDir() || !QFileInfo(kConfigDir).isWritable())
        return QStringLiteral("/etc/iaxmodem is not writable (needs root): the interoperability test did not run");
    return QString();
}

} // namespace iaxmodem

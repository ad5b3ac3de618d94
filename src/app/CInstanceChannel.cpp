#include "CInstanceChannel.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

namespace {

// A path is far shorter; anything longer is not a later start of ours.
constexpr qint64 kMaxLine = 64 * 1024;

}  // namespace

CInstanceChannel::CInstanceChannel(const QString& socketPath, QObject* parent) : QObject(parent), m_path(socketPath) { }

CInstanceChannel::~CInstanceChannel()
{
    if (m_server)
        m_server->close();  // removes the socket file
}

bool CInstanceChannel::Listen()
{
    m_server = new QLocalServer(this);
    // Only this user's own starts may hand over files.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(m_path);
    if (!m_server->listen(m_path))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceChannel::OnConnection);
    return true;
}

void CInstanceChannel::OnConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        if (socket->bytesAvailable() > 0)
            OnReadyRead(socket);
    }
}

void CInstanceChannel::OnReadyRead(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxLine)
            socket->abort();
        return;
    }
    QByteArray line = socket->readLine(kMaxLine);
    if (line.endsWith('\n'))
        line.chop(1);
    socket->write("ok\n");
    socket->flush();
    socket->disconnectFromServer();
    emit Received(QString::fromUtf8(line));
}

bool CInstanceChannel::HandOver(const QString& socketPath, const QString& file, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(int(std::max<qint64>(deadline.remainingTime(), 1))))
            break;
        // The running copy may be between taking the lock and listening.
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    socket.write(file.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(int(std::max<qint64>(deadline.remainingTime(), 1))))
        return false;
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1))))
            return false;
    }
    return socket.readLine().startsWith("ok");
}

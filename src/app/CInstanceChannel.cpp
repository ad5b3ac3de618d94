#include "CInstanceChannel.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include "CLogFile.h"
#include "HandOverLine.h"

CInstanceChannel::CInstanceChannel(const QString& socketPath, QObject* parent) : QObject(parent), m_path(socketPath) { }

CInstanceChannel::~CInstanceChannel()
{
    if (m_server)
        m_server->close();  // removes the socket file
}

bool CInstanceChannel::Listen()
{
    if (!m_watch) {
        m_watch = new QTimer(this);
        connect(m_watch, &QTimer::timeout, this, &CInstanceChannel::CheckListening);
        m_watch->start(kWatchMs);
    }
    delete m_server;
    m_server = new QLocalServer(this);
    // Only this user's own starts may hand over files.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(kMaxConnections);
    QLocalServer::removeServer(m_path);
    if (!m_server->listen(m_path)) {
        TheLog().Write("Unable to listen on %s: %s", qPrintable(m_path), qPrintable(m_server->errorString()));
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceChannel::OnConnection);
    return true;
}

bool CInstanceChannel::IsListening() const
{
    return m_server && m_server->isListening() && QFileInfo(m_path).exists();
}

// A failed accept (no descriptors left) closes the server and removes its
// socket file; a socket file removed by someone else leaves it deaf too.
void CInstanceChannel::CheckListening()
{
    if (IsListening())
        return;
    TheLog().Write("The hand-over socket %s stopped listening: listening again", qPrintable(m_path));
    Listen();
}

void CInstanceChannel::OnConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        if (m_connections >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_connections;
        connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        // A later start sends its line at once; one that does not is not ours.
        QTimer::singleShot(kIdleMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            OnReadyRead(socket);
    }
}

void CInstanceChannel::Answer(QLocalSocket* socket, const char* answer)
{
    socket->write(answer);
    socket->flush();
    socket->disconnectFromServer();
}

void CInstanceChannel::OnReadyRead(QLocalSocket* socket)
{
    const qint64 limit = qint64(HandOverLine::kMaxBytes) + 1;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > limit) {
            TheLog().Write("Hand-over refused: a line longer than %lld bytes", (long long)(limit - 1));
            socket->readAll();
            Answer(socket, "refused\n");
        }
        return;
    }
    QByteArray line = socket->readLine();
    socket->readAll();  // one line per connection
    if (line.endsWith('\n'))
        line.chop(1);
    std::string file, why;
    if (!HandOverLine::Parse(line.toStdString(), file, why)) {
        TheLog().Write("Hand-over refused: %s", why.c_str());
        Answer(socket, "refused\n");
        return;
    }
    Answer(socket, "ok\n");
    emit Received(QString::fromStdString(file));
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

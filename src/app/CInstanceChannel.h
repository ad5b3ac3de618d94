// The running copy's door for later starts of the program: a local socket
// beside the single-instance lock. A later start hands over the image file it
// was asked to open (or nothing, to bring the window up) and ends; the
// running copy reports it with Received.
//
// On the line: the file's absolute path in UTF-8 and a line feed; the
// running copy answers "ok\n" once it has taken it, "refused\n" for a line
// it does not take (a relative path, a line longer than any path). A
// connection that sends nothing for a while is closed, only a few are served
// at once, and a server that stopped listening (the socket file removed, an
// accept that failed) listens again on a new socket file.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;
class QTimer;

class CInstanceChannel : public QObject {
    Q_OBJECT

public:
    explicit CInstanceChannel(const QString& socketPath, QObject* parent = nullptr);
    ~CInstanceChannel() override;

    // In the running copy (which holds the instance lock, so any socket left
    // at the path is a dead copy's): starts listening.
    bool Listen();
    const QString& Path() const { return m_path; }
    bool IsListening() const;

    // How long a connection may stay without its line, and how many are
    // served at once.
    static constexpr int kIdleMs = 2000;
    static constexpr int kMaxConnections = 8;
    // How often the server checks that it still listens.
    static constexpr int kWatchMs = 1000;

    // In a later start: hands file over; true when the running copy took it.
    // Waits up to timeoutMs for a copy that holds the lock but does not
    // listen yet.
    static bool HandOver(const QString& socketPath, const QString& file, int timeoutMs = 5000);

signals:
    void Received(const QString& file);

private:
    void OnConnection();
    void OnReadyRead(QLocalSocket* socket);
    void CheckListening();
    void Answer(QLocalSocket* socket, const char* answer);

    QString m_path;
    QLocalServer* m_server = nullptr;
    QTimer* m_watch = nullptr;
    int m_connections = 0;
};

// The running copy's door for later starts of the program: a local socket
// beside the single-instance lock. A later start hands over the image file it
// was asked to open (or nothing, to bring the window up) and ends; the
// running copy reports it with Received.
//
// On the line: the file's absolute path in UTF-8 and a line feed; the
// running copy answers "ok\n" once it has taken it.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

class CInstanceChannel : public QObject {
    Q_OBJECT

public:
    explicit CInstanceChannel(const QString& socketPath, QObject* parent = nullptr);
    ~CInstanceChannel() override;

    // In the running copy (which holds the instance lock, so any socket left
    // at the path is a dead copy's): starts listening.
    bool Listen();

    // In a later start: hands file over; true when the running copy took it.
    // Waits up to timeoutMs for a copy that holds the lock but does not
    // listen yet.
    static bool HandOver(const QString& socketPath, const QString& file, int timeoutMs = 5000);

signals:
    void Received(const QString& file);

private:
    void OnConnection();
    void OnReadyRead(QLocalSocket* socket);

    QString m_path;
    QLocalServer* m_server = nullptr;
};

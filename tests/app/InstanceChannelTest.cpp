// The hand-over socket of the running copy: what a later start sends is
// taken only as an absolute path on a line of its own; connections that say
// nothing are closed, only a few are served at once, and a server whose
// socket went away listens again.
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <future>

#include "CInstanceChannel.h"
#include "HandOverLine.h"

namespace {

// A later start, on a thread of its own: its waits would stop this thread's
// event loop, which serves the socket.
bool HandOver(const QString& path, const QString& file)
{
    auto result = std::async(std::launch::async, [&] { return CInstanceChannel::HandOver(path, file, 5000); });
    while (result.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        QCoreApplication::processEvents();
    return result.get();
}

// A client that sends what it is given and keeps the connection.
std::unique_ptr<QLocalSocket> Connect(const QString& path, const QByteArray& bytes = QByteArray())
{
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(path);
    if (socket->waitForConnected(2000) && !bytes.isEmpty()) {
        socket->write(bytes);
        socket->flush();
    }
    return socket;
}

}  // namespace

class InstanceChannelTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    QString Path() const { return m_folder.path() + "/channel.socket"; }

private slots:
    void linesAreTakenOnlyAsAbsolutePaths_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("taken");
        QTest::newRow("absolute path") << QByteArray("/home/op/front door.txi\n") << true;
        QTest::newRow("nothing: come to the front") << QByteArray("\n") << true;
        QTest::newRow("relative path") << QByteArray("units/front.txi\n") << false;
        QTest::newRow("NUL byte") << QByteArray("/a\0b\n", 5) << false;
        QTest::newRow("longest path") << QByteArray("/" + QByteArray(HandOverLine::kMaxBytes - 1, 'a') + "\n") << true;
        QTest::newRow("one byte longer") << QByteArray("/" + QByteArray(HandOverLine::kMaxBytes, 'a') + "\n") << false;
        QTest::newRow("64 KiB at once") << QByteArray("/" + QByteArray(64 * 1024, 'a') + "\n") << false;
        QTest::newRow("64 KiB without a line feed") << QByteArray("/" + QByteArray(64 * 1024, 'a')) << false;
    }
    void linesAreTakenOnlyAsAbsolutePaths()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, taken);
        CInstanceChannel channel(Path());
        QVERIFY(channel.Listen());
        QSignalSpy received(&channel, &CInstanceChannel::Received);
        auto socket = Connect(Path(), line);
        QTRY_VERIFY_WITH_TIMEOUT(socket->canReadLine() || socket->state() != QLocalSocket::ConnectedState, 5000);
        const QByteArray answer = socket->readLine();
        QCOMPARE(answer, taken ? QByteArray("ok\n") : QByteArray("refused\n"));
        QCOMPARE(received.size(), taken ? 1 : 0);
        if (taken)
            QCOMPARE(received[0][0].toString().toUtf8() + '\n', line);
    }

    void idleAndSurplusConnectionsAreClosed()
    {
        CInstanceChannel channel(Path());
        QVERIFY(channel.Listen());
        std::vector<std::unique_ptr<QLocalSocket>> idle;
        for (int i = 0; i < CInstanceChannel::kMaxConnections; ++i)
            idle.push_back(Connect(Path()));
        QTest::qWait(200);
        auto surplus = Connect(Path(), "/x.txi\n");
        QTRY_COMPARE_WITH_TIMEOUT(surplus->state(), QLocalSocket::UnconnectedState, 1500);
        QVERIFY(!surplus->canReadLine());
        for (auto& socket : idle)
            QCOMPARE(socket->state(), QLocalSocket::ConnectedState);
        for (auto& socket : idle)
            QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QLocalSocket::UnconnectedState,
                                      CInstanceChannel::kIdleMs + 3000);
        // Room again for a later start.
        QSignalSpy received(&channel, &CInstanceChannel::Received);
        QVERIFY(HandOver(Path(), "/home/op/unit.txi"));
        QCOMPARE(received.size(), 1);
    }

    void aServerThatStoppedListeningListensAgain()
    {
        CInstanceChannel channel(Path());
        QVERIFY(channel.Listen());
        QVERIFY(QFile::remove(Path()));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(Path()), CInstanceChannel::kWatchMs * 3);
        QVERIFY(channel.IsListening());
        QSignalSpy received(&channel, &CInstanceChannel::Received);
        QVERIFY(HandOver(Path(), "/home/op/unit.txi"));
        QCOMPARE(received.size(), 1);
        QCOMPARE(received[0][0].toString(), QString("/home/op/unit.txi"));
    }
};

QTEST_GUILESS_MAIN(InstanceChannelTest)
#include "InstanceChannelTest.moc"

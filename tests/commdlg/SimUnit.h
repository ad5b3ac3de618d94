// A simulated unit for the dialog tests: runs ormid-unitsim, knows its port
// and ends it when the test is done.
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

class SimUnit {
public:
    SimUnit() = default;
    SimUnit(const SimUnit&) = delete;
    SimUnit& operator=(const SimUnit&) = delete;
    ~SimUnit() { Stop(); }

    // Starts the simulator and waits for its "port: PATH" line.
    bool Start(const QStringList& args)
    {
        m_process.setProgram(QString(ORMID_BIN_DIR) + "/ormid-unitsim");
        m_process.setArguments(args);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!m_process.canReadLine() && clock.elapsed() < 10000)
            m_process.waitForReadyRead(100);
        const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        if (!line.startsWith("port: "))
            return false;
        m_port = line.mid(6);
        return true;
    }

    const QString& Port() const { return m_port; }

    void Stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
    QString m_port;
};

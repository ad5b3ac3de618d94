// The shared simulator launcher in the dialog tests' terms: arguments and the
// port as Qt strings.
#pragma once

#include <QString>
#include <QStringList>

#include "SimProcess.h"

class SimUnit {
public:
    bool Start(const QStringList& args)
    {
        std::vector<std::string> plain;
        for (const QString& a : args)
            plain.push_back(a.toStdString());
        if (!m_process.Start(plain))
            return false;
        m_port = QString::fromStdString(m_process.Port());
        return true;
    }
    const QString& Port() const { return m_port; }
    void Stop() { m_process.Stop(); }

private:
    SimProcess m_process;
    QString m_port;
};

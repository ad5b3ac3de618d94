#include "CAppState.h"

QString CAppState::ProgramFolder() const
{
    return QString::fromStdString(m_appPath.GetFolder());
}

QString CAppState::WorkingFolder() const
{
    return QString::fromStdString(CGetAppPath::WorkingFolder());
}

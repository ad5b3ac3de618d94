#include "CQtPortDefaults.h"

#include <QSettings>
#include <QUrl>

#include "CPortSettingsDlg.h"

namespace {

const char* const kCompany = "Tarlex";
const char* const kProgram = "ORMID";
const char* const kGroup = "Port defaults";

const char* const kBaud = "Baud";
const char* const kDataBits = "Data bits";
const char* const kParity = "Parity";
const char* const kStopBits = "Stop bits";
const char* const kHandshaking = "Handshaking";

} // namespace

QString CQtPortDefaults::GroupOf(const std::string& port)
{
    return QString(kGroup) + "/" + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(port)));
}

bool CQtPortDefaults::IsValid(const PortDefaults& defaults)
{
    return CPortSettingsDlg::BaudRates().contains(defaults.baud) && defaults.dataBits >= 5 &&
           defaults.dataBits <= 8 && defaults.parity >= 0 && defaults.parity <= 4 && defaults.stopBits >= 0 &&
           defaults.stopBits <= 2 && defaults.handshaking >= 0 && defaults.handshaking <= 2;
}

bool CQtPortDefaults::Load(const std::string& port, PortDefaults& defaults)
{
    if (port.empty())
        return false;
    QSettings settings(kCompany, kProgram);
    settings.beginGroup(GroupOf(port));
    if (!settings.contains(kBaud))
        return false;
    bool ok[5] = {};
    PortDefaults stored;
    stored.baud = settings.value(kBaud).toInt(&ok[0]);
    stored.dataBits = settings.value(kDataBits).toInt(&ok[1]);
    stored.parity = settings.value(kParity).toInt(&ok[2]);
    stored.stopBits = settings.value(kStopBits).toInt(&ok[3]);
    stored.handshaking = settings.value(kHandshaking).toInt(&ok[4]);
    // A damaged or hand-edited entry must not put the line into a state the
    // serial layer never offers; such an entry counts as none.
    for (bool fieldOk : ok)
        if (!fieldOk)
            return false;
    if (!IsValid(stored))
        return false;
    defaults = stored;
    return true;
}

bool CQtPortDefaults::Store(const std::string& port, const PortDefaults& defaults)
{
    if (port.empty() || !IsValid(defaults))
        return false;
    QSettings settings(kCompany, kProgram);
    settings.beginGroup(GroupOf(port));
    settings.setValue(kBaud, defaults.baud);
    settings.setValue(kDataBits, defaults.dataBits);
    settings.setValue(kParity, defaults.parity);
    settings.setValue(kStopBits, defaults.stopBits);
    settings.setValue(kHandshaking, defaults.handshaking);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool CQtPortDefaults::Edit(const std::string& port, PortDefaults& defaults)
{
    CPortSettingsDlg dialog(QString::fromStdString(port), m_dialogParent);
    dialog.SetDefaults(defaults);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    defaults = dialog.Defaults();
    return true;
}

#include "CQtPortDefaults.h"

#include <QUrl>

#include "CLogFile.h"
#include "CPortSettingsDlg.h"
#include "CSettingsStore.h"

#include <algorithm>

namespace {

const char* const kGroup = "Port defaults";

const char* const kPort = "Port";
const char* const kBaud = "Baud";
const char* const kDataBits = "Data bits";
const char* const kParity = "Parity";
const char* const kStopBits = "Stop bits";
const char* const kHandshaking = "Handshaking";

}  // namespace

// Entries are kept as an array of the group, each with the port's device path
// as a plain value: a path used as a key would be escaped twice over (once
// for its slashes, once more by the settings file), and no one could read it.
// Builds before that kept one group per port, named by the percent-encoded
// path; such an entry is still read, and replaced when the port is stored.
// A port named "3" or "size" had its group where the array keeps its third
// entry or its size: such names have no old group.
QString CQtPortDefaults::LegacyGroupOf(const std::string& port)
{
    const QString name = QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(port)));
    bool number = false;
    (void)name.toLongLong(&number);
    if (number || name.compare("size", Qt::CaseInsensitive) == 0 || name.isEmpty())
        return QString();
    return QString(kGroup) + "/" + name;
}

int CQtPortDefaults::EntryCount(QSettings& settings)
{
    const int count = settings.beginReadArray(kGroup);
    settings.endArray();
    if (count > kMaxEntries) {
        static bool told = false;
        if (!told) {
            told = true;
            TheLog().Write("The settings hold %d port defaults: only the first %d are read", count, kMaxEntries);
        }
        return kMaxEntries;
    }
    return std::max(count, 0);
}

int CQtPortDefaults::EntryOf(QSettings& settings, const std::string& port)
{
    const QString name = QString::fromStdString(port);
    const int count = EntryCount(settings);
    settings.beginReadArray(kGroup);
    int found = 0;
    for (int i = 0; i < count && found == 0; ++i) {
        settings.setArrayIndex(i);
        if (settings.value(kPort).toString() == name)
            found = i + 1;
    }
    settings.endArray();
    return found;
}

// The first entry without a port (a size larger than what is stored leaves
// some), else one past the end while there is room; 0 when full.
int CQtPortDefaults::FreeEntry(QSettings& settings, int count)
{
    settings.beginReadArray(kGroup);
    int free = 0;
    for (int i = 0; i < count && free == 0; ++i) {
        settings.setArrayIndex(i);
        if (settings.value(kPort).toString().isEmpty())
            free = i + 1;
    }
    settings.endArray();
    return free != 0 ? free : (count < kMaxEntries ? count + 1 : 0);
}

QString CQtPortDefaults::KeyOf(const std::string& port, const char* field)
{
    CSettingsStore settings;
    const int entry = EntryOf(settings, port);
    return entry == 0 ? QString() : QString("%1/%2/%3").arg(kGroup).arg(entry).arg(field);
}

bool CQtPortDefaults::IsValid(const PortDefaults& defaults)
{
    return CPortSettingsDlg::BaudRates().contains(defaults.baud) && defaults.dataBits >= 5 && defaults.dataBits <= 8 &&
           defaults.parity >= 0 && defaults.parity <= 4 && defaults.stopBits >= 0 && defaults.stopBits <= 2 &&
           defaults.handshaking >= 0 && defaults.handshaking <= 2;
}

bool CQtPortDefaults::Load(const std::string& port, PortDefaults& defaults)
{
    if (port.empty())
        return false;
    CSettingsStore settings;
    const int entry = EntryOf(settings, port);
    if (entry > 0) {
        settings.beginReadArray(kGroup);
        settings.setArrayIndex(entry - 1);
    } else {
        const QString legacy = LegacyGroupOf(port);
        if (legacy.isEmpty())
            return false;
        settings.beginGroup(legacy);
    }
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
    CSettingsStore settings;
    int entry = EntryOf(settings, port);
    const int count = EntryCount(settings);
    if (entry == 0)
        entry = FreeEntry(settings, count);
    if (entry == 0)
        return false;
    settings.beginWriteArray(kGroup, std::max(count, entry));
    settings.setArrayIndex(entry - 1);
    settings.setValue(kPort, QString::fromStdString(port));
    settings.setValue(kBaud, defaults.baud);
    settings.setValue(kDataBits, defaults.dataBits);
    settings.setValue(kParity, defaults.parity);
    settings.setValue(kStopBits, defaults.stopBits);
    settings.setValue(kHandshaking, defaults.handshaking);
    settings.endArray();
    if (const QString legacy = LegacyGroupOf(port); !legacy.isEmpty())
        settings.remove(legacy);
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

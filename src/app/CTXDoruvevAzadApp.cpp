#include "CTXDoruvevAzadApp.h"

#include <QLockFile>

#include "CInstanceChannel.h"
#include "CLabelledComboAccessible.h"
#include "CLogFile.h"
#include "CStateFolder.h"
#include "CSettingsStore.h"
#include "CTXDoruvevAzadDlg.h"
#include "ProgramSettings.h"

const char* const kInstanceMutexName = "TXDoruvevAzad_Tarlex_Inc";

CTXDoruvevAzadApp::CTXDoruvevAzadApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(ProgramSettings::kProgram);
    setOrganizationName(ProgramSettings::kCompany);
    setWindowIcon(QIcon(":/ormid/ormid.svg"));
    // Every drop-down list of every window is read by its label.
    CLabelledComboAccessible::Install();
}

CTXDoruvevAzadApp::~CTXDoruvevAzadApp() = default;

CTXDoruvevAzadApp* TheApp()
{
    return static_cast<CTXDoruvevAzadApp*>(QCoreApplication::instance());
}

QString CTXDoruvevAzadApp::InstanceFolder()
{
    // The program's own folder in the user's runtime folder (without one, a
    // bare session, /tmp/ormid-UID when it is the user's): nobody else can
    // put a lock or a socket there. Where there is none the program runs
    // without the one-copy rule, told once in the log.
    const CStateFolder folder(CStateFolder::Kind::Runtime, {});
    if (folder.IsOpen())
        return QString::fromStdString(folder.Path()).chopped(1);
    static bool told = false;
    if (!told) {
        told = true;
        TheLog().Write("No runtime folder of the user's own (%s): every start runs a copy of its own",
                       folder.Problem().c_str());
    }
    return QString();
}

QString CTXDoruvevAzadApp::InstanceSocketPath()
{
    const QString folder = InstanceFolder();
    return folder.isEmpty() ? QString() : folder + '/' + kInstanceMutexName + ".socket";
}

bool CTXDoruvevAzadApp::TakeInstanceLock()
{
    const QString folder = InstanceFolder();
    if (folder.isEmpty())
        return true;
    auto lock = std::make_unique<QLockFile>(folder + '/' + kInstanceMutexName + ".lock");
    // Held for the whole run; a lock left by a copy that died is taken over.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_instanceMutex = std::move(lock);
        return true;
    }
    // Only a running copy ends this one; a runtime folder that cannot hold
    // the lock file does not keep the operator from working.
    return lock->error() != QLockFile::LockFailedError;
}

void CTXDoruvevAzadApp::ReleaseInstanceLock()
{
    if (m_instanceMutex) {
        m_instanceMutex->unlock();
        m_instanceMutex.reset();
    }
}

void CTXDoruvevAzadApp::ReadSettings()
{
    CSettingsStore settings(ProgramSettings::kSection);
    m_imageFilePath = settings.value("Image file path").toString();
    m_importFilePath = settings.value("Import file path").toString();
    m_exportFilePath = settings.value("Export file path").toString();
    m_baudRateSel = settings.value("Baud rate combo default sel", 0).toInt();
    m_commPortSel = settings.value("Comm port combo default sel", 0).toInt();
}

void CTXDoruvevAzadApp::WriteSettings()
{
    CSettingsStore settings(ProgramSettings::kSection);
    settings.setValue("Image file path", m_imageFilePath);
    settings.setValue("Import file path", m_importFilePath);
    settings.setValue("Export file path", m_exportFilePath);
    settings.setValue("Baud rate combo default sel", m_baudRateSel);
    settings.setValue("Comm port combo default sel", m_commPortSel);
    settings.endGroup();
    settings.sync();
}

bool CTXDoruvevAzadApp::InitInstance()
{
    // Embedded controls need nothing switched on here.
    if (!TakeInstanceLock()) {
        // Another copy runs: it comes to the front and opens the file this
        // start was given; this one ends silently.
        CInstanceChannel::HandOver(InstanceSocketPath(), m_startFile);
        return false;
    }
    ReadSettings();
    m_audioState = AudioIdle;
    {
        CInstanceChannel channel(InstanceSocketPath());
        if (!channel.Path().isEmpty())
            channel.Listen();  // without it later starts just end, as they always did
        CTXDoruvevAzadDlg panel(*this);
        QObject::connect(&channel, &CInstanceChannel::Received, &panel,
                         [&panel](const QString& file) { panel.OpenFromOutside(file); });
        panel.DoModal();
    }
    return false;
}

int CTXDoruvevAzadApp::ExitInstance()
{
    ReleaseInstanceLock();
    WriteSettings();
    return 0;
}

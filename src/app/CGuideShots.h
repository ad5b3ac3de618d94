// Pictures of the program's windows for the user guide, made by the program
// itself (ormid --guide-shots FOLDER, at build time on the offscreen
// platform): the main window with a few messages, its File menu, the Edit
// Message window (recording, where the sound system runs) with its Settings
// and Make Silence windows, the Unit Communications window (writing to a
// simulated unit) and the About box, each as FOLDER/NAME.png.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class CTXDoruvevAzadDlg;
class QProcess;
class QWidget;
class cMemoryMap;

class CGuideShots : public QObject {
public:
    CGuideShots(CTXDoruvevAzadDlg& panel, const QString& folder);

    // The messages the pictures show, put into the image before the panel opens.
    static void FillSampleImage(cMemoryMap& map);
    // Starts once the panel runs; the panel closes after the last picture.
    void Start();

    // The pictures' names (NAME.png).
    static const QStringList& Names();

private:
    void Run();
    void RunDialogs();
    void ShowRecording(QWidget* edit);
    // The path of a simulated unit's port, empty when none started.
    QString StartSimulatedUnit();
    void ShowWriting(QWidget* unit, const QString& port);
    void Save(QWidget* window, const QString& name);
    // Once the window that the next command opens is up: saves it, then
    // runs then with it (which closes it).
    void OnNextModal(const QString& name, std::function<void(QWidget*)> then);

    CTXDoruvevAzadDlg& m_panel;
    QString m_folder;
    QProcess* m_unit = nullptr;
};

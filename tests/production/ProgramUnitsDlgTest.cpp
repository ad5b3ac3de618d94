// The "Program Units" window on real widgets against simulated units: a
// batch of three with one that fails and is retried alone, the next batch,
// the day's report, closing during a run, the keys and the CSV export.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <cstring>
#include <memory>
#include <sstream>

#include "AppTestMain.h"
#include "CDailyReport.h"
#include "CProgramUnitsDlg.h"
#include "CSerialPort.h"
#include "CReportCsv.h"
#include "DialogKeys.h"
#include "SimProcess.h"
#include "TempFolder.h"
#include "TestImages.h"
#include "cMemoryMap.h"

namespace {

// Keeps the texts of the window's boxes; questions get the answer set.
class RecordingReport : public IOperatorReport {
public:
    void ShowMessage(const std::string& text) override { messages << QString::fromStdString(text); }
    bool AskYesNo(const std::string& text) override
    {
        questions << QString::fromStdString(text);
        return answer;
    }
    QStringList messages, questions;
    bool answer = false;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace

class ProgramUnitsDlgTest : public QObject {
    Q_OBJECT

public:
    explicit ProgramUnitsDlgTest(const QString&) { }

private:
    void WriteImage()
    {
        QuietReport quiet;
        FillImage(m_image, {9000, 12000});  // sectors 0 to 3
        QVERIFY(m_image.WriteImageFile(m_imagePath.c_str(), quiet));
    }

    // Units on simulators; faults for unit 1. Paced units take their time.
    void StartUnits(int count, const std::vector<std::string>& faults, bool paced)
    {
        for (int i = 0; i < count; ++i) {
            std::vector<std::string> args = {"--flash", m_scratch.File("flash" + std::to_string(i))};
            if (!paced)
                args.insert(args.end(), {"--erase-ms", "0"});
            if (i == 1)
                for (const std::string& fault : faults)
                    args.insert(args.end(), {"--fault", fault});
            m_sims.emplace_back(new SimProcess(args));
            std::string error;
            QVERIFY2(m_sims.back()->Start(&error), error.c_str());
        }
    }

    std::unique_ptr<CProgramUnitsDlg> OpenWindow()
    {
        auto dialog = std::make_unique<CProgramUnitsDlg>();
        dialog->SetReport(&m_report);
        if (!dialog->LoadImage(QString::fromStdString(m_imagePath)))
            return nullptr;
        dialog->show();
        return dialog;
    }

    // Checks exactly the simulators' ports.
    static bool CheckOnly(CProgramUnitsDlg& dialog, const std::vector<std::unique_ptr<SimProcess>>& sims)
    {
        int found = 0;
        for (int i = 0; i < dialog.PortList()->count(); ++i) {
            QListWidgetItem* item = dialog.PortList()->item(i);
            bool ours = false;
            for (const auto& sim : sims)
                ours = ours || item->data(Qt::UserRole).toString().toStdString() == sim->Port();
            item->setCheckState(ours ? Qt::Checked : Qt::Unchecked);
            found += ours;
        }
        return found == int(sims.size());
    }

    static bool WaitForEnd(CProgramUnitsDlg& dialog)
    {
        return QTest::qWaitFor([&] { return !dialog.IsRunning(); }, 180000);
    }

    static QStringList States(CProgramUnitsDlg& dialog)
    {
        QStringList states;
        for (int r = 0; r < dialog.UnitTable()->rowCount(); ++r)
            states << dialog.UnitTable()->item(r, 1)->text();
        return states;
    }

    bool HoldsTheImage(int i)
    {
        m_sims[size_t(i)]->Stop();
        const std::vector<uint8_t> flash = ReadBytes(m_scratch.File("flash" + std::to_string(i)));
        return flash.size() >= cMemoryMap::kImageSize &&
               memcmp(flash.data(), m_image.GetImageBuffer(), cMemoryMap::kImageSize) == 0;
    }

    std::string TodaysReport()
    {
        std::string text, why;
        CDailyReport::Read(CDailyReport::Day(time(nullptr)), text, why);
        return text;
    }

private slots:
    void init()
    {
        m_sims.clear();
        m_report = RecordingReport();
        std::remove(CDailyReport::PathOf(CDailyReport::Day(time(nullptr))).c_str());
        WriteImage();
    }

    void ABatchWithAFailedUnitRetriedAloneThenTheNextBatch()
    {
        // Unit 1 answers the read-back of sector 2 once with a bad checksum.
        StartUnits(3, {"bad-checksum:sector=2,once"}, false);
        auto dialog = OpenWindow();
        QVERIFY(dialog);
        QVERIFY(CheckOnly(*dialog, m_sims));
        dialog->VerifyBox()->setChecked(true);
        QCOMPARE(dialog->PlanLabel()->text().left(10), QString("4 sectors,"));
        QVERIFY(dialog->StartButton()->isEnabled());
        QVERIFY(!dialog->RetryButton()->isEnabled());

        QTest::mouseClick(dialog->StartButton(), Qt::LeftButton);
        QVERIFY(dialog->IsRunning());
        QVERIFY(dialog->StopButton()->isEnabled());
        QVERIFY(!dialog->StartButton()->isEnabled());
        QVERIFY(!dialog->PortList()->isEnabled());
        QVERIFY(WaitForEnd(*dialog));
        QStringList states = States(*dialog);
        QCOMPARE(states.size(), 3);
        QCOMPARE(states[0], QString("Done"));
        QVERIFY2(states[1].startsWith("Failed: ") && states[1].contains("sector 2"), qPrintable(states[1]));
        QCOMPARE(states[2], QString("Done"));
        QCOMPARE(dialog->SummaryLabel()->text(), QString("2 of 3 units programmed, 1 failed"));
        QCOMPARE(static_cast<QProgressBar*>(dialog->UnitTable()->cellWidget(0, 2))->value(), 100);
        QVERIFY(dialog->RetryButton()->isEnabled());
        QVERIFY(dialog->NextBatchButton()->isEnabled());
        if (const char* grabDir = getenv("ORMID_GRAB_DIR"))
            QVERIFY(dialog->grab().save(QString::fromLocal8Bit(grabDir) + "/program-units-batch.png"));

        // Retry: the failed unit alone.
        QTest::mouseClick(dialog->RetryButton(), Qt::LeftButton);
        QCOMPARE(dialog->Run().RunPorts(), std::vector<std::string>{m_sims[1]->Port()});
        QVERIFY(WaitForEnd(*dialog));
        QCOMPARE(States(*dialog), (QStringList{"Done", "Done", "Done"}));
        QCOMPARE(dialog->SummaryLabel()->text(), QString("3 of 3 units programmed, 0 failed"));
        QVERIFY(!dialog->RetryButton()->isEnabled());

        // The next batch: the same ports, fresh rows.
        QTest::mouseClick(dialog->NextBatchButton(), Qt::LeftButton);
        QCOMPARE(dialog->Run().RunPorts().size(), size_t(3));
        QVERIFY(WaitForEnd(*dialog));
        QCOMPARE(States(*dialog), (QStringList{"Done", "Done", "Done"}));
        QVERIFY2(m_report.messages.isEmpty(), qPrintable(m_report.messages.join("\n")));

        // The day's report: one line a unit of each run, the station named.
        const std::vector<std::string> lines = Lines(TodaysReport());
        QCOMPARE(lines.size(), size_t(7));
        const std::string results[] = {"completed", "failed",    "completed", "completed",
                                       "completed", "completed", "completed"};
        const std::string ports[] = {m_sims[0]->Port(), m_sims[1]->Port(), m_sims[2]->Port(), m_sims[1]->Port(),
                                     m_sims[0]->Port(), m_sims[1]->Port(), m_sims[2]->Port()};
        for (size_t i = 0; i < lines.size(); ++i) {
            QVERIFY2(lines[i].find("\"port\":\"" + ports[i] + "\"") != std::string::npos, lines[i].c_str());
            QVERIFY2(lines[i].find("\"result\":\"" + results[i] + "\"") != std::string::npos, lines[i].c_str());
            QVERIFY2(lines[i].find("\"user\":\"") != std::string::npos, lines[i].c_str());
            QVERIFY2(lines[i].find("\"image\":\"" + m_imagePath + "\"") != std::string::npos, lines[i].c_str());
        }
        QVERIFY(dialog->ReportLabel()->text().contains(QString::fromStdString(CDailyReport::Day(time(nullptr)))));

        // The checked ports are remembered for the next time.
        dialog.reset();
        auto again = OpenWindow();
        QVERIFY(again);
        int checked = 0;
        for (int i = 0; i < again->PortList()->count(); ++i)
            checked += again->PortList()->item(i)->checkState() == Qt::Checked;
        QCOMPARE(checked, 3);
        again.reset();
        for (int i = 0; i < 3; ++i)
            QVERIFY2(HoldsTheImage(i), qPrintable(QString::number(i)));
    }

    void ClosingDuringARunAsksThenStopsEveryTransfer()
    {
        StartUnits(2, {}, true);
        auto dialog = OpenWindow();
        QVERIFY(dialog);
        QVERIFY(CheckOnly(*dialog, m_sims));
        dialog->OnStart();
        // The rows follow the units as they go.
        QVERIFY(QTest::qWaitFor([&] { return States(*dialog).join(",").contains("Writing sector"); }, 30000));
        QVERIFY(QTest::qWaitFor(
            [&] { return static_cast<QProgressBar*>(dialog->UnitTable()->cellWidget(0, 2))->value() > 0; }, 30000));
        QVERIFY(dialog->UnitTable()->item(0, 3)->text().contains(':'));

        m_report.answer = false;
        dialog->close();
        QCOMPARE(m_report.questions, QStringList{CProgramUnitsDlg::kCloseQuestion});
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->IsRunning());

        m_report.answer = true;
        dialog->close();
        QVERIFY(!dialog->isVisible());
        QVERIFY(!dialog->IsRunning());
        QCOMPARE(States(*dialog), (QStringList{"Failed: stopped", "Failed: stopped"}));
        const std::vector<std::string> lines = Lines(TodaysReport());
        QCOMPARE(lines.size(), size_t(2));
        for (const std::string& line : lines)
            QVERIFY2(line.find("\"result\":\"interrupted\"") != std::string::npos, line.c_str());
        // The ports are closed: each simulator takes a new connection at once.
        for (const auto& sim : m_sims) {
            CSerialPort probe;
            QCOMPARE(probe.Open(sim->Port().c_str(), 4096, 4096), 0);
        }
    }

    void EveryControlHasAKeyOfItsOwnAndAName()
    {
        auto dialog = OpenWindow();
        QVERIFY(dialog);
        QCOMPARE(DialogKeyProblems(dialog.get()).join("; "), QString());
        QCOMPARE(DialogKeyTable(dialog.get()),
                 (QStringList{"Alt+B Baud rate:", "Alt+C Close", "Alt+D Day:", "Alt+E Export CSV...", "Alt+I Image...",
                              "Alt+N Next Batch", "Alt+P Ports:", "Alt+R Retry Failed", "Alt+S Start", "Alt+T Stop",
                              "Alt+V Verify after writing"}));
        QApplication::setActiveWindow(dialog.get());
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        for (const QString row : {"Alt+P Ports:", "Alt+B Baud rate:", "Alt+D Day:", "Alt+V Verify after writing"})
            QVERIFY2(PressDialogKey(dialog.get(), row.section(' ', 0, 0), row.section(' ', 1)), qPrintable(row));
        // A screen reader names every control that takes the focus.
        for (QWidget* w : dialog->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                                 qobject_cast<QListWidget*>(w) || qobject_cast<QTableWidget*>(w);
            if (control && w->isVisibleTo(dialog.get()))
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName() + w->metaObject()->className()));
        }
        if (const char* grabDir = getenv("ORMID_GRAB_DIR"))
            QVERIFY(dialog->grab().save(QString::fromLocal8Bit(grabDir) + "/program-units.png"));
    }

    void TheProgramsImageIsWrittenWholeWhateverAnEarlierWriteCleared()
    {
        // After a write from the panel no sector is marked needed; a batch
        // still sends every sector the messages use.
        for (uint8_t s = 0; s < cMemoryMap::kSectorCount; ++s)
            m_image.ClearSectorNeeded(s);
        m_image.StoreTableInImage();
        CProgramUnitsDlg dialog;
        dialog.UseImage(m_image, "/work/bench.txi");
        QCOMPARE(dialog.PlanLabel()->text().left(10), QString("4 sectors,"));
    }

    void ExportsADayAsCsv()
    {
        std::string why;
        QVERIFY2(
            CDailyReport::Append(
                {"{\"time\":\"t1\",\"port\":\"=cmd|' /C calc'!A0\",\"image\":\"a,b.txi\",\"image_crc32\":\"0000abcd\","
                 "\"result\":\"completed\",\"status\":\"Unit write \\\"done\\\"\",\"seconds\":12.5,"
                 "\"sectors_written\":4,\"verify\":\"ok\",\"differing\":[],\"host\":\"h\",\"user\":\"u\"}\n",
                 "not json\n",
                 "{\"time\":\"t2\",\"port\":\"/dev/pts/3\",\"image\":\"b.txi\",\"image_crc32\":\"0000abcd\","
                 "\"result\":\"failed\",\"status\":\"x\",\"seconds\":3,\"sectors_written\":0,\"verify\":\"differs\","
                 "\"differing\":[2,5],\"host\":\"h\",\"user\":\"u\"}\n"},
                why),
            why.c_str());
        auto dialog = OpenWindow();
        QVERIFY(dialog);
        const QString target = QString::fromStdString(m_scratch.File("day.csv"));
        QString suggested;
        dialog->SetSavePathQuestion([&](const QString& name) {
            suggested = name;
            return target;
        });
        QCOMPARE(dialog->DayBox()->currentText(), QString::fromStdString(CDailyReport::Day(time(nullptr))));
        dialog->OnExportCsv();
        QVERIFY(suggested.endsWith(".csv"));
        const std::vector<uint8_t> bytes = ReadBytes(target.toStdString());
        QCOMPARE(QString::fromStdString(std::string(bytes.begin(), bytes.end())),
                 QString("time,port,image,image_crc32,result,status,seconds,sectors_written,verify,differing,host,"
                         "user\r\n"
                         "t1,'=cmd|' /C calc'!A0,\"a,b.txi\",0000abcd,completed,\"Unit write \"\"done\"\"\",12.5,4,"
                         "ok,,h,u\r\n"
                         "t2,/dev/pts/3,b.txi,0000abcd,failed,x,3,0,differs,2 5,h,u\r\n"));
        QCOMPARE(m_report.messages, QStringList{"1 damaged lines of the report were left out."});
    }

private:
    TempFolder m_scratch;
    cMemoryMap m_image;
    const std::string m_imagePath = m_scratch.File("shop.txi");
    std::vector<std::unique_ptr<SimProcess>> m_sims;
    RecordingReport m_report;
};

int main(int argc, char** argv)
{
    return RunAppTest<ProgramUnitsDlgTest>(argc, argv);
}

#include "ProgramUnitsDlgTest.moc"

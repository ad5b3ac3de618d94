// The "Program Units" window: one image written into a batch of units at
// once, on the same gang driver as ormid-cli write. It shows the image and
// what a write of it costs, the ports to use, one row per unit while they
// run and the summary; every unit's result goes into the day's report. The
// rules (rows, phases, buttons) are CProgramRun's; the gang runs on a worker
// thread and the window reads its progress from a copy.
#pragma once

#include <QDialog>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "CGangTransfer.h"
#include "CProgramRun.h"
#include "cMemoryMap.h"

class CGangProgress;
class IOperatorReport;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

class CProgramUnitsDlg : public QDialog {
    Q_OBJECT

public:
    explicit CProgramUnitsDlg(QWidget* parent = nullptr);
    ~CProgramUnitsDlg() override;

    // The image to write: a file read now (false, said to the operator, when
    // it cannot be read), or a copy of the program's image under its name.
    bool LoadImage(const QString& path);
    void UseImage(const cMemoryMap& image, const QString& name);

    // Message boxes and questions go here instead of the desktop's (tests).
    void SetReport(IOperatorReport* report) { m_report = report; }
    // Asks where a CSV file goes; empty backs out (tests replace it).
    void SetSavePathQuestion(std::function<QString(const QString& suggested)> ask) { m_askSavePath = std::move(ask); }

    void OnStart();
    void OnStop();
    void OnRetryFailed();
    void OnNextBatch();
    void OnExportCsv();

    bool IsRunning() const { return m_thread.joinable(); }
    const CProgramRun& Run() const { return m_run; }

    // The controls.
    QListWidget* PortList() const { return m_ports; }
    QComboBox* BaudBox() const { return m_baudBox; }
    QCheckBox* VerifyBox() const { return m_verifyBox; }
    QPushButton* StartButton() const { return m_startButton; }
    QPushButton* StopButton() const { return m_stopButton; }
    QPushButton* RetryButton() const { return m_retryButton; }
    QPushButton* NextBatchButton() const { return m_nextButton; }
    QPushButton* ExportButton() const { return m_exportButton; }
    QComboBox* DayBox() const { return m_dayBox; }
    QTableWidget* UnitTable() const { return m_table; }
    QLabel* SummaryLabel() const { return m_summary; }
    QLabel* PlanLabel() const { return m_planLine; }
    QLabel* ReportLabel() const { return m_reportPath; }

    static const char* const kCloseQuestion;

public slots:
    // Closing during a run asks, then stops every transfer before the
    // window goes.
    void done(int result) override;

private:
    void BuildWindow();
    void FillPorts();
    void FillDays();
    void ShowImage();
    void ShowPlan();
    std::vector<std::string> CheckedPorts() const;
    void RememberChoices() const;
    void Launch();
    void Poll();
    // The worker has ended: results, report, buttons.
    void EndRun();
    void ShowRows();
    void ShowButtons();
    void OnChooseImage();
    IOperatorReport& Report();

    cMemoryMap m_image;
    bool m_haveImage = false;
    QString m_imageName;
    uint32_t m_crc32 = 0;

    CProgramRun m_run;
    std::unique_ptr<CGangTransfer> m_gang;
    std::unique_ptr<CGangProgress> m_progress;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ended{false};
    std::thread m_thread;
    QTimer m_poll;

    IOperatorReport* m_report = nullptr;
    std::unique_ptr<IOperatorReport> m_ownReport;
    std::function<QString(const QString&)> m_askSavePath;

    QLabel* m_imageLine = nullptr;
    QLabel* m_crcLine = nullptr;
    QLabel* m_planLine = nullptr;
    QLabel* m_timeLine = nullptr;
    QPushButton* m_imageButton = nullptr;
    QListWidget* m_ports = nullptr;
    QComboBox* m_baudBox = nullptr;
    QCheckBox* m_verifyBox = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QPushButton* m_retryButton = nullptr;
    QPushButton* m_nextButton = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_summary = nullptr;
    QLabel* m_reportPath = nullptr;
    QComboBox* m_dayBox = nullptr;
    QPushButton* m_exportButton = nullptr;
    QPushButton* m_closeButton = nullptr;
};

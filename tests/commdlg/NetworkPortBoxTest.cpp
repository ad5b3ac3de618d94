// The Comm Port box and network ports: a typed address reads the unit behind
// ser2net (started by the test), is remembered once it opened and listed
// after the local ports in the next dialog; a raw port says that its line is
// the server's, a malformed address says what is expected.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <memory>

#include "AppTestMain.h"
#include "IOperatorReport.h"
#include "Ser2netServer.h"
#include "SerialPortList.h"
#include "SimUnit.h"
#include "TXCommDlg.h"
#include "TestImages.h"
#include "WaitFor.h"
#include "cMemoryMap.h"

namespace {

class Recorder : public IOperatorReport {
public:
    void ShowMessage(const std::string& text) override { messages << QString::fromStdString(text); }
    bool AskYesNo(const std::string&) override { return false; }
    QStringList messages;
};

}  // namespace

class NetworkPortBoxTest : public QObject {
    Q_OBJECT

public:
    explicit NetworkPortBoxTest(const QString& work) : m_work(work) { }

private:
    std::unique_ptr<TXCommDlg> NewDialog()
    {
        auto dialog = std::make_unique<TXCommDlg>(m_image, CCommShared{&m_portSel, &m_baudSel, &m_readDone});
        dialog->SetReport(&m_report);
        dialog->show();
        return dialog;
    }

    bool Idle(TXCommDlg& dialog)
    {
        return dialog.Transfer().ProtocolState() == CUnitTransfer::kIdle && !dialog.IsPortOpen();
    }

    QString m_work;
    cMemoryMap m_image;
    int32_t m_portSel = 0, m_baudSel = 0, m_readDone = 0;
    Recorder m_report;

private slots:
    void aTypedAddressReadsTheUnitAndIsListedAfterTheLocalPorts()
    {
        if (!Ser2netServer::Available()) {
            QVERIFY2(!Ser2netServer::MustRun(), "ser2net is not installed (scripts/install-deps.sh installs it)");
            QSKIP("ser2net is not installed");
        }
        SimUnit unit;
        FillImage(m_image, {6000});
        QVERIFY(unit.Start({"--fast", "--erase-ms", "5"}));
        Ser2netServer server(m_work.toStdString(), {unit.Port().toStdString()});
        QVERIFY(server.Start());
        const QString typed = QString::fromStdString(server.At(0).Rfc2217()).toUpper().replace("RFC2217", "Rfc2217");
        const QString canonical = QString::fromStdString(server.At(0).Rfc2217());
        {
            auto dialog = NewDialog();
            QVERIFY(dialog->PortBox()->isEditable());
            dialog->PortBox()->setEditText(typed);
            QTest::mouseClick(dialog->WriteButton(), Qt::LeftButton);
            QVERIFY(WaitFor([&] { return Idle(*dialog); }, 60000, [](int ms) { QTest::qWait(ms); }));
            QCOMPARE(dialog->StatusText(), QString("Unit write completed."));
            QCOMPARE(QSettings("Tarlex", "ORMID").value("Settings/Network ports").toString(), canonical);

            // A raw port leaves the line to the server, and says so.
            dialog->PortBox()->setEditText(QString::fromStdString(server.At(0).Tcp()));
            QVERIFY2(dialog->StatusText().contains("the line settings are the server's"),
                     qPrintable(dialog->StatusText()));

            // A malformed address is refused with what is expected.
            dialog->PortBox()->setEditText("tcp://127.0.0.1");
            QTest::mouseClick(dialog->ReadButton(), Qt::LeftButton);
            QVERIFY(WaitFor([&] { return Idle(*dialog); }, 10000, [](int ms) { QTest::qWait(ms); }));
            QVERIFY(!m_report.messages.isEmpty());
            QVERIFY2(m_report.messages.last().contains("expected rfc2217://HOST:PORT or tcp://HOST:PORT"),
                     qPrintable(m_report.messages.join(" | ")));
        }
        auto again = NewDialog();
        const int listed = again->PortBox()->findData(canonical);
        QCOMPARE(listed, again->PortBox()->count() - 1);
        QCOMPARE(again->PortBox()->itemText(listed), canonical);
        for (const std::string& local : ListSerialPorts())
            QVERIFY(again->PortBox()->findData(QString::fromStdString(local)) < listed);
    }
};

int main(int argc, char** argv)
{
    return RunAppTest<NetworkPortBoxTest>(argc, argv);
}

#include "NetworkPortBoxTest.moc"

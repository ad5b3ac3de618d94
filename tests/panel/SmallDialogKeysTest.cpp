// The keys of the panel's small dialogs, "About" and "Sound Devices", on real
// widgets: every button and field has an Alt key of its own that reaches it.
#include <QApplication>
#include <QTest>

#include "CAboutDlg.h"
#include "CSoundDevicesDlg.h"
#include "DialogKeys.h"

class SmallDialogKeysTest : public QObject {
    Q_OBJECT

private:
    static std::unique_ptr<QDialog> Make(const QString& which)
    {
        if (which == "About")
            return std::make_unique<CAboutDlg>();
        const SDeviceOffer inputs{{"System default", "USB microphone"}, 1};
        const SDeviceOffer outputs{{"System default", "Speakers"}, 0};
        return std::make_unique<CSoundDevicesDlg>(inputs, outputs);
    }

private slots:
    void keysReachTheirControls_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QStringList>("table");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("caption");
        const QStringList about = {"Alt+O OK"};
        const QStringList devices = {"Alt+C Cancel", "Alt+M Microphone:", "Alt+O OK", "Alt+S Speaker:"};
        for (const QString& row : about)
            QTest::newRow(qPrintable("About " + row))
                << "About" << about << row.section(' ', 0, 0) << row.section(' ', 1);
        for (const QString& row : devices)
            QTest::newRow(qPrintable("Sound Devices " + row))
                << "Sound Devices" << devices << row.section(' ', 0, 0) << row.section(' ', 1);
    }

    void keysReachTheirControls()
    {
        QFETCH(QString, dialog);
        QFETCH(QStringList, table);
        QFETCH(QString, key);
        QFETCH(QString, caption);
        std::unique_ptr<QDialog> shown = Make(dialog);
        shown->show();
        QApplication::setActiveWindow(shown.get());
        QVERIFY(QTest::qWaitForWindowActive(shown.get()));
        QCOMPARE(DialogKeyTable(shown.get()), table);
        QVERIFY(PressDialogKey(shown.get(), key, caption));
        const bool closes = caption == "OK" || caption == "Cancel";
        QTRY_COMPARE(shown->isVisible(), !closes);
        if (closes)
            QCOMPARE(shown->result(), int(caption == "OK" ? QDialog::Accepted : QDialog::Rejected));
    }
};

QTEST_MAIN(SmallDialogKeysTest)

#include "SmallDialogKeysTest.moc"

// "Codec Information" on the offscreen platform: the report in its box with
// the box's colours and font, Cancel and Escape closing it, and GetCoderInfor
// showing it modally in a Qt host.
#include "CCodecInfoDlg.h"
#include "sonvox.h"

#include <QApplication>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <thread>

class CodecDialogTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheReportInTheBox()
    {
        const QString report =
            QStringLiteral("ACM version: 1.22 build 0 (Retail)\n\n\nACM METRICS:\n\n3 codecs installed\n");
        CCodecInfoDlg dlg(report);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Codec Information"));
        QTextEdit* box = dlg.ReportBox();
        QCOMPARE(box->toPlainText(), report);
        QVERIFY(box->isReadOnly());
        QCOMPARE(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(box->palette().color(QPalette::Base), QColor(255, 255, 190));
        QTextCursor cursor(box->document());
        cursor.setPosition(3);
        const QTextCharFormat format = cursor.charFormat();
        QCOMPARE(format.foreground().color(), QColor(0, 0, 190));
        QCOMPARE(format.fontWeight(), int(QFont::Bold));
        QVERIFY(format.fontFamilies().toStringList().contains(QStringLiteral("Arial")));
        QCOMPARE(dlg.CancelButton()->text(), QStringLiteral("&Cancel"));
        // The box fills the dialog above the button, which sits at its right.
        QVERIFY(box->geometry().bottom() < dlg.CancelButton()->geometry().top());
        QVERIFY(dlg.CancelButton()->geometry().right() <= dlg.width());
    }

    void cancelAndEscapeClose()
    {
        for (int key : {0, int(Qt::Key_Escape)}) {
            CCodecInfoDlg dlg(QStringLiteral("report"));
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            if (key)
                QTest::keyClick(&dlg, Qt::Key(key));
            else
                QTest::mouseClick(dlg.CancelButton(), Qt::LeftButton);
            QVERIFY(!dlg.isVisible());
            QCOMPARE(dlg.result(), int(QDialog::Rejected));
        }
    }

    void getCoderInforShowsTheDialogModally()
    {
        QString shown;
        bool cancelled = false;
        // Closes the dialog once it is up; gives up after a while so that a
        // missing dialog fails instead of hanging.
        int tries = 0;
        QTimer timer;
        timer.setInterval(20);
        connect(&timer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal->inherits("CCodecInfoDlg")) {
                if (auto* box = modal->findChild<QTextEdit*>())
                    shown = box->toPlainText();
                if (auto* cancel = modal->findChild<QPushButton*>()) {
                    cancel->click();
                    cancelled = true;
                }
                timer.stop();
            } else if (++tries > 1500) {
                timer.stop();
            }
        });
        timer.start();
        QCOMPARE(GetCoderInfor(), 1);
        QVERIFY(cancelled);
        QVERIFY(shown.startsWith(QStringLiteral("ACM version: ")));
        QVERIFY(shown.contains(QStringLiteral("ENABLED DRIVERS :\n")));
        QVERIFY(shown.contains(QStringLiteral("Short name: audioconvert\n")));
    }

    void otherThreadsGetTheReportWithoutTheDialog()
    {
        // A dialog belongs to the application's thread: from any other the
        // report goes to the log and standard output, without waiting.
        int result = 0;
        std::thread worker([&result] { result = GetCoderInfor(); });
        worker.join();
        QCOMPARE(result, 1);
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(CodecDialogTest)
#include "CodecDialogTest.moc"

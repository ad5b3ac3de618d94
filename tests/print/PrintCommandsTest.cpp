// The panel's printing commands with the desktop's real printer dialog on
// the offscreen platform: Cancel prints nothing, OK prints what the panel holds.
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "AppTestMain.h"
#include "CTXDoruvevAzadDlg.h"
#include "PanelDoubles.h"
#include "PdfText.h"
#include "PrintCommands.h"
#include "RequireRealPart.h"
#include "SmallTmpfs.h"
#include "IPrintReport.h"

namespace {

class Recorder : public IPrintReport {
public:
    QStringList texts;
    void ShowMessage(const std::string&, const std::string& text, bool) override
    {
        texts << QString::fromStdString(text);
    }
};

// Answers the next printer dialog: OK or Escape. Records whether one came.
void AnswerPrintDialog(bool accept, bool& shown)
{
    QTimer::singleShot(0, [accept, &shown] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        shown = dialog != nullptr;
        if (!dialog)
            return;
        if (accept)
            dialog->accept();
        else
            QTest::keyClick(dialog, Qt::Key_Escape);
    });
}

}  // namespace

class PrintCommandsTest : public QObject {
    Q_OBJECT

public:
    explicit PrintCommandsTest(const QString& work) : m_work(work) { }

private slots:
    void init()
    {
        CTXDoruvevAzadApp& app = *TheApp();
        for (uint8_t s = 0; s < 8; ++s)
            app.m_memoryMap.ClearSlot(s);
        app.m_memoryMap.AllocateAtEnd(2);
        app.m_memoryMap.SetLength(2, 12000);
        app.m_memoryMap.SetName(2, "Welcome");
        app.m_memoryMap.SetPlayCount(2, 3);
        app.m_memoryMap.AllocateAtEnd(6);
        app.m_memoryMap.SetLength(6, 4000);
        app.m_memoryMap.SetName(6, "Closing");
        m_panel = std::make_unique<CTXDoruvevAzadDlg>(app, CPanelServices{&m_dialogs, &m_report, &m_sonvox, {}});
        m_panel->OnInitDialog();
        // As after loading an image file from that folder.
        app.m_imageFilePath = m_work + "/shop/";
        m_panel->show();
        m_pdf = m_work + "/printout.pdf";
        QFile::remove(m_pdf);
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setOutputFormat(QPrinter::PdfFormat);
        m_printer->setOutputFileName(m_pdf);
    }
    void cleanup() { m_panel.reset(); }

    void cancelPrintsNothing()
    {
        bool shown = false;
        AnswerPrintDialog(false, shown);
        PrintListingFromPanel(m_panel->Context(), *m_printer, m_printReport);
        QVERIFY(shown);
        AnswerPrintDialog(false, shown);
        PrintLabelsFromPanel(m_panel->Context(), *m_printer, m_printReport);
        QVERIFY(shown);
        QVERIFY(!QFileInfo::exists(m_pdf));
        QVERIFY(m_printReport.texts.isEmpty());
    }

    void listingAfterOkShowsThePanelsImage()
    {
        m_panel->SetChanged(true);
        bool shown = false;
        AnswerPrintDialog(true, shown);
        PrintListingFromPanel(m_panel->Context(), *m_printer, m_printReport);
        QVERIFY(shown);
        const PdfText text(m_pdf.toStdString());
        QCOMPARE(text.pages, 1);
        QCOMPARE(text.Count((m_work + "/shop/*").toStdString()), 1);
        QCOMPARE(text.Count("Welcome"), 1);
        QCOMPARE(text.Count("Closing"), 1);
        QCOMPARE(text.Count("1.50"), 1);
        QCOMPARE(text.Count("0.50"), 1);
        QVERIFY(RunCommand("pdfinfo '" + m_pdf.toStdString() + "'").find("Bitmap Printing Test") != std::string::npos);
        QVERIFY(m_printer->pageLayout().orientation() == QPageLayout::Portrait);
        QCOMPARE(m_printer->copyCount(), 1);
    }

    // Print to file on a full disk: the PDF that was there stays byte for
    // byte, and the message names the file and the reason.
    void printToFileOnAFullDiskKeepsTheOldFile()
    {
        SmallTmpfs disk;
        QREQUIRE_REAL_PART("a tmpfs", disk.Missing());
        disk.Write("old.pdf", "%PDF-1.4 the printout of yesterday\n%%EOF\n");
        disk.Fill();
        m_printer->setOutputFileName(QString::fromStdString(disk.File("old.pdf")));
        bool shown = false;
        AnswerPrintDialog(true, shown);
        PrintListingFromPanel(m_panel->Context(), *m_printer, m_printReport);
        QVERIFY(shown);
        QCOMPARE(disk.Read("old.pdf"), std::string("%PDF-1.4 the printout of yesterday\n%%EOF\n"));
        QVERIFY(!m_printReport.texts.isEmpty());
        QVERIFY2(m_printReport.texts.last().contains("No space left on device"),
                 qPrintable(m_printReport.texts.last()));
    }

    // The image shown is never printed over, by either command: refused
    // before the file is touched, with the reason.
    void printToTheImageFileIsRefused()
    {
        const QString image = m_work + "/shop.txi";
        m_dialogs.answers = {image};
        QVERIFY(m_panel->OnSaveImageAs());
        QFile file(image);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray saved = file.readAll();
        file.close();
        m_printer->setOutputFileName(image);
        m_printReport.texts.clear();
        for (auto* print : {&PrintListingFromPanel, &PrintLabelsFromPanel}) {
            bool shown = false;
            AnswerPrintDialog(true, shown);
            print(m_panel->Context(), *m_printer, m_printReport);
            QVERIFY(shown);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), saved);
            file.close();
            QCOMPARE(m_printReport.texts.size(), 1);
            QCOMPARE(m_printReport.texts.takeFirst(),
                     image + " is the image file being read; choose another file for the PDF.");
        }
    }

    void labelsAfterOk()
    {
        bool shown = false;
        AnswerPrintDialog(true, shown);
        PrintLabelsFromPanel(m_panel->Context(), *m_printer, m_printReport);
        QVERIFY(shown);
        const PdfText text(m_pdf.toStdString());
        QCOMPARE(text.words.size(), size_t(2));
        // Slot 2: third box of the left label; slot 6: third box of the right one.
        QVERIFY(text.One("Closing").xMin - text.One("Welcome").xMin > 150);
        QVERIFY(std::abs(text.One("Closing").yMin - text.One("Welcome").yMin) < 0.5);
    }

    void thePanelsCommandsOpenThePrinterDialog()
    {
        InstallPrintCommands(TheApp()->m_panelCommands);
        bool shown = false;
        AnswerPrintDialog(false, shown);
        m_panel->OnPrintListing();
        QVERIFY(shown);
        shown = false;
        AnswerPrintDialog(false, shown);
        m_panel->OnPrintLabels();
        QVERIFY(shown);
        TheApp()->m_panelCommands = CPanelCommands();
    }

private:
    QString m_work;
    QString m_pdf;
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<CTXDoruvevAzadDlg> m_panel;
    CAnsweredFileDialogs m_dialogs;
    CRecordedReport m_report;
    CSilentSonvox m_sonvox;
    Recorder m_printReport;
};

int main(int argc, char** argv)
{
    return RunAppTest<PrintCommandsTest>(argc, argv);
}

#include "PrintCommandsTest.moc"

// "Settings" and "Make Silence" as real dialogs on the offscreen platform,
// with the settings store in a temporary folder. Field messages are captured
// instead of shown.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <QStyle>
#include <QStyleOptionFrame>

#include "CProcessingSettings.h"
#include "CRecSettingsDlg.h"
#include "CTXMakeSilence.h"
#include "DialogKeys.h"

namespace {

// Raw text of a stored parameter.
QString Stored(const char* key)
{
    QSettings settings("Tarlex", "ORMID");
    return settings.value(QString("Settings/") + key).toString();
}

void StoreRaw(const char* key, const QString& text)
{
    QSettings settings("Tarlex", "ORMID");
    settings.setValue(QString("Settings/") + key, text);
}

// The Alt keys of the two dialogs: every button and every field that takes
// input (the results on show take no focus, so their labels have none).
const QStringList kSettingsKeys = {
    "Alt+A Clip Amount (0.0 - 1.0)",        "Alt+C Cancel", "Alt+H Threshold Factor (0.0 - 5.0)",
    "Alt+I Initial Trim (Samples at 8kHz)", "Alt+O OK",     "Alt+R Restore Defaults",
    "Alt+T Time Constant (0.5 - 1.0)"};
const QStringList kSilenceKeys = {"Alt+A Amount of silence desired (ms)", "Alt+C Cancel", "Alt+O OK"};

void ClearStore()
{
    QSettings settings("Tarlex", "ORMID");
    settings.clear();
}

}  // namespace

class EditDialogsTest : public QObject {
    Q_OBJECT

private:
    QStringList m_messages;

    // A Settings dialog as the edit dialog opens it: stored parameters, the
    // results of the last recording; messages captured.
    void Open(CRecSettingsDlg& dlg, const RecordProcessingParams& params)
    {
        dlg.m_report = [this](const QString& text) { m_messages << text; };
        dlg.m_params = params;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    }

    void Open(CTXMakeSilence& dlg, uint32_t roomLeft)
    {
        dlg.m_report = [this](const QString& text) { m_messages << text; };
        dlg.m_roomLeft = roomLeft;  // after construction, as the edit dialog does
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    }

    // Every caption is whole on screen and every control inside the dialog.
    static void CheckCaptionsFit(QDialog& dlg)
    {
        const QRect inside = dlg.rect();
        const QFontMetrics fm(dlg.font());
        int captions = 0;
        for (QWidget* child : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            QVERIFY2(inside.contains(child->geometry()), qPrintable(child->objectName()));
            QString text;
            int room = child->width();
            if (auto* label = qobject_cast<QLabel*>(child)) {
                text = Plain(label->text());
            } else if (auto* button = qobject_cast<QPushButton*>(child)) {
                text = Plain(button->text());
                room -= 8;  // the button's frame
            } else if (auto* group = qobject_cast<QGroupBox*>(child)) {
                text = group->title();
                room -= 16;
            }
            if (text.isEmpty())
                continue;
            ++captions;
            QVERIFY2(
                fm.horizontalAdvance(text) <= room,
                qPrintable(QString("\"%1\" needs %2 px, has %3").arg(text).arg(fm.horizontalAdvance(text)).arg(room)));
        }
        QVERIFY(captions >= 4);
    }

    static void Type(QLineEdit* box, const QString& text)
    {
        box->clear();
        QTest::keyClicks(box, text);
    }

private slots:
    void init()
    {
        m_messages.clear();
        ClearStore();
    }

    // ---- Settings

    void settingsOpenWithDefaultsWhenNothingIsStored()
    {
        const RecordProcessingParams loaded = CProcessingSettings::Load();
        CRecSettingsDlg dlg;
        Open(dlg, loaded);
        QCOMPARE(dlg.windowTitle(), QString("Settings"));
        QCOMPARE(dlg.m_timeConstant->text(), QString("0.9998"));
        QCOMPARE(dlg.m_clipAmount->text(), QString("0.02"));
        QCOMPARE(dlg.m_thresholdFactor->text(), QString("1"));
        QCOMPARE(dlg.m_initialTrim->text(), QString("500"));
        for (QLineEdit* result : {dlg.m_gain, dlg.m_clipCount, dlg.m_snr}) {
            QCOMPARE(result->text(), QString("0"));
            QVERIFY(!result->isEnabled());
        }
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(dlg.focusWidget(), dlg.m_timeConstant);

        // An empty stored text is a default too.
        StoreRaw(CProcessingSettings::kInitialTrimKey, "");
        StoreRaw(CProcessingSettings::kClipAmountKey, "");
        QCOMPARE(CProcessingSettings::Load().initialTrim, 500);
        QCOMPARE(CProcessingSettings::Load().clipAmount, 0.02);
    }

    void captionsFitTheirPlaces()
    {
        CRecSettingsDlg settings;
        Open(settings, RecordProcessingParams());
        CheckCaptionsFit(settings);
        CTXMakeSilence silence;
        Open(silence, 4120577);
        CheckCaptionsFit(silence);
    }

    void settingsShowResultsOfTheLastRecording_data()
    {
        QTest::addColumn<double>("gain");
        QTest::addColumn<double>("clipCount");
        QTest::addColumn<double>("snr");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("a usual recording")
            << -1.06175300664568 << 0.0 << 88.1234567 << QStringList{"-1.06", "0", "88.1"};
        QTest::newRow("thirds") << 12.5 << 37.0 << 1.0 / 3.0 << QStringList{"12.5", "37", "0.333"};
        // The widest a recording of the whole memory can bring.
        QTest::newRow("widest") << -123.456 << 4120577.0 << -123.456 << QStringList{"-123", "4120577", "-123"};
    }

    void settingsShowResultsOfTheLastRecording()
    {
        QFETCH(double, gain);
        QFETCH(double, clipCount);
        QFETCH(double, snr);
        QFETCH(QStringList, shown);
        RecordProcessingParams params;
        params.gain = gain;
        params.clipCount = clipCount;
        params.snr = snr;
        CRecSettingsDlg dlg;
        Open(dlg, params);
        const QList<QLineEdit*> boxes = {dlg.m_gain, dlg.m_clipCount, dlg.m_snr};
        for (int i = 0; i < boxes.size(); ++i) {
            QCOMPARE(boxes[i]->text(), shown[i]);
            // Whole in its box: the text needs no more than the box's room
            // inside its frame and margins.
            QStyleOptionFrame option;
            option.initFrom(boxes[i]);
            const QRect room = boxes[i]->style()->subElementRect(QStyle::SE_LineEditContents, &option, boxes[i]);
            const int needs = boxes[i]->fontMetrics().horizontalAdvance(shown[i]);
            QVERIFY2(needs + 4 <= room.width(),
                     qPrintable(QString("\"%1\" needs %2 px, has %3").arg(shown[i]).arg(needs).arg(room.width())));
        }
    }

    // Every field and button has a key of its own, which reaches it.
    void settingsKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("caption");
        for (const QString& row : kSettingsKeys)
            QTest::newRow(qPrintable(row)) << row.section(' ', 0, 0) << row.section(' ', 1);
    }

    void settingsKeys()
    {
        QFETCH(QString, key);
        QFETCH(QString, caption);
        CRecSettingsDlg dlg;
        Open(dlg, RecordProcessingParams());
        QApplication::setActiveWindow(&dlg);
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QCOMPARE(DialogKeyTable(&dlg), kSettingsKeys);
        QVERIFY(PressDialogKey(&dlg, key, caption));
        QCOMPARE(dlg.isVisible(), caption != "OK" && caption != "Cancel");
        if (caption == "OK")
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    void silenceKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("caption");
        for (const QString& row : kSilenceKeys)
            QTest::newRow(qPrintable(row)) << row.section(' ', 0, 0) << row.section(' ', 1);
    }

    void silenceKeys()
    {
        QFETCH(QString, key);
        QFETCH(QString, caption);
        CTXMakeSilence dlg;
        Open(dlg, 4120577);
        QApplication::setActiveWindow(&dlg);
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QCOMPARE(DialogKeyTable(&dlg), kSilenceKeys);
        QVERIFY(PressDialogKey(&dlg, key, caption));
        QCOMPARE(dlg.isVisible(), caption != "OK" && caption != "Cancel");
    }

    void storedOutOfRangeValueBringsItsMessageAtOpening()
    {
        StoreRaw(CProcessingSettings::kTimeConstantKey, "2.000000");
        StoreRaw(CProcessingSettings::kInitialTrimKey, "9999");
        CRecSettingsDlg dlg;
        Open(dlg, CProcessingSettings::Load());
        QCOMPARE(dlg.m_timeConstant->text(), QString("2"));
        // Only the first failure speaks, and its box takes the focus.
        QCOMPARE(m_messages, QStringList{"Please enter a number between 0.5 and 1."});
        QCOMPARE(dlg.focusWidget(), dlg.m_timeConstant);
        QVERIFY(dlg.isVisible());

        // The operator mends it; OK then speaks about the trim.
        Type(dlg.m_timeConstant, "0.9");
        QTest::mouseClick(dlg.m_ok, Qt::LeftButton);
        QCOMPARE(m_messages.last(), QString("Please enter an integer between 0 and 2000."));
        QCOMPARE(dlg.focusWidget(), dlg.m_initialTrim);
        QVERIFY(dlg.isVisible());
    }

    void storedTextThatIsNoNumberReadsAsZero()
    {
        StoreRaw(CProcessingSettings::kTimeConstantKey, "fast");
        StoreRaw(CProcessingSettings::kThresholdFactorKey, "2.5 or so");
        const RecordProcessingParams loaded = CProcessingSettings::Load();
        QCOMPARE(loaded.timeConstant, 0.0);
        QCOMPARE(loaded.thresholdFactor, 2.5);
        CRecSettingsDlg dlg;
        Open(dlg, loaded);
        QCOMPARE(m_messages, QStringList{"Please enter a number between 0.5 and 1."});
    }

    void rangeEndsAreAcceptedAndTheTrimAboveIsRefused()
    {
        CRecSettingsDlg dlg;
        Open(dlg, RecordProcessingParams());
        Type(dlg.m_timeConstant, "0.5");
        Type(dlg.m_clipAmount, "1");
        Type(dlg.m_thresholdFactor, "5");
        Type(dlg.m_initialTrim, "2001");
        QTest::mouseClick(dlg.m_ok, Qt::LeftButton);
        QCOMPARE(m_messages, QStringList{"Please enter an integer between 0 and 2000."});
        QVERIFY(dlg.isVisible());
        // A refused OK leaves the caller's parameters alone.
        QCOMPARE(dlg.m_params.timeConstant, RecordProcessingParams::kDefaultTimeConstant);

        Type(dlg.m_initialTrim, "2000");
        QTest::mouseClick(dlg.m_ok, Qt::LeftButton);
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.m_params.timeConstant, 0.5);
        QCOMPARE(dlg.m_params.clipAmount, 1.0);
        QCOMPARE(dlg.m_params.thresholdFactor, 5.0);
        QCOMPARE(dlg.m_params.initialTrim, 2000);

        CRecSettingsDlg low;
        Open(low, RecordProcessingParams());
        Type(low.m_clipAmount, "0");
        Type(low.m_thresholdFactor, "0");
        Type(low.m_initialTrim, "0");
        QTest::mouseClick(low.m_ok, Qt::LeftButton);
        QCOMPARE(low.result(), int(QDialog::Accepted));
        QCOMPARE(low.m_params.clipAmount, 0.0);
        QCOMPARE(low.m_params.initialTrim, 0);
    }

    void okChecksTheBoxesInOrder()
    {
        CRecSettingsDlg dlg;
        Open(dlg, RecordProcessingParams());
        Type(dlg.m_clipAmount, "lots");
        Type(dlg.m_thresholdFactor, "9");
        Type(dlg.m_initialTrim, "-1");
        QTest::mouseClick(dlg.m_ok, Qt::LeftButton);
        QCOMPARE(m_messages.last(), QString("Please enter a number."));
        QCOMPARE(dlg.focusWidget(), dlg.m_clipAmount);
        QCOMPARE(dlg.m_clipAmount->selectedText(), QString("lots"));

        Type(dlg.m_clipAmount, "0.1");
        QTest::mouseClick(dlg.m_ok, Qt::LeftButton);
        QCOMPARE(m_messages.last(), QString("Please enter a number between 0 and 5."));
        QCOMPARE(dlg.focusWidget(), dlg.m_thresholdFactor);

        Type(dlg.m_thresholdFactor, "nan");
        QTest::mouseClick(dlg.m_ok, Qt::LeftButton);
        QCOMPARE(m_messages.last(), QString("Please enter a number between 0 and 5."));

        Type(dlg.m_thresholdFactor, "4.5");
        QTest::mouseClick(dlg.m_ok, Qt::LeftButton);
        QCOMPARE(m_messages.last(), QString("Please enter a positive integer."));
        QCOMPARE(dlg.focusWidget(), dlg.m_initialTrim);
        QCOMPARE(m_messages.size(), 4);
        QVERIFY(dlg.isVisible());
    }

    void restoreDefaultsThenCancelStoresNothing()
    {
        StoreRaw(CProcessingSettings::kTimeConstantKey, "0.750000");
        StoreRaw(CProcessingSettings::kClipAmountKey, "0.100000");
        StoreRaw(CProcessingSettings::kThresholdFactorKey, "2.000000");
        StoreRaw(CProcessingSettings::kInitialTrimKey, "100");
        RecordProcessingParams params = CProcessingSettings::Load();
        params.gain = 3.25;
        CRecSettingsDlg dlg;
        Open(dlg, params);
        QCOMPARE(dlg.m_timeConstant->text(), QString("0.75"));

        QTest::mouseClick(dlg.m_restoreDefaults, Qt::LeftButton);
        QCOMPARE(dlg.m_timeConstant->text(), QString("0.9998"));
        QCOMPARE(dlg.m_clipAmount->text(), QString("0.02"));
        QCOMPARE(dlg.m_thresholdFactor->text(), QString("1"));
        QCOMPARE(dlg.m_initialTrim->text(), QString("500"));
        QCOMPARE(dlg.m_gain->text(), QString("3.25"));
        QVERIFY(dlg.isVisible());

        QTest::mouseClick(dlg.m_cancel, Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(dlg.m_params.timeConstant, 0.75);
        QCOMPARE(dlg.m_params.initialTrim, 100);
        QCOMPARE(Stored(CProcessingSettings::kTimeConstantKey), QString("0.750000"));
        QCOMPARE(Stored(CProcessingSettings::kInitialTrimKey), QString("100"));
        QVERIFY(m_messages.isEmpty());
    }

    void titleBarCloseChecksThenCancels()
    {
        CRecSettingsDlg bad;
        Open(bad, RecordProcessingParams());
        Type(bad.m_timeConstant, "0.2");
        QVERIFY(bad.close());
        QCOMPARE(m_messages, QStringList{"Please enter a number between 0.5 and 1."});
        QVERIFY(!bad.isVisible());
        QCOMPARE(bad.result(), int(QDialog::Rejected));
        QCOMPARE(bad.m_params.timeConstant, RecordProcessingParams::kDefaultTimeConstant);

        // Valid boxes: no message, and still nothing taken.
        m_messages.clear();
        CRecSettingsDlg good;
        Open(good, RecordProcessingParams());
        Type(good.m_initialTrim, "250");
        QVERIFY(good.close());
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(good.result(), int(QDialog::Rejected));
        QCOMPARE(good.m_params.initialTrim, 500);
    }

    void escapeCancelsWithoutCheckingAndEnterPressesOk()
    {
        CRecSettingsDlg dlg;
        Open(dlg, RecordProcessingParams());
        Type(dlg.m_timeConstant, "bad");
        QTest::keyClick(dlg.m_timeConstant, Qt::Key_Escape);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(m_messages.isEmpty());

        CRecSettingsDlg enter;
        Open(enter, RecordProcessingParams());
        Type(enter.m_clipAmount, "0.05");
        QTest::keyClick(enter.m_clipAmount, Qt::Key_Return);
        QCOMPARE(enter.result(), int(QDialog::Accepted));
        QCOMPARE(enter.m_params.clipAmount, 0.05);
    }

    void okStoresTheParametersAsText()
    {
        CRecSettingsDlg dlg;
        dlg.m_report = [this](const QString& text) { m_messages << text; };
        dlg.m_params = CProcessingSettings::Load();
        // Run modally as the edit dialog does.
        QTimer::singleShot(0, &dlg, [&dlg] { QTest::mouseClick(dlg.m_ok, Qt::LeftButton); });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        CProcessingSettings::Store(dlg.m_params);
        QCOMPARE(Stored(CProcessingSettings::kTimeConstantKey), QString("0.999800"));
        QCOMPARE(Stored(CProcessingSettings::kClipAmountKey), QString("0.020000"));
        QCOMPARE(Stored(CProcessingSettings::kThresholdFactorKey), QString("1.000000"));
        QCOMPARE(Stored(CProcessingSettings::kInitialTrimKey), QString("500"));

        // What was stored comes back.
        RecordProcessingParams changed;
        changed.timeConstant = 0.5;
        changed.clipAmount = 0.125;
        changed.thresholdFactor = 4.75;
        changed.initialTrim = 1999;
        changed.gain = 99;  // results are not stored
        CProcessingSettings::Store(changed);
        const RecordProcessingParams back = CProcessingSettings::Load();
        QCOMPARE(back.timeConstant, 0.5);
        QCOMPARE(back.clipAmount, 0.125);
        QCOMPARE(back.thresholdFactor, 4.75);
        QCOMPARE(back.initialTrim, 1999);
        QCOMPARE(back.gain, 0.0);
        QCOMPARE(Stored(CProcessingSettings::kInitialTrimKey), QString("1999"));
        QVERIFY(m_messages.isEmpty());
    }

    // ---- Make Silence

    void silenceRangeFollowsTheRoomLeft()
    {
        CTXMakeSilence full;
        QCOMPARE(full.m_amount, 0u);
        Open(full, 4120577);
        QCOMPARE(full.windowTitle(), QString("Make Silence"));
        QCOMPARE(full.m_range->text(), QString("(0 - 1000)"));
        QCOMPARE(full.m_amountBox->text(), QString("0"));
        QCOMPARE(full.focusWidget(), full.m_amountBox);

        CTXMakeSilence half;
        Open(half, 4000);
        QCOMPARE(half.m_range->text(), QString("(0 - 500)"));
        // Opened again with less room, it shows the new range.
        half.reject();
        Open(half, 7);
        QCOMPARE(half.m_range->text(), QString("(0 - 0)"));
    }

    void silenceAboveTheMaximumIsRefused()
    {
        CTXMakeSilence dlg;
        Open(dlg, 4000);
        Type(dlg.m_amountBox, "600");
        QTest::mouseClick(dlg.m_ok, Qt::LeftButton);
        QCOMPARE(m_messages, QStringList{"Please enter a value between 0 and 500"});
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.m_amountBox->text(), QString("600"));
        QCOMPARE(dlg.focusWidget(), dlg.m_amountBox);

        Type(dlg.m_amountBox, "500");
        QTest::mouseClick(dlg.m_ok, Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.m_amount, 500u);
        QCOMPARE(m_messages.size(), 1);
    }

    void silenceWithoutRoomAcceptsOnlyZero()
    {
        CTXMakeSilence dlg;
        Open(dlg, 7);
        QCOMPARE(dlg.m_range->text(), QString("(0 - 0)"));
        Type(dlg.m_amountBox, "1");
        QTest::mouseClick(dlg.m_ok, Qt::LeftButton);
        QCOMPARE(m_messages, QStringList{"Please enter a value between 0 and 0"});
        Type(dlg.m_amountBox, "0");
        QTest::mouseClick(dlg.m_ok, Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.m_amount, 0u);
    }

    void silenceRefusesLettersAndMoreThanASecond()
    {
        CTXMakeSilence dlg;
        Open(dlg, 4120577);
        Type(dlg.m_amountBox, "12ms");
        QTest::mouseClick(dlg.m_ok, Qt::LeftButton);
        QCOMPARE(m_messages.last(), QString("Please enter a positive integer."));
        Type(dlg.m_amountBox, "1001");
        QTest::mouseClick(dlg.m_ok, Qt::LeftButton);
        QCOMPARE(m_messages.last(), QString("Please enter an integer between 0 and 1000."));
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.m_amount, 0u);
    }

    void silenceEnterAndEscape()
    {
        CTXMakeSilence enter;
        Open(enter, 4120577);
        // The box's "0" is selected: typing replaces it.
        QTest::keyClicks(enter.m_amountBox, "250");
        QCOMPARE(enter.m_amountBox->text(), QString("250"));
        QTest::keyClick(enter.m_amountBox, Qt::Key_Return);
        QCOMPARE(enter.result(), int(QDialog::Accepted));
        QCOMPARE(enter.m_amount, 250u);

        CTXMakeSilence escape;
        Open(escape, 4120577);
        QTest::keyClicks(escape.m_amountBox, "300");
        QTest::keyClick(escape.m_amountBox, Qt::Key_Escape);
        QCOMPARE(escape.result(), int(QDialog::Rejected));
        QVERIFY(!escape.isVisible());
        QCOMPARE(escape.m_amount, 0u);
        QVERIFY(m_messages.isEmpty());
    }

    void silenceRunsModally()
    {
        CTXMakeSilence dlg;
        dlg.m_report = [this](const QString& text) { m_messages << text; };
        dlg.m_roomLeft = 800;
        QTimer::singleShot(0, &dlg, [&dlg] {
            QTest::keyClicks(dlg.m_amountBox, "100");
            QTest::keyClick(dlg.m_amountBox, Qt::Key_Enter);
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QCOMPARE(dlg.m_amount, 100u);
        QCOMPARE(dlg.m_range->text(), QString("(0 - 100)"));
    }
};

int main(int argc, char** argv)
{
    // The settings store goes to a folder of its own, set before Qt reads it.
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    EditDialogsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "EditDialogsTest.moc"

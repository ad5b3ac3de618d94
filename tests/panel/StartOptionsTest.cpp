// The ormid command line as read before the application object exists:
// whether the program can show a window at all, and which file it opens.
#include <QTest>

#include <vector>

#include "CStartOptions.h"

class StartOptionsTest : public QObject {
    Q_OBJECT

private slots:
    void windowsNeedADisplayOrAPlatformWithoutOne_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("qpa");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<bool>("canShow");
        const QStringList none;
        QTest::newRow("nothing") << none << ""
                                 << ""
                                 << "" << false;
        QTest::newRow("X display") << none << ""
                                   << ":0"
                                   << "" << true;
        QTest::newRow("Wayland") << none << ""
                                 << ""
                                 << "wayland-0" << true;
        QTest::newRow("QT_QPA_PLATFORM=offscreen") << none << "offscreen"
                                                   << ""
                                                   << "" << true;
        QTest::newRow("QT_QPA_PLATFORM=minimal") << none << "minimal"
                                                 << ""
                                                 << "" << true;
        QTest::newRow("QT_QPA_PLATFORM=xcb") << none << "xcb"
                                             << ""
                                             << "" << false;
        QTest::newRow("fallback list") << none << "wayland;offscreen"
                                       << ""
                                       << "" << true;
        QTest::newRow("plugin options") << none << "offscreen:fontconfig"
                                        << ""
                                        << "" << true;
        QTest::newRow("-platform offscreen") << QStringList{"-platform", "offscreen"} << ""
                                             << ""
                                             << "" << true;
        QTest::newRow("--platform=minimal") << QStringList{"--platform=minimal"} << ""
                                            << ""
                                            << "" << true;
        // -platform wins over the environment, as in Qt.
        QTest::newRow("-platform xcb over offscreen") << QStringList{"-platform", "xcb"} << "offscreen"
                                                      << ""
                                                      << "" << false;
    }

    void windowsNeedADisplayOrAPlatformWithoutOne()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, qpa);
        QFETCH(QString, display);
        QFETCH(QString, wayland);
        QFETCH(bool, canShow);
        std::vector<QByteArray> kept{"ormid"};
        for (const QString& a : args)
            kept.push_back(a.toUtf8());
        std::vector<const char*> argv;
        for (const QByteArray& a : kept)
            argv.push_back(a.constData());
        const CStartOptions options(int(argv.size()), argv.data());
        const QByteArray q = qpa.toUtf8(), d = display.toUtf8(), w = wayland.toUtf8();
        QCOMPARE(options.CanShowWindows(q.constData(), d.constData(), w.constData()), canShow);
        QVERIFY(options.file.empty());
    }

    void fileIsTheFirstArgumentThatIsNoOption()
    {
        // Option values are not files.
        const char* argv[] = {"ormid", "-platform", "offscreen", "--auto-close", "100", "shop.txi", "other.txi"};
        QCOMPARE(QString::fromStdString(CStartOptions(7, argv).file), QString("shop.txi"));
        const char* dashed[] = {"ormid", "--", "-odd name.txi"};
        QCOMPARE(QString::fromStdString(CStartOptions(3, dashed).file), QString("-odd name.txi"));
        QVERIFY(!CStartOptions(3, dashed).programUnits);
    }

    void programUnitsTakesTheImageThatFollowsOrNone()
    {
        const char* withImage[] = {"ormid", "--program-units", "shop.txi"};
        const CStartOptions options(3, withImage);
        QVERIFY(options.programUnits);
        QCOMPARE(QString::fromStdString(options.file), QString("shop.txi"));
        const char* alone[] = {"ormid", "-platform", "offscreen", "--program-units"};
        const CStartOptions bare(4, alone);
        QVERIFY(bare.programUnits);
        QVERIFY(bare.file.empty());
    }
};

QTEST_GUILESS_MAIN(StartOptionsTest)
#include "StartOptionsTest.moc"

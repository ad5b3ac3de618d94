// The ormid program as real processes, each in a program folder of its own
// with its own settings and runtime folders.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "OrmidVersion.h"

class ProcessTest : public QObject {
    Q_OBJECT

    struct Setup {
        QTemporaryDir root;
        QString program() const { return root.path() + "/prog/ormid"; }
        QString folder() const { return root.path() + "/prog/"; }
        QString config() const { return root.path() + "/config"; }
        QString runtime() const { return root.path() + "/run"; }
        QString settingsFile() const { return config() + "/Tarlex/ORMID.conf"; }
    };

    // A copy of the program folder (the program and its libraries), since
    // the program keeps its working files beside its executable.
    static void Prepare(Setup& s)
    {
        QVERIFY(s.root.isValid());
        QVERIFY(QDir().mkpath(s.folder()));
        QVERIFY(QDir().mkpath(s.config()));
        QVERIFY(QDir().mkpath(s.runtime()));
        QFile::setPermissions(s.runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QDir bin(ORMID_BIN_DIR);
        QStringList files = bin.entryList({"*.so", "*.so.*"}, QDir::Files);
        files << "ormid";
        for (const QString& f : files)
            QVERIFY2(QFile::copy(bin.filePath(f), s.folder() + f), qPrintable(f));
    }

    static void Start(QProcess& p, const Setup& s, const QStringList& args, bool offscreen = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (offscreen)
            env.insert("QT_QPA_PLATFORM", "offscreen");
        else
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                env.remove(name);
        env.insert("XDG_CONFIG_HOME", s.config());
        env.insert("XDG_RUNTIME_DIR", s.runtime());
        env.remove("ORMID_WORKING_FOLDER");
        // Leaks of the platform libraries at exit are not this test's subject.
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(s.root.path());
        p.start(s.program(), args);
        QVERIFY(p.waitForStarted(30000));
    }

    static void RunToEnd(const Setup& s, const QStringList& args)
    {
        QProcess p;
        Start(p, s, args);
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    // An image file of the unit's size, made by ormid-cli.
    static QString NewImage(const Setup& s, const QString& name)
    {
        const QString path = s.root.path() + "/images/" + name;
        QDir().mkpath(s.root.path() + "/images");
        if (QProcess::execute(ORMID_BIN_DIR "/ormid-cli", {"new", path}) != 0)
            return QString();
        return path;
    }

    static QStringList RecentFiles(const Setup& s)
    {
        QSettings settings(s.settingsFile(), QSettings::IniFormat);
        return settings.value("Settings/Recent files").toStringList();
    }

private slots:
    void secondCopyEndsSilently()
    {
        Setup s;
        Prepare(s);
        QProcess first;
        Start(first, s, {"--auto-close", "600000"});
        const QString lock = s.runtime() + "/ormid/TXDoruvevAzad_Tarlex_Inc.lock";
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 60000);

        QProcess second;
        second.setProcessChannelMode(QProcess::SeparateChannels);
        // Should it run after all, it closes on its own instead of hanging.
        Start(second, s, {"--auto-close", "5000"});
        QVERIFY(second.waitForFinished(120000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput(), QByteArray());
        QCOMPARE(second.readAllStandardError(), QByteArray());
        // It wrote no settings, and the first copy runs on undisturbed.
        QVERIFY(!QFile::exists(s.settingsFile()));
        QCOMPARE(first.state(), QProcess::Running);
        QVERIFY(QFile::exists(lock));

        first.kill();
        QVERIFY(first.waitForFinished(30000));
    }

    void fileOnTheCommandLineIsLoaded()
    {
        Setup s;
        Prepare(s);
        const QString shop = NewImage(s, "shop.txi");
        QVERIFY(!shop.isEmpty());
        RunToEnd(s, {"--auto-close", "100", shop});
        QCOMPARE(RecentFiles(s), QStringList{shop});
        QSettings after(s.settingsFile(), QSettings::IniFormat);
        QCOMPARE(after.value("Settings/Image file path").toString(), s.root.path() + "/images/");
    }

    void secondStartHandsOverItsFile()
    {
        Setup s;
        Prepare(s);
        const QString shop = NewImage(s, "shop.txi");
        QVERIFY(!shop.isEmpty());
        QProcess first;
        Start(first, s, {"--auto-close", "600000"});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(s.runtime() + "/ormid/TXDoruvevAzad_Tarlex_Inc.socket"), 60000);

        // Started from the file manager with a file: it hands the file to the
        // running copy and ends without a word.
        QProcess second;
        Start(second, s, {"--auto-close", "5000", shop});
        QVERIFY(second.waitForFinished(120000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput() + second.readAllStandardError(), QByteArray());
        QTRY_COMPARE_WITH_TIMEOUT(RecentFiles(s), QStringList{shop}, 60000);
        QCOMPARE(first.state(), QProcess::Running);

        first.kill();
        QVERIFY(first.waitForFinished(30000));
    }

    void withoutADisplay_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");  // what stdout and stderr hold together
        QTest::newRow("no display") << QStringList{} << 1
                                    << "ORMID needs a graphical display; run it under xvfb-run, or use ormid-cli\n";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "ormid " ORMID_VERSION "\n";
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: ormid [IMAGE.txi]";
        QTest::newRow("-platform offscreen") << QStringList{"-platform", "offscreen", "--auto-close", "100"} << 0 << "";
    }

    void withoutADisplay()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        Setup s;
        Prepare(s);
        QProcess p;
        Start(p, s, args, false);
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), exitCode);
        const QString said = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        if (output.isEmpty())
            QCOMPARE(said, QString());
        else
            QVERIFY2(said.startsWith(output), qPrintable(said));
    }

    void debugIniSwitchesTheLogOn()
    {
        Setup s;
        Prepare(s);
        RunToEnd(s, {"--auto-close", "100"});
        QVERIFY(!QFile::exists(s.folder() + "ORMID.log"));

        QFile ini(s.folder() + "TXDoruvevAzad.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[DEBUG]\nLog=1\n");
        ini.close();
        RunToEnd(s, {"--auto-close", "100"});
        QFile log(s.folder() + "ORMID.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().split('\n');
        QCOMPARE(lines.size(), 3);  // two lines and the empty rest after the last
        const QRegularExpression stamp("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d - ");
        QVERIFY(QString(lines[0]).contains(stamp));
        QVERIFY(lines[0].endsWith(" - Log open\r"));
        QVERIFY(QString(lines[1]).contains(stamp));
        QVERIFY(lines[1].endsWith(" - Log close\r"));
        QVERIFY(lines[2].isEmpty());
    }

    void settingsOfTheLastRunAreKept()
    {
        Setup s;
        Prepare(s);
        {
            QSettings seed(s.settingsFile(), QSettings::IniFormat);
            seed.beginGroup("Settings");
            seed.setValue("Image file path", "/images/");
            seed.setValue("Import file path", "/imports/");
            seed.setValue("Export file path", "/exports/");
            seed.setValue("Baud rate combo default sel", 1);
            seed.setValue("Comm port combo default sel", 2);
        }
        RunToEnd(s, {"--auto-close", "100"});
        QSettings after(s.settingsFile(), QSettings::IniFormat);
        after.beginGroup("Settings");
        // The panel empties the image folder when it opens; nothing was
        // loaded or saved in this run.
        QVERIFY(after.contains("Image file path"));
        QCOMPARE(after.value("Image file path").toString(), QString());
        QCOMPARE(after.value("Import file path").toString(), QString("/imports/"));
        QCOMPARE(after.value("Export file path").toString(), QString("/exports/"));
        QCOMPARE(after.value("Baud rate combo default sel").toInt(), 1);
        QCOMPARE(after.value("Comm port combo default sel").toInt(), 2);
        QVERIFY(!QFile::exists(s.runtime() + "/ormid/TXDoruvevAzad_Tarlex_Inc.lock"));
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "ProcessTest.moc"

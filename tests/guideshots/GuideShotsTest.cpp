// The guide's pictures: one PNG a window, taken at twice the scale (and
// saying so), of the window's own size and not blank; the guide's PDF shows
// every one of them.
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>

#include "AppTestMain.h"
#include "CAboutDlg.h"
#include "CRecSettingsDlg.h"
#include "CTXDoruvevAzadDlg.h"
#include "CTXMakeSilence.h"

const char* const kShots[] = {"panel", "edit-recording", "settings", "silence", "unit-write", "print", "about"};

class GuideShotsTest : public QObject {
    Q_OBJECT

public:
    explicit GuideShotsTest(const QString&) { }

private slots:
    void picturesShowTheWindowsAtTwiceTheirSize()
    {
        CTXDoruvevAzadDlg panel(*TheApp());
        CAboutDlg about;
        CRecSettingsDlg settings;
        CTXMakeSilence silence;
        // Windows whose size the test can build; the others are checked for
        // being pictures of a window at all.
        const struct {
            const char* name;
            QWidget* window;
        } shots[] = {{"panel", &panel},     {"about", &about},           {"settings", &settings},
                     {"silence", &silence}, {"edit-recording", nullptr}, {"unit-write", nullptr},
                     {"print", nullptr}};
        for (const auto& shot : shots) {
            const QImage picture(QString(ORMID_GUIDE_DIR "/shots/%1.png").arg(shot.name));
            QVERIFY2(!picture.isNull(), shot.name);
            QCOMPARE(qRound(picture.dotsPerMeterX() * 0.0254), 192);
            QSet<QRgb> colours;
            for (int y = 0; y < picture.height(); y += 3)
                for (int x = 0; x < picture.width(); x += 3)
                    colours.insert(picture.pixel(x, y));
            QVERIFY2(colours.size() > 16, shot.name);
            if (shot.window) {
                shot.window->show();
                QCOMPARE(picture.size(), shot.window->size() * 2);
            } else {
                QVERIFY2(picture.width() >= 2 * 300 && picture.height() >= 2 * 150, shot.name);
            }
        }
    }

    void guidePdfShowsEveryPicture()
    {
        const QString pdfimages = QStandardPaths::findExecutable("pdfimages");
        if (pdfimages.isEmpty())
            QSKIP("pdfimages is not installed");
        QProcess list;
        list.start(pdfimages, {"-list", ORMID_BIN_DIR "/ORMID Prog Guide.pdf"});
        QVERIFY(list.waitForFinished(30000));
        // Two header lines, then one line an image: page, number, type,
        // width, height, ...
        QStringList lines = QString::fromUtf8(list.readAllStandardOutput()).trimmed().split('\n');
        QSet<QString> sizes;
        for (const QString& line : lines.mid(2)) {
            const QStringList fields = line.simplified().split(' ');
            QVERIFY(fields.size() > 4);
            sizes.insert(fields[3] + 'x' + fields[4]);
        }
        QVERIFY(lines.size() - 2 >= 7);
        for (const char* shot : kShots) {
            const QImage picture(QString(ORMID_GUIDE_DIR "/shots/%1.png").arg(shot));
            QVERIFY2(sizes.contains(QString("%1x%2").arg(picture.width()).arg(picture.height())), shot);
        }
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    return RunAppTest<GuideShotsTest>(argc, argv);
}

#include "GuideShotsTest.moc"

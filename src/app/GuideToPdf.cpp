// Build step: turns the Markdown user guide into the PDF guide of the
// program folder.  Usage: ormid-guidepdf GUIDE.md OUTPUT.pdf [FOLDER]
// The guide's pictures are read relative to FOLDER; a picture that is not
// there fails the step rather than leave an empty frame in the guide.
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 && args.size() != 4) {
        std::fprintf(stderr, "usage: ormid-guidepdf GUIDE.md OUTPUT.pdf [FOLDER]\n");
        return 2;
    }
    QFile source(args[1]);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "ormid-guidepdf: cannot read %s\n", qPrintable(args[1]));
        return 1;
    }
    const QString markdown = QString::fromUtf8(source.readAll());

    QPdfWriter writer(args[2]);
    writer.setTitle("ORMID Prog Guide");
    writer.setCreator("ORMID");
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter));

    QTextDocument document;
    QFont font("DejaVu Sans");
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    document.setDefaultStyleSheet("code { font-family: 'DejaVu Sans Mono'; }");
    const QString folder = args.size() == 4 ? args[3] : QFileInfo(args[1]).absolutePath();
    document.setBaseUrl(QUrl::fromLocalFile(folder + '/'));
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            const QString picture = folder + '/' + format.toImageFormat().name();
            if (!QFileInfo(picture).isFile()) {
                std::fprintf(stderr, "ormid-guidepdf: picture %s is missing\n", qPrintable(picture));
                return 1;
            }
        }
    }
    document.print(&writer);
    if (!QFile::exists(args[2])) {
        std::fprintf(stderr, "ormid-guidepdf: %s was not written\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}

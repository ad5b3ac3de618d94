// Build step: turns the Markdown user guide into the PDF guide of the
// program folder.  Usage: ormid-guidepdf GUIDE.md OUTPUT.pdf [PICTURES]
// Pictures the guide names by relative paths ("shots/panel.png") are taken
// from the folder PICTURES (by default the guide's own folder).
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 && args.size() != 4) {
        std::fprintf(stderr, "usage: ormid-guidepdf GUIDE.md OUTPUT.pdf [PICTURES]\n");
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
    const QString pictures = args.size() == 4 ? args[3] : QFileInfo(args[1]).absolutePath();
    // The document's own address: printing works on a copy, which keeps it.
    document.setMetaInformation(QTextDocument::DocumentUrl, QUrl::fromLocalFile(pictures + '/').toString());
    QFont font("DejaVu Sans");
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    document.setDefaultStyleSheet("code { font-family: 'DejaVu Sans Mono'; }");
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    document.print(&writer);
    if (!QFile::exists(args[2])) {
        std::fprintf(stderr, "ormid-guidepdf: %s was not written\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}

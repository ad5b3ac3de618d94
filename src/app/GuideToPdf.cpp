// Build step: turns the Markdown user guide into the PDF guide of the
// program folder.  Usage: ormid-guidepdf GUIDE.md OUTPUT.pdf [FOLDER]
// The guide's pictures are read relative to FOLDER; a picture that is not
// there fails the step rather than leave an empty frame in the guide.
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>

#include <algorithm>
#include <cstdio>

namespace {

// 96 dots an inch, the resolution the document lays pictures out at.
const double kScreenDotsPerMeter = 96 / 0.0254;

}  // namespace

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
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20),
                                     QPageLayout::Millimeter));

    QTextDocument document;
    QFont font("DejaVu Sans");
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    document.setDefaultStyleSheet("code { font-family: 'DejaVu Sans Mono'; }");
    const QString folder = args.size() == 4 ? args[3] : QFileInfo(args[1]).absolutePath();
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    // Every picture, checked and handed over as a resource: printing lays
    // out a copy of the document, which does not look for files. A picture
    // of more than 96 dots an inch (its PNG says so) is set at its size on
    // the screen, finer; one wider than the text column is set smaller.
    // The width of the text column at 96 dots an inch: the page's printable
    // width less the 2 cm that printing keeps clear on either side.
    const double column = writer.width() * 96.0 / writer.resolution() - 2 * (2 / 2.54 * 96);
    QList<QPair<int, QTextImageFormat>> pictures;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            const QImage picture(folder + '/' + format.name());
            if (picture.isNull()) {
                std::fprintf(stderr, "ormid-guidepdf: picture %s/%s is missing\n", qPrintable(folder),
                             qPrintable(format.name()));
                return 1;
            }
            document.addResource(QTextDocument::ImageResource, QUrl(format.name()), picture);
            double scale = picture.dotsPerMeterX() > 0 ? kScreenDotsPerMeter / picture.dotsPerMeterX() : 1.0;
            scale = std::min(scale, column / picture.width());
            format.setWidth(picture.width() * scale);
            format.setHeight(picture.height() * scale);
            pictures.append({fragment.position(), format});
        }
    }
    for (const auto& [position, format] : pictures) {
        QTextCursor cursor(&document);
        cursor.setPosition(position);
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
    }
    document.print(&writer);
    if (!QFile::exists(args[2])) {
        std::fprintf(stderr, "ormid-guidepdf: %s was not written\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}

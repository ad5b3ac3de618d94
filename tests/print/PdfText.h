// A printed PDF read back as words with their boxes (pdftotext -bbox) and as
// pictures of its pages (pdftoppm), for checking where things landed.
#pragma once

#include <QImage>
#include <QRegularExpression>
#include <QString>

#include <cstdio>
#include <string>
#include <vector>

struct PdfWord {
    int page;                       // 1, 2, ...
    double xMin, yMin, xMax, yMax;  // points from the top left of the sheet
    std::string text;
    double CenterX() const { return (xMin + xMax) / 2; }
    double CenterY() const { return (yMin + yMax) / 2; }
};

inline std::string RunCommand(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

struct PdfText {
    std::vector<PdfWord> words;
    int pages = 0;

    explicit PdfText(const std::string& pdf)
    {
        const QString html = QString::fromStdString(RunCommand("pdftotext -bbox '" + pdf + "' - 2>/dev/null"));
        static const QRegularExpression tag(
            R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
        auto it = tag.globalMatch(html);
        while (it.hasNext()) {
            const auto m = it.next();
            if (m.captured(0) == "<page ") {
                ++pages;
                continue;
            }
            QString text = m.captured(5);
            text.replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"");
            words.push_back({pages, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                             m.captured(4).toDouble(), text.toStdString()});
        }
    }
    // Every word with this text, in reading order.
    std::vector<PdfWord> All(const std::string& text) const
    {
        std::vector<PdfWord> found;
        for (const PdfWord& w : words)
            if (w.text == text)
                found.push_back(w);
        return found;
    }
    int Count(const std::string& text) const { return int(All(text).size()); }
    // The one word with this text (a word with page 0 when there is none).
    PdfWord One(const std::string& text) const
    {
        const auto found = All(text);
        return found.size() == 1 ? found[0] : PdfWord{0, 0, 0, 0, 0, text};
    }
    // The words of one printed line, by its top edge.
    std::vector<std::string> Line(int page, double yMin) const
    {
        std::vector<std::string> line;
        for (const PdfWord& w : words)
            if (w.page == page && std::abs(w.yMin - yMin) < 0.5)
                line.push_back(w.text);
        return line;
    }
};

// The first page at the given resolution.
inline QImage RenderPage(const std::string& pdf, const std::string& folder, int dpi)
{
    const std::string stem = folder + "/render";
    RunCommand("pdftoppm -png -r " + std::to_string(dpi) + " -f 1 -l 1 -singlefile '" + pdf + "' '" + stem + "'");
    return QImage(QString::fromStdString(stem + ".png")).convertToFormat(QImage::Format_Grayscale8);
}

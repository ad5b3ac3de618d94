#include "CManPage.h"

#include <sstream>
#include <vector>

namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A line of roff must not start with a control character.
std::string SafeStart(const std::string& line)
{
    if (!line.empty() && (line[0] == '.' || line[0] == '\''))
        return "\\&" + line;
    return line;
}

std::string Quoted(const std::string& text)
{
    return "\"" + Replace(text, "\"", "\\(dq") + "\"";
}

}  // namespace

std::string CManPage::Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";  // a real minus, so options can be copied
        else
            out += c;
    }
    return out;
}

std::string CManPage::Inline(const std::string& text)
{
    std::string out;
    bool bold = false, italic = false;
    auto font = [&]() { return bold ? "\\fB" : italic ? "\\fI" : "\\fR"; };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        // "\*" and "\`" stand for the character itself.
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '*' || text[i + 1] == '`')) {
            out += text[++i];
            continue;
        }
        if (c == '`') {
            const size_t end = text.find('`', i + 1);
            if (end != std::string::npos) {
                out += "\\fB" + Escape(text.substr(i + 1, end - i - 1)) + font();
                i = end;
                continue;
            }
        }
        if (c == '*' && i + 1 < text.size() && text[i + 1] == '*') {
            bold = !bold;
            out += font();
            ++i;
            continue;
        }
        // A lone '*' sets italics only where it opens or closes a word, so
        // "a * b" and "*.txi" stay as written.
        if (c == '*') {
            const bool opens = !italic && i + 1 < text.size() && text[i + 1] != ' ' && text[i + 1] != '.' &&
                               text.find('*', i + 1) != std::string::npos;
            const bool closes = italic && i > 0 && text[i - 1] != ' ';
            if (opens || closes) {
                italic = !italic;
                out += font();
                continue;
            }
        }
        out += Escape(std::string(1, c));
    }
    if (bold || italic)
        out += "\\fR";
    return SafeStart(out);
}

bool CManPage::ToRoff(const std::string& markdown, const std::string& version, std::string& roff, std::string& error)
{
    std::vector<std::string> lines;
    {
        std::istringstream in(Replace(markdown, "@VERSION@", version));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
    }
    if (lines.empty() || !StartsWith(lines[0], "% ")) {
        error = "the first line must be \"% NAME SECTION\"";
        return false;
    }
    std::istringstream title(lines[0].substr(2));
    std::string name, section;
    title >> name >> section;
    if (name.empty() || section.empty()) {
        error = "the first line must be \"% NAME SECTION\"";
        return false;
    }

    std::ostringstream out;
    out << ".\\\" Generated from Markdown by ormid-manpage; edit the source in docs/man.\n";
    out << ".TH " << Quoted(name) << " " << section << " \"\" " << Quoted("ORMID " + version) << " "
        << Quoted("ORMID Manual") << "\n";

    // After a heading or a list item the next text continues without a new
    // paragraph; after a blank line it starts one.
    bool newParagraph = false;
    bool afterHeading = true;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (Trim(line).empty()) {
            newParagraph = true;
            continue;
        }
        if (StartsWith(line, "```")) {
            size_t end = i + 1;
            while (end < lines.size() && !StartsWith(lines[end], "```"))
                ++end;
            if (end == lines.size()) {
                error = "line " + std::to_string(i + 1) + ": example not closed with ```";
                return false;
            }
            out << ".PP\n.RS 4\n.EX\n";
            for (size_t k = i + 1; k < end; ++k)
                out << SafeStart(Escape(lines[k])) << "\n";
            out << ".EE\n.RE\n";
            i = end;
            newParagraph = true;
            afterHeading = false;
            continue;
        }
        if (StartsWith(line, "## ")) {
            // .SS takes its text as one argument; font changes work inside.
            out << ".SS " << Quoted(Inline(Trim(line.substr(3)))) << "\n";
            newParagraph = false;
            afterHeading = true;
            continue;
        }
        if (StartsWith(line, "# ")) {
            out << ".SH " << Quoted(Escape(Trim(line.substr(2)))) << "\n";
            newParagraph = false;
            afterHeading = true;
            continue;
        }
        // Continuation lines of a definition or a bullet item are indented.
        auto continuation = [&](size_t from, std::string text) {
            size_t k = from;
            while (k < lines.size() && StartsWith(lines[k], "  ") && !Trim(lines[k]).empty()) {
                text += " " + Trim(lines[k]);
                ++k;
            }
            out << Inline(text) << "\n";
            return k - 1;
        };
        if (StartsWith(line, "- ")) {
            out << ".IP \\(bu 2\n";
            i = continuation(i + 1, Trim(line.substr(2)));
            newParagraph = false;
            afterHeading = false;
            continue;
        }
        if (i + 1 < lines.size() && StartsWith(lines[i + 1], ": ")) {
            out << ".TP\n" << Inline(Trim(line)) << "\n";
            i = continuation(i + 2, Trim(lines[i + 1].substr(2)));
            newParagraph = false;
            afterHeading = false;
            continue;
        }
        if (StartsWith(line, ": ")) {
            error = "line " + std::to_string(i + 1) + ": a description without its term";
            return false;
        }
        if (newParagraph && !afterHeading)
            out << ".PP\n";
        out << Inline(Trim(line)) << "\n";
        newParagraph = false;
        afterHeading = false;
    }
    roff = out.str();
    return true;
}

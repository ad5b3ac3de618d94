#include "CReportCsv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sstream>

namespace {

const char* const kColumns[] = {"time",   "port",      "image",   "image_crc32",
                                "result", "status",    "seconds", "sectors_written",
                                "verify", "differing", "host",    "user"};

std::string Cell(const QJsonValue& value)
{
    if (value.isArray()) {
        std::string list;
        for (const QJsonValue& item : value.toArray())
            list += (list.empty() ? "" : " ") + std::to_string(item.toInteger());
        return list;
    }
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (number == double(qint64(number)))
            return std::to_string(qint64(number));
        return QString::number(number, 'f', 1).toStdString();
    }
    return value.toString().toStdString();
}

}  // namespace

std::string CReportCsv::Field(const std::string& text)
{
    std::string cell = text;
    // =, +, - and @ open a formula in a spreadsheet: a port or image name
    // must never run as one.
    if (!cell.empty() && (cell[0] == '=' || cell[0] == '+' || cell[0] == '-' || cell[0] == '@'))
        cell = "'" + cell;
    if (cell.find_first_of(",\"\r\n") == std::string::npos)
        return cell;
    std::string quoted = "\"";
    for (char c : cell)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string CReportCsv::FromJsonLines(const std::string& lines, size_t& skipped)
{
    skipped = 0;
    std::string csv;
    for (const char* column : kColumns)
        csv += std::string(csv.empty() ? "" : ",") + column;
    csv += "\r\n";
    std::istringstream in(lines);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject() || !document.object().contains("port")) {
            ++skipped;
            continue;
        }
        const QJsonObject object = document.object();
        std::string row;
        bool first = true;
        for (const char* column : kColumns) {
            row += (first ? "" : ",") + Field(Cell(object.value(column)));
            first = false;
        }
        csv += row + "\r\n";
    }
    return csv;
}

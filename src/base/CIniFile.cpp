#include "CIniFile.h"

#include <strings.h>

#include <cstring>

#include "CGetAppPath.h"
#include "SafeFile.h"

namespace {

// Far more than any settings file holds.
constexpr size_t kMaxIniBytes = 1 << 20;

// Case-blind, and over the whole text: a NUL inside a line does not end it,
// so "Log\0junk" is not the key "Log".
bool SameText(const std::string& text, const char* wanted)
{
    const size_t n = std::strlen(wanted);
    return text.size() == n && strncasecmp(text.data(), wanted, n) == 0;
}

}  // namespace

CIniFile::CIniFile() : CIniFile(CGetAppPath::WorkingFolder()) { }

CIniFile::CIniFile(const std::string& folder) : m_folder(folder)
{
    while (m_folder.size() > 1 && m_folder.back() == '/')
        m_folder.pop_back();
}

bool CIniFile::OpenFile(const char* fileName)
{
    Close();
    if (!fileName)
        return false;
    std::string text;
    int error = 0;
    if (!ReadRegularFile(m_folder + "/" + fileName, text, kMaxIniBytes, error))
        return false;
    m_stream.str(text);
    m_stream.clear();
    m_isOpen = true;
    return true;
}

void CIniFile::Close()
{
    m_stream.str(std::string());
    m_stream.clear();
    m_isOpen = false;
}

// Reads up to the delimiter. False at the end of the file and for a text that
// is longer than a line may be. A CR before a line end is dropped, so files
// written with CR LF line ends read like the others.
bool CIniFile::ReadLine(std::string& line, char delimiter)
{
    line.clear();
    char c;
    bool any = false;
    while (m_stream.get(c)) {
        any = true;
        if (c == delimiter)
            break;
        line += c;
        if (line.size() > kMaxLine)
            return false;
    }
    if (!any)
        return false;
    if (delimiter == '\n' && !line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

bool CIniFile::FindSection(const char* section)
{
    if (!m_isOpen || !section)
        return false;
    m_stream.clear();
    m_stream.seekg(0);
    std::string line;
    while (ReadLine(line, '\n')) {
        if (SameText(line, section))
            return true;
    }
    return false;
}

bool CIniFile::FindKey(const char* key, std::string& value)
{
    if (!m_isOpen || !key)
        return false;
    std::string keyText, rest;
    for (;;) {
        if (!ReadLine(keyText, '=') || m_stream.eof())
            return false;
        if (keyText.empty() || keyText[0] == '[')
            return false;
        const bool match = SameText(keyText, key);
        const bool read = ReadLine(rest, '\n');
        const size_t nl = keyText.rfind('\n');
        const size_t lineLength =
            (nl == std::string::npos ? keyText.size() : keyText.size() - nl - 1) + 1 + rest.size();
        if (lineLength > kMaxLine || (!read && !match))
            return false;
        if (match) {
            value = rest;
            return true;
        }
    }
}

bool CIniFile::ReadValue(const char* fileName, const char* section, const char* key, std::string& value)
{
    const bool found = OpenFile(fileName) && FindSection(section) && FindKey(key, value);
    Close();
    return found;
}

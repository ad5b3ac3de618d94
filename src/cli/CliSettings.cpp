#include "CliSettings.h"

#include "ProgramSettings.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string WithSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string Trimmed(const std::string& text)
{
    const size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string::npos)
        return std::string();
    return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

// A key as the file writes it: every byte but letters, digits and a few
// marks as %XX.
std::string DecodedKey(const std::string& key)
{
    std::string out;
    for (size_t i = 0; i < key.size(); ++i) {
        if (key[i] == '%' && i + 2 < key.size() && HexValue(key[i + 1]) >= 0 && HexValue(key[i + 2]) >= 0) {
            out += char(HexValue(key[i + 1]) * 16 + HexValue(key[i + 2]));
            i += 2;
        } else {
            out += key[i];
        }
    }
    return out;
}

void AppendUtf8(std::string& out, unsigned code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// A string value: quoted or not, with its backslash escapes undone; an
// unquoted comma would start a list, whose first item is taken.
std::string DecodedValue(const std::string& raw)
{
    std::string out;
    bool quoted = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            break;
        } else if (c == '\\' && i + 1 < raw.size()) {
            const char e = raw[++i];
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '0':
                out += '\0';
                break;
            case 'x': {
                unsigned code = 0;
                while (i + 1 < raw.size() && HexValue(raw[i + 1]) >= 0)
                    code = code * 16 + unsigned(HexValue(raw[++i]));
                AppendUtf8(out, code);
                break;
            }
            default:
                out += e;
            }
        } else {
            out += c;
        }
    }
    // A text that begins with '@' is stored with a second one.
    if (out.rfind("@@", 0) == 0)
        out.erase(0, 1);
    return out;
}

}  // namespace

std::string SettingsFilePath()
{
    std::string config = Env("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/') {
        const std::string home = Env("HOME");
        if (home.empty())
            return std::string();
        config = WithSlash(home) + ".config";
    }
    return WithSlash(config) + ProgramSettings::FileInConfigFolder();
}

std::string SettingFromText(const std::string& text, const std::string& key)
{
    bool inSection = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Trimmed(text.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inSection = line == std::string("[") + ProgramSettings::kSection + "]";
            continue;
        }
        const size_t eq = line.find('=');
        if (inSection && eq != std::string::npos && DecodedKey(Trimmed(line.substr(0, eq))) == key)
            return DecodedValue(Trimmed(line.substr(eq + 1)));
    }
    return std::string();
}

std::string ReadProgramSetting(const std::string& key)
{
    std::ifstream in(SettingsFilePath(), std::ios::binary);
    return SettingFromText(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), key);
}

#include "CFieldCheck.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <locale.h>

const char* const CFieldCheck::kNotNumberText = "Please enter a number.";
const char* const CFieldCheck::kNotUIntText = "Please enter a positive integer.";

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

const char* SkipBlanks(const char* p)
{
    while (IsBlank(*p))
        ++p;
    return p;
}

// strtod in the "C" locale: the program runs under the operator's locale, but
// numbers in boxes and in the settings always use '.'.
double StrToDoubleC(const char* text, char** end)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return strtod_l(text, end, cLocale);
}

std::string Replace(std::string text, const char* key, const std::string& value)
{
    const auto at = text.find(key);
    if (at != std::string::npos)
        text.replace(at, std::char_traits<char>::length(key), value);
    return text;
}

}  // namespace

std::string CFieldCheck::FormatNumber(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    return std::string(buffer, result.ptr);
}

std::string CFieldCheck::FormatResult(double value)
{
    if (!std::isfinite(value))
        return FormatNumber(value);
    if (value == 0)
        return "0";
    const int decimals = std::clamp(2 - int(std::floor(std::log10(std::fabs(value)))), 0, 6);
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text(buffer, result.ptr);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    // A tiny value rounds to nothing, whatever its sign.
    return text == "-0" ? std::string("0") : text;
}

std::string CFieldCheck::FormatFixed(double value)
{
    // Room for the largest double written out in full.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0.000000");
}

std::string CFieldCheck::NumberRangeText(double min, double max)
{
    return Replace(Replace("Please enter a number between %1 and %2.", "%1", FormatNumber(min)), "%2",
                   FormatNumber(max));
}

std::string CFieldCheck::IntegerRangeText(uint32_t min, uint32_t max)
{
    return Replace(Replace("Please enter an integer between %1 and %2.", "%1", std::to_string(min)), "%2",
                   std::to_string(max));
}

bool CFieldCheck::ReadDouble(const std::string& text, double min, double max, double& value, std::string& message)
{
    const char* start = SkipBlanks(text.c_str());
    char* end = nullptr;
    const double read = StrToDoubleC(start, &end);
    if (end == start || *SkipBlanks(end) != '\0') {
        message = kNotNumberText;
        return false;
    }
    // A "nan" passes every comparison; it is no value in any range.
    if (std::isnan(read) || read < min || read > max) {
        message = NumberRangeText(min, max);
        return false;
    }
    value = read;
    return true;
}

bool CFieldCheck::ReadUInt(const std::string& text, uint32_t min, uint32_t max, uint32_t& value, std::string& message)
{
    const char* p = SkipBlanks(text.c_str());
    if (*p == '+')
        ++p;
    uint64_t read = 0;
    const char* digits = p;
    while (*p >= '0' && *p <= '9') {
        read = read * 10 + uint64_t(*p - '0');
        if (read > UINT32_MAX) {
            message = kNotUIntText;
            return false;
        }
        ++p;
    }
    if (p == digits || *SkipBlanks(p) != '\0') {
        message = kNotUIntText;
        return false;
    }
    if (read < min || read > max) {
        message = IntegerRangeText(min, max);
        return false;
    }
    value = uint32_t(read);
    return true;
}

double CFieldCheck::TextToDouble(const std::string& text)
{
    char* end = nullptr;
    const double read = StrToDoubleC(text.c_str(), &end);
    return end == text.c_str() ? 0.0 : read;
}

int32_t CFieldCheck::TextToInt(const std::string& text)
{
    const long long read = std::strtoll(text.c_str(), nullptr, 10);
    if (read > INT32_MAX)
        return INT32_MAX;
    if (read < INT32_MIN)
        return INT32_MIN;
    return int32_t(read);
}

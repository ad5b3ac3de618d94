// The rules by which a dialog box reads a number out of an edit box, and the
// field messages it shows when the text breaks them. Plain text in, value or
// message out, so that every dialog (and its tests) reads numbers alike.
#pragma once

#include <cstdint>
#include <string>

class CFieldCheck {
public:
    // A double box: blanks around one number in the standard text-to-number
    // form. Out of [min, max] (ends included, and not a number at all, "nan")
    // gives the range message. On failure value is left alone.
    static bool ReadDouble(const std::string& text, double min, double max, double& value, std::string& message);

    // An unsigned integer box: blanks around decimal digits (a leading '+'
    // allowed), no sign, nothing beyond 32 bits; then the range [min, max].
    static bool ReadUInt(const std::string& text, uint32_t min, uint32_t max, uint32_t& value, std::string& message);

    // How a double shows in a box: 15 significant digits, shortest form
    // (0.9998 -> "0.9998", 1.0 -> "1").
    static std::string FormatNumber(double value);
    // How a result (gain, clip count, signal-to-noise ratio) shows: rounded
    // to three significant digits, never fewer than the whole number, trailing
    // zeros dropped (-1.06175 -> "-1.06", 88.1234 -> "88.1", 37 -> "37").
    static std::string FormatResult(double value);
    // printf's "%f": six decimals, whatever the program's locale ("0.999800").
    static std::string FormatFixed(double value);

    // The standard text-to-number conversions (as atof and atoi): leading
    // blanks, then the longest number that starts the text; 0 when none does.
    // The decimal point is '.', whatever the locale. TextToInt saturates at
    // the ends of the 32-bit range.
    static double TextToDouble(const std::string& text);
    static int32_t TextToInt(const std::string& text);

    static const char* const kNotNumberText;  // "Please enter a number."
    static const char* const kNotUIntText;    // "Please enter a positive integer."

    // "Please enter a number between %1 and %2." with both ends in the box format.
    static std::string NumberRangeText(double min, double max);
    // "Please enter an integer between %1 and %2."
    static std::string IntegerRangeText(uint32_t min, uint32_t max);
};

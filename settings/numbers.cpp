// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "settings/numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace korvane {

namespace {

constexpr double kLargest = std::numeric_limits<double>::max();

bool isSkipped(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Value of one digit in the given base, or -1 when the character is not such a digit.
int digitValue(char c, int base)
{
    int v = -1;
    if (isDigit(c)) {
        v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        v = c - 'A' + 10;
    }
    return v < base ? v : -1;
}

// Overflow is clamped to the largest finite double rather than infinity, so that every value a
// setting can hold stays finite and safe to compare, round and convert further on.
double clampFinite(double v)
{
    if (v > kLargest) {
        return kLargest;
    }
    if (v < -kLargest) {
        return -kLargest;
    }
    return v;
}

double parseRadix(std::string_view digits, int base)
{
    double value = 0;
    for (char c : digits) {
        const int d = digitValue(c, base);
        if (d < 0) {
            break;
        }
        value = value * base + d;
    }
    return clampFinite(value);
}

// Power of ten of the leading non-zero digit of a well-formed decimal number ("123" -> 2,
// "0.05" -> -2, "1e7" -> 7), saturated far beyond the range of a double. Tells an overflow
// from an underflow when the conversion reports the value out of range.
long long decimalOrder(std::string_view number)
{
    const std::size_t ePos = number.find_first_of("eE");
    const std::string_view mantissa = number.substr(0, ePos);
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos) {
        return 0;
    }
    long long order =
        first < point ? static_cast<long long>(point - first) - 1 : -static_cast<long long>(first - point);
    if (ePos != std::string_view::npos) {
        std::string_view exponent = number.substr(ePos + 1);
        const bool negative = exponent.front() == '-';
        if (exponent.front() == '+' || exponent.front() == '-') {
            exponent.remove_prefix(1);
        }
        long long e = 0;
        for (char c : exponent) {
            e = std::min(e * 10 + (c - '0'), 1'000'000'000LL);
        }
        order += negative ? -e : e;
    }
    return order;
}

// `text` holds no skipped characters. Takes the longest prefix of the form
// [sign] digits [. digits] [(E|e) [sign] digits] and converts it.
double parseDecimal(std::string_view text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    std::size_t mantissaDigits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++mantissaDigits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0) {
        return 0;
    }
    // An exponent counts only when at least one digit follows: "1e" and "1e+" read as 1.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            ++j;
        }
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j])) {
                ++j;
            }
            i = j;
        }
    }
    const std::string_view number = text.substr(start, i - start);
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone here: too large or too small to hold.
        value = decimalOrder(number) > 0 ? kLargest : 0;
    } else if (ec != std::errc() || end != number.data() + number.size()) {
        value = 0;
    }
    value = clampFinite(value);
    return negative ? -value : value;
}

} // namespace

double parseNumber(std::string_view text)
{
    std::string compact;
    compact.reserve(text.size());
    for (char c : text) {
        if (!isSkipped(c)) {
            compact.push_back(c);
        }
    }
    if (compact.size() >= 2 && compact[0] == '&') {
        const char radix = compact[1];
        if (radix == 'H' || radix == 'h') {
            return parseRadix(std::string_view(compact).substr(2), 16);
        }
        if (radix == 'O' || radix == 'o') {
            return parseRadix(std::string_view(compact).substr(2), 8);
        }
        return 0;
    }
    return parseDecimal(compact);
}

namespace {

template <typename T>
std::string shortestText(T value, int significantDigits, char decimalSeparator)
{
    if (value == 0) {
        return "0"; // also for -0, which an operator would not expect to see
    }
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, significantDigits);
    std::string text(buffer, result.ptr);
    for (char& c : text) {
        if (c == '.') {
            c = decimalSeparator;
        }
    }
    return text;
}

} // namespace

std::string numberToText(double value, char decimalSeparator)
{
    return shortestText(value, 15, decimalSeparator);
}

std::string singleToText(float value)
{
    return shortestText(value, 7, '.');
}

std::optional<double> plainDecimal(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const auto digitsOnly = [](std::string_view d) {
        return std::ranges::all_of(d, [](char c) { return c >= '0' && c <= '9'; });
    };
    if ((whole.empty() && fraction.empty()) || !digitsOnly(whole) || !digitsOnly(fraction)) {
        return std::nullopt;
    }
    double v = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, v, std::chars_format::fixed);
    if (error != std::errc() || stop != end || !std::isfinite(v)) {
        return std::nullopt;
    }
    return negative ? -v : v;
}

} // namespace korvane

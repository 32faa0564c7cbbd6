#include "buildnumber.h"

#include <array>
#include <charconv>
#include <optional>

namespace {

constexpr std::array<std::string_view, 12> kMonths = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A field of digits only, read whole; nothing for any other character.
std::optional<unsigned> ReadDigits(std::string_view text)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

unsigned BuildNumberFromDate(std::string_view date)
{
    if (date.size() != 11 || date[3] != ' ' || date[6] != ' ')
        return 0;
    unsigned month = 0;
    while (month < kMonths.size() && kMonths[month] != date.substr(0, 3))
        ++month;
    // The compiler pads a one-digit day with a blank.
    std::string_view dayText = date.substr(4, 2);
    if (dayText.front() == ' ')
        dayText.remove_prefix(1);
    const std::optional<unsigned> day = ReadDigits(dayText);
    const std::optional<unsigned> year = ReadDigits(date.substr(7, 4));
    if (month == kMonths.size() || !day || *day < 1 || *day > 31 || !year)
        return 0;
    return *year * 10000 + (month + 1) * 100 + *day;
}

unsigned GetBuildNumber()
{
    return BuildNumberFromDate(__DATE__);
}

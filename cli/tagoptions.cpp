#include "tagoptions.h"

#include "invocation.h"
#include "tagfields.h"
#include "tagtext.h"

namespace
{

constexpr int kTagTextWidth = 30;

std::string optionName(const CliOption &option)
{
    return std::string("--") + option.longName;
}

} // namespace

std::optional<QString> tagTextOption(const Invocation &invocation, const CliOption &option)
{
    const auto text = invocation.text(option.longName);
    if (text && tagTextLength(*text) > kTagTextWidth)
        invocation.usage(optionName(option) + " takes at most 30 characters, as a tag holds them");
    return text;
}

std::optional<QString> yearOption(const Invocation &invocation)
{
    auto year = invocation.text(kYearOption.longName);
    if (!year)
        return year;
    if (year->size() > 4 ||
        !std::all_of(year->begin(), year->end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        invocation.usage("--year takes up to four digits");
    return year->leftJustified(4, QLatin1Char(' '));
}

std::optional<QString> genreOption(const Invocation &invocation)
{
    const auto given = invocation.text(kGenreOption.longName);
    if (!given)
        return given;
    const auto name = genreName(*given);
    if (!name)
        invocation.usage("--genre: no genre of the list is named or numbered '" +
                         given->toStdString() + "' (trackling-cli genres lists them)");
    return name;
}

int formatOption(const Invocation &invocation)
{
    const auto format = invocation.value(kFormatOption.longName);
    if (!format)
        return 0;
    if (*format != "0" && *format != "1" && *format != "2")
        invocation.usage("--format takes 0, 1 or 2");
    return format->toInt();
}

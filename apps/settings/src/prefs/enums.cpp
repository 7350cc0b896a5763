#include "prefs/enums.hpp"

#include "json_text/record.hpp"

namespace settings::prefs {

template <PrefsEnum E>
void to_json(json_text::Json& j, E value)
{
    j = std::string(json_name(value));
}

template <PrefsEnum E>
json_text::Status read_value(const json_text::Json& v, E& out)
{
    return json_text::read_enum(v, out, std::span<const std::string_view>(EnumTable<E>::json_names));
}

#define VORN_PREFS_ENUM_CODEC(Enum)                                     \
    template void to_json<Enum>(json_text::Json&, Enum);                \
    template json_text::Status read_value<Enum>(const json_text::Json&, Enum&)

VORN_PREFS_ENUM_CODEC(PowerAction);
VORN_PREFS_ENUM_CODEC(ColorFilter);
VORN_PREFS_ENUM_CODEC(SwitchKeyPair);
VORN_PREFS_ENUM_CODEC(ScreenReaderVoice);
VORN_PREFS_ENUM_CODEC(Currency);
VORN_PREFS_ENUM_CODEC(DateFormat);
VORN_PREFS_ENUM_CODEC(HourCycle);
VORN_PREFS_ENUM_CODEC(Measurement);
VORN_PREFS_ENUM_CODEC(NumberStyle);
VORN_PREFS_ENUM_CODEC(Weekday);

}  // namespace settings::prefs

#include "actions/payloads/codec.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include <fmt/format.h>

#include "actions/payloads/json_document.hpp"

namespace settings::actions {

namespace {

using detail::Json;
using detail::JsonDocument;

template <class T>
struct OptionalTraits : std::false_type {};
template <class T>
struct OptionalTraits<std::optional<T>> : std::true_type {
    using value_type = T;
};

template <class T>
inline constexpr bool dependent_false = false;

template <class Record>
constexpr std::size_t field_count()
{
    return std::tuple_size_v<decltype(Record::fields())>;
}

template <class Record, std::size_t I>
using field_type = typename std::tuple_element_t<I, decltype(Record::fields())>::value_type;

// The wire names of an enumeration's variants, in declaration order.
template <class E>
constexpr auto make_variant_names()
{
    if constexpr (NewtypeEnum<E>) {
        return E::variant_names;
    } else if constexpr (UnitEnum<E>) {
        return payload_enum_names(E{});
    } else {
        return []<std::size_t... I>(std::index_sequence<I...>) {
            return std::array<std::string_view, sizeof...(I)>{
                std::variant_alternative_t<I, typename E::Variant>::wire_name...};
        }(std::make_index_sequence<std::variant_size_v<typename E::Variant>>{});
    }
}
template <class E>
inline constexpr auto variant_names = make_variant_names<E>();

template <class E>
constexpr std::string_view enum_name()
{
    if constexpr (UnitEnum<E>) {
        return payload_enum_type_name(E{});
    } else {
        return E::enum_name;
    }
}

template <class T>
constexpr std::string_view integer_name()
{
    if constexpr (std::is_same_v<T, std::uint32_t>) {
        return "u32";
    } else if constexpr (std::is_same_v<T, std::uint64_t>) {
        return "u64";
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
        return "i64";
    } else {
        static_assert(dependent_false<T>, "no payload field has this integer type");
    }
}

// The descriptions are turned into small tables of functions, one entry per field and per variant; the rules of
// the form live once, in the non-template parts of Reader and Writer below.

class Reader;

// One field of a record or struct variant, with the record's address erased.
struct FieldEntry {
    std::string_view name;
    bool optional;
    void (*read)(void* record, const Json& json, Reader& reader);
    Json (*write)(const void* record);
};

// How reader messages name a record or struct variant: "struct variant E::V" or "struct OutputMode".
struct Shape {
    std::string_view enumeration;  // empty for a record
    std::string_view name;

    [[nodiscard]] std::string text() const
    {
        return enumeration.empty() ? fmt::format("struct {}", name)
                                   : fmt::format("struct variant {}::{}", enumeration, name);
    }
};

template <class Record, std::size_t I>
void read_field_at(void* record, const Json& json, Reader& reader);

template <class Record, std::size_t I>
Json write_field_at(const void* record);

// Records have at most this many fields (SetDetails has four).
inline constexpr std::size_t max_fields = 8;

template <class Record>
inline constexpr auto field_table = []<std::size_t... I>(std::index_sequence<I...>) {
    static_assert(sizeof...(I) <= max_fields);
    return std::array<FieldEntry, sizeof...(I)>{
        FieldEntry{std::get<I>(Record::fields()).name, OptionalTraits<field_type<Record, I>>::value,
                   &read_field_at<Record, I>, &write_field_at<Record, I>}...};
}(std::make_index_sequence<field_count<Record>()>{});

// ---------------------------------------------------------------------------------------------------------------
// Writer

class Writer {
public:
    template <class T>
    static Json write(const T& value)
    {
        if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, std::string>) {
            return Json(value);
        } else if constexpr (std::is_same_v<T, double>) {
            return std::isfinite(value) ? Json(value) : Json(nullptr);
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
            return Json(value);
        } else if constexpr (std::is_unsigned_v<T>) {
            return Json(static_cast<std::uint64_t>(value));
        } else if constexpr (OptionalTraits<T>::value) {
            return value ? write(*value) : Json(nullptr);
        } else if constexpr (UnitEnum<T>) {
            return Json(std::string(variant_names<T>[static_cast<std::size_t>(value)]));
        } else if constexpr (NewtypeEnum<T>) {
            return write_tagged(T::variant_names[value.value.index()],
                                std::visit([](const auto& carried) { return write(carried); }, value.value));
        } else if constexpr (OperationEnum<T>) {
            return alternative_writers<T>[value.value.index()](value);
        } else if constexpr (DescribedRecord<T>) {
            return write_fields(field_table<T>, &value);
        } else {
            static_assert(dependent_false<T>, "not a payload type");
        }
    }

private:
    static Json write_tagged(std::string_view name, Json content)
    {
        Json object = Json::object();
        object[std::string(name)] = std::move(content);
        return object;
    }

    static Json write_fields(std::span<const FieldEntry> fields, const void* record)
    {
        Json object = Json::object();
        for (const FieldEntry& field : fields) {
            object[std::string(field.name)] = field.write(record);
        }
        return object;
    }

    // A unit variant is its name; a struct variant the name holding its fields.
    template <class E, std::size_t I>
    static Json write_alternative(const E& value)
    {
        using Alt = std::variant_alternative_t<I, typename E::Variant>;
        if constexpr (field_count<Alt>() == 0) {
            return Json(std::string(Alt::wire_name));
        } else {
            return write_tagged(Alt::wire_name, write_fields(field_table<Alt>, std::get_if<I>(&value.value)));
        }
    }

    template <class E>
    static constexpr auto alternative_writers = []<std::size_t... I>(std::index_sequence<I...>) {
        return std::array<Json (*)(const E&), sizeof...(I)>{&write_alternative<E, I>...};
    }(std::make_index_sequence<std::variant_size_v<typename E::Variant>>{});
};

template <class Record, std::size_t I>
Json write_field_at(const void* record)
{
    return Writer::write(static_cast<const Record*>(record)->*std::get<I>(Record::fields()).member);
}

std::expected<std::string, std::string> dump(const Json& json, JsonStyle style)
{
    try {
        return json.dump(style == JsonStyle::Pretty ? 2 : -1, ' ', false, Json::error_handler_t::strict);
    } catch (const Json::type_error& e) {
        std::string_view what = e.what();
        if (auto end = what.find("] "); end != std::string_view::npos) {
            what.remove_prefix(end + 2);
        }
        return std::unexpected(fmt::format("payload text is not valid UTF-8 ({})", what));
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Reader

struct DecodeFailure {
    std::string message;
};

class Reader {
public:
    explicit Reader(const JsonDocument& document) : document_(document) {}

    template <class T>
    T read(const Json& json)
    {
        if constexpr (std::is_same_v<T, bool>) {
            if (!json.is_boolean()) {
                fail(invalid_type(json, "a boolean"));
            }
            return json.get<bool>();
        } else if constexpr (std::is_same_v<T, std::string>) {
            if (!json.is_string()) {
                fail(invalid_type(json, "a string"));
            }
            return json.get_ref<const std::string&>();
        } else if constexpr (std::is_same_v<T, double>) {
            // A non-finite value cannot occur: the parser refuses NaN, infinities and overflowing numbers.
            if (!json.is_number()) {
                fail(invalid_type(json, "a number"));
            }
            return json.get<double>();
        } else if constexpr (std::is_integral_v<T>) {
            return static_cast<T>(read_integer(json, integer_name<T>(), std::numeric_limits<T>::min(),
                                               std::numeric_limits<T>::max()));
        } else if constexpr (OptionalTraits<T>::value) {
            if (json.is_null()) {
                return std::nullopt;
            }
            return read<typename OptionalTraits<T>::value_type>(json);
        } else if constexpr (UnitEnum<T>) {
            const Tag tag = read_tag(json, enum_name<T>(), variant_names<T>);
            const PathStep step(path_, variant_names<T>[tag.index]);
            read_unit_content(tag.content);
            return static_cast<T>(tag.index);
        } else if constexpr (NewtypeEnum<T> || OperationEnum<T>) {
            const Tag tag = read_tag(json, T::enum_name, variant_names<T>);
            const PathStep step(path_, variant_names<T>[tag.index]);
            return alternative_readers<T>[tag.index](tag.content, *this);
        } else if constexpr (DescribedRecord<T>) {
            T record{};
            read_fields(json, Shape{{}, T::wire_name}, field_table<T>, &record);
            return record;
        } else {
            static_assert(dependent_false<T>, "not a payload type");
        }
    }

private:
    // Names the variant or field being read, for error messages, while it is in scope.
    class PathStep {
    public:
        PathStep(std::vector<std::string_view>& path, std::string_view name) : path_(path) { path_.push_back(name); }
        ~PathStep() { path_.pop_back(); }
        PathStep(const PathStep&) = delete;
        PathStep& operator=(const PathStep&) = delete;

    private:
        std::vector<std::string_view>& path_;
    };

    struct Tag {
        std::size_t index;
        const Json* content;  // none for the bare-name form
    };

    [[noreturn]] void fail(std::string description) const
    {
        if (!path_.empty()) {
            description += fmt::format(" at {}", fmt::join(path_, "."));
        }
        throw DecodeFailure{std::move(description)};
    }

    // What was found, in the words of the error messages.
    static std::string found(const Json& json)
    {
        switch (json.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::boolean:
            return fmt::format("boolean `{}`", json.get<bool>());
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
            return fmt::format("integer `{}`", json.dump());
        case Json::value_t::number_float:
            return fmt::format("floating point `{}`", json.dump());
        case Json::value_t::string:
            return fmt::format("string {}", detail::quoted_for_message(json.get_ref<const std::string&>()));
        case Json::value_t::array:
            return "sequence";
        case Json::value_t::object:
            return "map";
        default:
            return "binary data";
        }
    }

    static std::string invalid_type(const Json& json, std::string_view expected)
    {
        return fmt::format("invalid type: {}, expected {}", found(json), expected);
    }

    // A JSON integer within [min, max]; fractions and exponents are not integers, whatever their value.
    std::int64_t read_integer(const Json& json, std::string_view type, std::int64_t min, std::uint64_t max)
    {
        switch (json.type()) {
        case Json::value_t::number_unsigned:
            if (json.get<std::uint64_t>() <= max) {
                // Unsigned values above the i64 range come back through the same bits.
                return static_cast<std::int64_t>(json.get<std::uint64_t>());
            }
            break;
        case Json::value_t::number_integer:  // negative
            if (json.get<std::int64_t>() >= min) {
                return json.get<std::int64_t>();
            }
            break;
        default:
            fail(invalid_type(json, type));
        }
        fail(fmt::format("invalid value: {}, expected {}", found(json), type));
    }

    // The variant an enumeration value names: a bare name, or an object with one member.
    Tag read_tag(const Json& json, std::string_view enumeration, std::span<const std::string_view> names)
    {
        std::string_view name;
        const Json* content = nullptr;
        if (json.is_string()) {
            name = json.get_ref<const std::string&>();
        } else if (json.is_object()) {
            const auto& object = json.get_ref<const Json::object_t&>();
            const std::size_t members = object.size() + document_.repeated_keys_of(object).size();
            if (members != 1) {
                fail(fmt::format("invalid type: {}, expected a single variant of {}",
                                 members == 0 ? std::string("empty map") : fmt::format("map with {} members", members),
                                 enumeration));
            }
            name = object.front().first;
            content = &object.front().second;
        } else {
            fail(invalid_type(json, fmt::format("a variant of {}", enumeration)));
        }
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == name) {
                return {i, content};
            }
        }
        fail(unknown_variant(name, names));
    }

    static std::string unknown_variant(std::string_view name, std::span<const std::string_view> names)
    {
        std::string expected;
        if (names.size() == 1) {
            expected = fmt::format("`{}`", names[0]);
        } else if (names.size() == 2) {
            expected = fmt::format("`{}` or `{}`", names[0], names[1]);
        } else {
            expected = fmt::format("one of `{}`", fmt::join(names, "`, `"));
        }
        // The name as received, without the quotes that mark it as a string.
        const std::string quoted = detail::quoted_for_message(name);
        return fmt::format("unknown variant `{}`, expected {}", std::string_view(quoted).substr(1, quoted.size() - 2),
                           expected);
    }

    void read_unit_content(const Json* content)
    {
        if (content != nullptr && !content->is_null()) {
            fail(invalid_type(*content, "unit"));
        }
    }

    // The fields of a record or struct variant, from an array in field order or an object of named members.
    void read_fields(const Json& json, const Shape& shape, std::span<const FieldEntry> fields, void* record)
    {
        if (json.is_array()) {
            const auto& elements = json.get_ref<const Json::array_t&>();
            if (elements.size() != fields.size()) {
                fail(fmt::format("invalid length {}, expected {} with {} element{}", elements.size(), shape.text(),
                                 fields.size(), fields.size() == 1 ? "" : "s"));
            }
            for (std::size_t i = 0; i < fields.size(); ++i) {
                read_field(fields[i], elements[i], record);
            }
            return;
        }
        if (!json.is_object()) {
            fail(invalid_type(json, shape.text()));
        }
        const auto& object = json.get_ref<const Json::object_t&>();
        for (const std::string& repeated : document_.repeated_keys_of(object)) {
            if (std::ranges::any_of(fields, [&](const FieldEntry& field) { return field.name == repeated; })) {
                fail(fmt::format("duplicate field `{}`", repeated));
            }
        }
        std::array<bool, max_fields> seen{};
        for (const auto& [name, value] : object) {
            // Members that name no field are skipped.
            const auto field = std::ranges::find(fields, name, &FieldEntry::name);
            if (field != fields.end()) {
                read_field(*field, value, record);
                seen[static_cast<std::size_t>(field - fields.begin())] = true;
            }
        }
        for (std::size_t i = 0; i < fields.size(); ++i) {
            // A missing optional field is none.
            if (!seen[i] && !fields[i].optional) {
                fail(fmt::format("missing field `{}`", fields[i].name));
            }
        }
    }

    void read_field(const FieldEntry& field, const Json& json, void* record)
    {
        const PathStep step(path_, field.name);
        field.read(record, json, *this);
    }

    // The content of variant I: null or nothing for a unit variant, the fields of a struct variant, the carried
    // value of a newtype variant.
    template <class E, std::size_t I>
    static E read_alternative(const Json* content, Reader& reader)
    {
        using Alt = std::variant_alternative_t<I, typename E::Variant>;
        if constexpr (NewtypeEnum<E>) {
            if (content == nullptr) {
                reader.fail("invalid type: unit variant, expected newtype variant");
            }
            return E{typename E::Variant{std::in_place_index<I>, reader.read<Alt>(*content)}};
        } else if constexpr (field_count<Alt>() == 0) {
            reader.read_unit_content(content);
            return E{Alt{}};
        } else {
            if (content == nullptr) {
                reader.fail("invalid type: unit variant, expected struct variant");
            }
            Alt alternative{};
            reader.read_fields(*content, Shape{E::enum_name, Alt::wire_name}, field_table<Alt>, &alternative);
            return E{std::move(alternative)};
        }
    }

    template <class E>
    static constexpr auto alternative_readers = []<std::size_t... I>(std::index_sequence<I...>) {
        return std::array<E (*)(const Json*, Reader&), sizeof...(I)>{&read_alternative<E, I>...};
    }(std::make_index_sequence<std::variant_size_v<typename E::Variant>>{});

    const JsonDocument& document_;
    std::vector<std::string_view> path_;
};

template <class Record, std::size_t I>
void read_field_at(void* record, const Json& json, Reader& reader)
{
    static_cast<Record*>(record)->*std::get<I>(Record::fields()).member = reader.read<field_type<Record, I>>(json);
}

template <class T>
std::expected<T, std::string> decode_value(std::string_view payload)
{
    if (payload.size() > max_payload_bytes) {
        return std::unexpected(fmt::format("operation payload is too large ({} bytes; at most {} are accepted)",
                                           payload.size(), max_payload_bytes));
    }
    auto document = detail::parse_json_document(payload);
    if (!document) {
        return std::unexpected(std::move(document.error()));
    }
    try {
        return Reader(*document).read<T>(document->root);
    } catch (DecodeFailure& failure) {
        return std::unexpected(std::move(failure.message));
    }
}

// The decoders of the alternatives of Variant, by their operation kind, in the order in which kinds are compared.
template <class Variant>
struct KindTable {
    using Decoder = std::expected<Variant, std::string> (*)(std::string_view);
    struct Entry {
        std::string_view kind;
        Decoder decode;
    };

    static constexpr auto entries = []<std::size_t... I>(std::index_sequence<I...>) {
        return std::array<Entry, sizeof...(I)>{
            Entry{std::variant_alternative_t<I, Variant>::kind,
                  [](std::string_view payload) -> std::expected<Variant, std::string> {
                      auto decoded = decode_value<std::variant_alternative_t<I, Variant>>(payload);
                      if (!decoded) {
                          return std::unexpected(std::move(decoded.error()));
                      }
                      return Variant{std::in_place_index<I>, std::move(*decoded)};
                  }}...};
    }(std::make_index_sequence<std::variant_size_v<Variant>>{});

    static const Entry* find(std::string_view kind)
    {
        for (const Entry& entry : entries) {
            if (entry.kind == kind) {
                return &entry;
            }
        }
        return nullptr;
    }

    static std::expected<Variant, std::string> decode(std::string_view kind, std::string_view payload,
                                                      std::string_view unknown_kind)
    {
        const Entry* entry = find(kind);
        if (entry == nullptr) {
            return std::unexpected(std::string(unknown_kind));
        }
        return entry->decode(payload);
    }
};

}  // namespace

template <PayloadType T>
std::expected<std::string, std::string> encode_payload(const T& value, JsonStyle style)
{
    return dump(Writer::write(value), style);
}

std::expected<std::string, std::string> encode_payload(const AnyOperation& value, JsonStyle style)
{
    return std::visit([style](const auto& operation) { return encode_payload(operation, style); }, value);
}

template <PayloadType T>
nlohmann::ordered_json encode_payload_json(const T& value)
{
    return Writer::write(value);
}

template <PayloadType T>
std::expected<T, std::string> decode_payload(std::string_view payload)
{
    return decode_value<T>(payload);
}

template <PayloadType T>
std::string encode_operation_payload(std::string_view kind, const T& operation)
{
    auto json = encode_payload(operation, JsonStyle::Compact);
    return fmt::format("{}:{}", kind, json ? *json : std::string());
}

#define VORN_PAYLOAD_INSTANTIATE(T)                                                                              \
    template std::expected<std::string, std::string> encode_payload<T>(const T&, JsonStyle);                   \
    template nlohmann::ordered_json encode_payload_json<T>(const T&);                                           \
    template std::expected<T, std::string> decode_payload<T>(std::string_view);                                 \
    template std::string encode_operation_payload<T>(std::string_view, const T&);

VORN_PAYLOAD_INSTANTIATE(AccountOperation)
VORN_PAYLOAD_INSTANTIATE(UpdateOperation)
VORN_PAYLOAD_INSTANTIATE(KeyboardSourceOperation)
VORN_PAYLOAD_INSTANTIATE(InputOperation)
VORN_PAYLOAD_INSTANTIATE(TimeDateOperation)
VORN_PAYLOAD_INSTANTIATE(PowerOperation)
VORN_PAYLOAD_INSTANTIATE(NetworkOperation)
VORN_PAYLOAD_INSTANTIATE(BluetoothOperation)
VORN_PAYLOAD_INSTANTIATE(StorageOperation)
VORN_PAYLOAD_INSTANTIATE(AudioOperation)
VORN_PAYLOAD_INSTANTIATE(DisplayOperation)
VORN_PAYLOAD_INSTANTIATE(PrinterOperation)
VORN_PAYLOAD_INSTANTIATE(UserOperation)
VORN_PAYLOAD_INSTANTIATE(AgentModelOperation)
VORN_PAYLOAD_INSTANTIATE(DeviceMeshOperation)
VORN_PAYLOAD_INSTANTIATE(AgentProviderOperation)
VORN_PAYLOAD_INSTANTIATE(SettingsAction)
#undef VORN_PAYLOAD_INSTANTIATE

std::expected<AnyOperation, std::string> decode_operation(std::string_view kind, std::string_view payload)
{
    return KindTable<AnyOperation>::decode(kind, payload, "unknown operation type");
}

std::expected<DeviceLocalOperation, std::string> decode_device_local_operation(std::string_view kind,
                                                                               std::string_view payload)
{
    return KindTable<DeviceLocalOperation>::decode(kind, payload, "unknown device-local operation type");
}

std::expected<std::string, std::string> parse_device_local_operation(std::string_view kind,
                                                                     std::string_view payload)
{
    auto operation = decode_device_local_operation(kind, payload);
    if (!operation) {
        return std::unexpected(std::move(operation.error()));
    }
    // Decoded texts are valid UTF-8, so writing them back cannot fail; should it, the operation is refused rather
    // than published under a key ("kind:") that no page would recognise.
    auto json = std::visit([](const auto& value) { return encode_payload(value, JsonStyle::Compact); }, *operation);
    if (!json) {
        return std::unexpected(std::move(json.error()));
    }
    return fmt::format("{}:{}", kind, *json);
}

std::expected<std::string, std::string> encode_open_pane_payload(std::string_view section_id)
{
    return dump(Json(std::string(section_id)), JsonStyle::Compact);
}

std::expected<std::string, std::string> decode_open_pane_payload(std::string_view payload)
{
    return decode_value<std::string>(payload);
}

bool is_device_local_kind(std::string_view kind)
{
    return KindTable<DeviceLocalOperation>::find(kind) != nullptr;
}

std::string_view operation_kind(const AnyOperation& operation)
{
    return std::visit([](const auto& value) { return std::decay_t<decltype(value)>::kind; }, operation);
}

std::string_view operation_kind(const DeviceLocalOperation& operation)
{
    return std::visit([](const auto& value) { return std::decay_t<decltype(value)>::kind; }, operation);
}

}  // namespace settings::actions

#include "workspace_access/workspace_access.hpp"

#include "config_sections/config_sections.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace workspace_access {

namespace {

using Json = nlohmann::json;

struct DecodeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& text) { throw DecodeError(text); }

std::string text_of(const Json& value, std::string_view what)
{
    if (!value.is_string()) {
        fail(fmt::format("invalid type: expected {}", what));
    }
    return value.get<std::string>();
}

// The variant name and its value (null for a unit variant given as a string).
std::pair<std::string, const Json*> tagged(const Json& value, std::string_view type)
{
    static const Json null_value;
    if (value.is_string()) {
        return {value.get<std::string>(), &null_value};
    }
    if (value.is_object() && value.size() == 1) {
        return {value.begin().key(), &value.begin().value()};
    }
    fail(fmt::format("invalid type: expected enum {}", type));
}

template <class E, std::size_t N>
E variant_index(const std::string& name, const std::array<std::string_view, N>& names, std::string_view type)
{
    const auto found = std::ranges::find(names, name);
    if (found == names.end()) {
        fail(fmt::format("unknown variant `{}` of {}", name, type));
    }
    return static_cast<E>(found - names.begin());
}

// A unit-only enumeration: "Name" or {"Name": null}.
template <class E, std::size_t N>
E unit_enum(const Json& value, const std::array<std::string_view, N>& names, std::string_view type)
{
    const auto [name, data] = tagged(value, type);
    const E result = variant_index<E>(name, names, type);
    if (!data->is_null()) {
        fail(fmt::format("invalid type: expected unit variant {}::{}", type, name));
    }
    return result;
}

const Json& newtype_value(const Json* data, std::string_view type, const std::string& name)
{
    if (data->is_null()) {
        fail(fmt::format("invalid type: unit variant, expected newtype variant {}::{}", type, name));
    }
    return *data;
}

constexpr std::array<std::string_view, 5> subject_names{"Person", "App", "Agent", "Token", "Room"};
constexpr std::array<std::string_view, 5> role_names{"Owner", "Editor", "Commenter", "Viewer", "Denied"};
constexpr std::array<std::string_view, 5> artifact_names{"Note", "File", "Cluster", "Kanban", "ChatLog"};
constexpr std::array<std::string_view, 10> scope_names{"Workspace", "App",    "ResourceType", "ResourceInstance",
                                                       "FsPath",    "Device", "NetHost",      "Action",
                                                       "Room",      "FsRecord"};
constexpr std::array<std::string_view, 4> expiry_names{"Never", "AtUnix", "EndOfSession", "AfterUse"};
constexpr std::array<std::string_view, 2> effect_names{"Grant", "Restrict"};
constexpr std::array<std::string_view, 5> verb_names{"Read", "Comment", "Write", "Invite", "Admin"};
constexpr std::array<std::string_view, 3> principal_names{"Role", "User", "Principal"};
constexpr std::array<std::string_view, 7> override_members{"subject", "scope",      "effect",    "verb",
                                                           "id",      "expiry",     "granted_by"};

Subject decode_subject(const Json& value)
{
    const auto [name, data] = tagged(value, "Subject");
    const auto kind = variant_index<SubjectKind>(name, subject_names, "Subject");
    return Subject{kind, text_of(newtype_value(data, "Subject", name), "a string")};
}

bool is_uuid(const std::string& text)
{
    const auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    if (text.size() == 32) {
        return std::ranges::all_of(text, hex);
    }
    if (text.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : !hex(text[i])) {
            return false;
        }
    }
    return true;
}

Principal decode_principal(const Json& value)
{
    const auto [name, data] = tagged(value, "Principal");
    const auto index = variant_index<int>(name, principal_names, "Principal");
    const Json& inner = newtype_value(data, "Principal", name);
    if (index == 0) {
        return unit_enum<Role>(inner, role_names, "Role");
    }
    if (index == 1) {
        if (!inner.is_array() || inner.size() != 32) {
            fail("invalid length: expected an array of length 32");
        }
        UserKey key{};
        for (std::size_t i = 0; i < 32; ++i) {
            if (!inner[i].is_number_integer() || inner[i].get<std::int64_t>() < 0 || inner[i].get<std::int64_t>() > 255) {
                fail("invalid value: expected u8");
            }
            key[i] = static_cast<std::uint8_t>(inner[i].get<std::int64_t>());
        }
        return key;
    }
    return decode_subject(inner);
}

Scope decode_scope(const Json& value)
{
    const auto [name, data] = tagged(value, "Scope");
    Scope scope;
    scope.kind = variant_index<ScopeKind>(name, scope_names, "Scope");
    switch (scope.kind) {
    case ScopeKind::Workspace:
        if (!data->is_null()) {
            fail("invalid type: expected unit variant Scope::Workspace");
        }
        break;
    case ScopeKind::ResourceType:
        scope.artifact = unit_enum<ArtifactKind>(newtype_value(data, "Scope", name), artifact_names, "ArtifactKind");
        break;
    case ScopeKind::Action: {
        const Json& fields = newtype_value(data, "Scope", name);
        if (fields.is_object()) {
            if (!fields.contains("app") || !fields.contains("action")) {
                fail(fmt::format("missing field `{}`", fields.contains("app") ? "action" : "app"));
            }
            scope.value = text_of(fields["app"], "a string");
            scope.action = text_of(fields["action"], "a string");
        } else if (fields.is_array() && fields.size() == 2) {
            scope.value = text_of(fields[0], "a string");
            scope.action = text_of(fields[1], "a string");
        } else {
            fail("invalid type: expected struct variant Scope::Action with 2 elements");
        }
        break;
    }
    default:
        scope.value = text_of(newtype_value(data, "Scope", name), "a string");
        if (scope.kind == ScopeKind::ResourceInstance && !is_uuid(scope.value)) {
            fail("invalid value: expected a UUID");
        }
    }
    return scope;
}

Expiry decode_expiry(const Json& value)
{
    const auto [name, data] = tagged(value, "Expiry");
    Expiry expiry;
    expiry.kind = variant_index<ExpiryKind>(name, expiry_names, "Expiry");
    if (expiry.kind == ExpiryKind::AtUnix) {
        const Json& at = newtype_value(data, "Expiry", name);
        if (!at.is_number_unsigned() && !(at.is_number_integer() && at.get<std::int64_t>() >= 0)) {
            fail("invalid type: expected u64");
        }
        expiry.at_unix = at.get<std::uint64_t>();
    } else if (!data->is_null()) {
        fail(fmt::format("invalid type: expected unit variant Expiry::{}", name));
    }
    return expiry;
}

// The members of a record given as an object or as an array of its values in declaration order; each slot is the
// member's value or nothing.
template <std::size_t N>
std::array<const Json*, N> record_members(const Json& value, const std::array<std::string_view, N>& names,
                                          std::string_view type, bool deny_unknown)
{
    std::array<const Json*, N> members{};
    if (value.is_object()) {
        for (const auto& [key, member] : value.items()) {
            const auto found = std::ranges::find(names, key);
            if (found == names.end()) {
                if (deny_unknown) {
                    std::string expected;
                    for (const auto name : names) {
                        expected += fmt::format("{}`{}`", expected.empty() ? "" : ", ", name);
                    }
                    fail(fmt::format("unknown field `{}`, expected one of {}", key, expected));
                }
                continue;
            }
            members[static_cast<std::size_t>(found - names.begin())] = &member;
        }
        return members;
    }
    if (value.is_array() && value.size() <= N) {
        for (std::size_t i = 0; i < value.size(); ++i) {
            members[i] = &value[i];
        }
        return members;
    }
    fail(fmt::format("invalid type: expected struct {} with {} elements", type, N));
}

const Json& required(const Json* member, std::string_view name)
{
    if (member == nullptr) {
        fail(fmt::format("missing field `{}`", name));
    }
    return *member;
}

CapOverride decode_override(const Json& value)
{
    const auto m = record_members(value, override_members, "CapOverride", true);
    CapOverride cap;
    cap.subject = decode_principal(required(m[0], "subject"));
    cap.scope = decode_scope(required(m[1], "scope"));
    cap.effect = unit_enum<Effect>(required(m[2], "effect"), effect_names, "Effect");
    cap.verb = unit_enum<Verb>(required(m[3], "verb"), verb_names, "Verb");
    if (m[4] != nullptr && !m[4]->is_null()) {
        cap.id = text_of(*m[4], "a string or null");
    }
    if (m[5] != nullptr) {
        cap.expiry = decode_expiry(*m[5]);
    }
    if (m[6] != nullptr && !m[6]->is_null()) {
        cap.granted_by = decode_subject(*m[6]);
    }
    return cap;
}

WsView decode_workspace(const Json& value)
{
    constexpr std::array<std::string_view, 2> names{"name", "capabilities"};
    const auto m = record_members(value, names, "WsView", false);
    WsView workspace;
    if (m[0] != nullptr) {
        workspace.name = text_of(*m[0], "a string");
    }
    if (m[1] != nullptr) {
        if (!m[1]->is_array()) {
            fail("invalid type: expected a sequence of CapOverride");
        }
        for (const auto& cap : *m[1]) {
            workspace.capabilities.push_back(decode_override(cap));
        }
    }
    return workspace;
}

std::string_view access_label(Verb verb)
{
    return verb == Verb::Write || verb == Verb::Admin ? "read & write" : "read-only";
}

std::string_view duration_label(ExpiryKind kind)
{
    switch (kind) {
    case ExpiryKind::Never: return "Always";
    case ExpiryKind::AtUnix: return "Temporary";
    case ExpiryKind::EndOfSession: return "Until log out";
    case ExpiryKind::AfterUse: return "Once";
    }
    return "Always";
}

std::optional<GrantRow> grant_row(const CapOverride& cap)
{
    GrantRow row;
    row.duration = duration_label(cap.expiry.kind);
    switch (cap.scope.kind) {
    case ScopeKind::FsPath:
        row.text = fmt::format("{}  \u00b7  {}", cap.scope.value, access_label(cap.verb));
        row.kind = "Files";
        row.grant_kind = GrantKind::Files;
        return row;
    case ScopeKind::Device: {
        struct DeviceRow {
            std::string_view device, text, kind;
            GrantKind grant_kind;
        };
        static constexpr std::array<DeviceRow, 4> devices{{
            {"camera", "Capture video", "Camera", GrantKind::Camera},
            {"microphone", "Capture audio", "Microphone", GrantKind::Microphone},
            {"screencast", "Stream this workspace", "Screen sharing", GrantKind::ScreenSharing},
            {"remote-desktop", "Inject pointer & keyboard", "Remote control", GrantKind::RemoteControl},
        }};
        const auto found = std::ranges::find(devices, std::string_view(cap.scope.value), &DeviceRow::device);
        if (found == devices.end()) {
            return std::nullopt;
        }
        row.text = found->text;
        row.kind = found->kind;
        row.grant_kind = found->grant_kind;
        return row;
    }
    case ScopeKind::NetHost:
        row.text = cap.scope.value == "*" ? "Any host" : cap.scope.value;
        row.kind = "Network";
        row.grant_kind = GrantKind::Network;
        return row;
    default: return std::nullopt;
    }
}

}  // namespace

std::expected<TreeView, std::string> decode_tree_view(std::string_view text)
{
    try {
        const Json root = Json::parse(text);
        constexpr std::array<std::string_view, 1> names{"workspaces"};
        const auto m = record_members(root, names, "TreeView", false);
        const Json& workspaces = required(m[0], "workspaces");
        if (!workspaces.is_array()) {
            fail("invalid type: expected a sequence of WsView");
        }
        TreeView record;
        for (const auto& workspace : workspaces) {
            record.workspaces.push_back(decode_workspace(workspace));
        }
        return record;
    } catch (const Json::exception& error) {
        return std::unexpected(std::string(error.what()));
    } catch (const DecodeError& error) {
        return std::unexpected(std::string(error.what()));
    }
}

std::optional<std::filesystem::path> record_path()
{
    auto settings = config_sections::settings_path();
    if (!settings) {
        return std::nullopt;
    }
    return settings->parent_path() / "state.json";
}

std::expected<TreeView, std::string> read_record(const std::optional<std::filesystem::path>& path)
{
    if (!path) {
        return std::unexpected(std::string("there is no configuration folder"));
    }
    auto text = config_sections::read_text(*path);
    if (!text) {
        return std::unexpected(text.error());
    }
    if (!*text) {
        return std::unexpected(fmt::format("{} does not exist", path->filename().string()));
    }
    return decode_tree_view(**text);
}

std::vector<WorkspaceGrants> grant_groups(const TreeView& record)
{
    std::vector<WorkspaceGrants> groups;
    for (const auto& workspace : record.workspaces) {
        WorkspaceGrants group;
        const bool blank = std::ranges::all_of(workspace.name, [](char c) {
            return std::isspace(static_cast<unsigned char>(c)) != 0;
        });
        group.title = blank ? "Workspace" : workspace.name;
        for (const auto& cap : workspace.capabilities) {
            const auto* subject = std::get_if<Subject>(&cap.subject);
            if (subject == nullptr || subject->kind != SubjectKind::App || cap.effect != Effect::Grant) {
                continue;
            }
            if (auto row = grant_row(cap)) {
                group.apps[subject->value].push_back(std::move(*row));
            }
        }
        if (!group.apps.empty()) {
            groups.push_back(std::move(group));
        }
    }
    return groups;
}

std::string grants_summary(const std::vector<WorkspaceGrants>& groups)
{
    std::size_t rows = 0;
    for (const auto& group : groups) {
        for (const auto& [app, app_rows] : group.apps) {
            rows += app_rows.size();
        }
    }
    return fmt::format("{} grant{} across {} workspace{}", rows, rows == 1 ? "" : "s", groups.size(),
                       groups.size() == 1 ? "" : "s");
}

}  // namespace workspace_access

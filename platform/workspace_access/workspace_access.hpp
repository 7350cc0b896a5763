#pragma once
// The workspace access record: "state.json" beside the settings file, where the desktop keeps the workspaces of the
// signed-in user and the capability overrides that apps hold in each. The settings only read it, strictly: a
// variant name that is not known, a missing required member or an unknown member of an override makes the whole
// record unavailable, so that nothing is summarised from a record that was not understood.
//
// Records are JSON objects (or arrays of their member values in order); enumerations are externally tagged: a
// variant without data is its name as a string (or {"Name": null}), one with data an object of one member.
//
//   auto record = workspace_access::read_record();
//   if (record) for (const auto& ws : workspace_access::grant_groups(*record)) ...

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace workspace_access {

enum class SubjectKind { Person, App, Agent, Token, Room };
struct Subject {
    SubjectKind kind = SubjectKind::Person;
    std::string value;
    friend bool operator==(const Subject&, const Subject&) = default;
};

enum class Role { Owner, Editor, Commenter, Viewer, Denied };
using UserKey = std::array<std::uint8_t, 32>;
// Role, User (a 32-byte key) or Principal (a subject).
using Principal = std::variant<Role, UserKey, Subject>;

enum class ArtifactKind { Note, File, Cluster, Kanban, ChatLog };
enum class ScopeKind { Workspace, App, ResourceType, ResourceInstance, FsPath, Device, NetHost, Action, Room, FsRecord };
struct Scope {
    ScopeKind kind = ScopeKind::Workspace;
    std::string value;  // the text of every kind with one (the app of an Action)
    std::string action;  // Action only
    ArtifactKind artifact = ArtifactKind::Note;  // ResourceType only
    friend bool operator==(const Scope&, const Scope&) = default;
};

enum class ExpiryKind { Never, AtUnix, EndOfSession, AfterUse };
struct Expiry {
    ExpiryKind kind = ExpiryKind::Never;
    std::uint64_t at_unix = 0;
    friend bool operator==(const Expiry&, const Expiry&) = default;
};

enum class Effect { Grant, Restrict };
enum class Verb { Read, Comment, Write, Invite, Admin };

struct CapOverride {
    Principal subject;
    Scope scope;
    Effect effect = Effect::Grant;
    Verb verb = Verb::Read;
    std::string id;  // empty when missing or null
    Expiry expiry;
    std::optional<Subject> granted_by;
    friend bool operator==(const CapOverride&, const CapOverride&) = default;
};

struct WsView {
    std::string name;
    std::vector<CapOverride> capabilities;
};

struct TreeView {
    std::vector<WsView> workspaces;
};

// Decodes the file's text; the error names what was expected ("struct TreeView", "unknown field `x`, expected one
// of …").
[[nodiscard]] std::expected<TreeView, std::string> decode_tree_view(std::string_view text);

// "<config dir>/vorn/state.json", beside the settings file; none without a configuration folder.
[[nodiscard]] std::optional<std::filesystem::path> record_path();
// Reads and decodes the record; an error when there is no path, the file is missing or unreadable, or it does not
// decode.
[[nodiscard]] std::expected<TreeView, std::string> read_record(const std::optional<std::filesystem::path>& path = record_path());

// ---- What the privacy page lists ---------------------------------------------------------------------------------

enum class GrantKind { Files, Camera, Microphone, ScreenSharing, RemoteControl, Network };

struct GrantRow {
    std::string text;      // "/home/ana/Notes  ·  read-only", "Capture video", "Any host", ...
    std::string kind;      // "Files", "Camera", ...
    std::string duration;  // "Always", "Temporary", "Until log out", "Once"
    GrantKind grant_kind = GrantKind::Files;
    friend bool operator==(const GrantRow&, const GrantRow&) = default;
};

struct WorkspaceGrants {
    std::string title;  // the stored name, or "Workspace" when it is empty or white space
    std::map<std::string, std::vector<GrantRow>> apps;  // by app identifier
};

// The workspaces that hold at least one grant an app holds (Principal(App) with effect Grant on a scope shown).
[[nodiscard]] std::vector<WorkspaceGrants> grant_groups(const TreeView& record);
// "{n} grant{s} across {m} workspace{s}".
[[nodiscard]] std::string grants_summary(const std::vector<WorkspaceGrants>& groups);

}  // namespace workspace_access

#pragma once
// The page document: the values of one page's controls, kept in memory while the page lives.
//
// A document is a map (the root) from dotted keys ("display.brightness", "network.wifi") to values: booleans,
// signed and unsigned 64-bit integers, 64-bit floats and strings as scalars, and Text objects for editable text
// fields (edited by splicing characters, so that a text input changes only what the user typed). Integers and
// floats stay distinct: a float key holding the integer 1 reads as no float.
//
// Every write is one operation of the open transaction; commit() closes it into a change identified by a SHA-256
// change hash, and the document's heads are the hashes of its latest changes. The actor id (16 random bytes) names
// the writer. Copying a document (or clone()) gives an independent copy with the same actor, values and history,
// pending operations included.
//
//   page_doc::Document doc;
//   doc.put_bool("display.auto_brightness", true);
//   if (auto on = doc_bool(doc, "display.auto_brightness")) { ... }
//   auto field = seed_text_object(doc, "network.vpn.name");   // a Text object for a TextInput
//   doc.update_text(field, "Office VPN");

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace page_doc {

// An object of a document: the root map, or a Text object made by put_text_object().
class ObjId {
public:
    constexpr ObjId() = default;  // the root map
    [[nodiscard]] static constexpr ObjId root() { return {}; }
    [[nodiscard]] constexpr bool is_root() const { return counter_ == 0; }
    [[nodiscard]] constexpr std::uint64_t counter() const { return counter_; }
    friend constexpr bool operator==(ObjId, ObjId) = default;

private:
    friend class Document;
    explicit constexpr ObjId(std::uint64_t counter) : counter_(counter) {}
    std::uint64_t counter_ = 0;
};

inline constexpr ObjId ROOT{};

// "Root" for the root map, "text#<n>" for a Text object.
[[nodiscard]] std::string to_string(ObjId id);

// A Text object stored at a key.
struct TextObject {
    ObjId id;
    friend bool operator==(const TextObject&, const TextObject&) = default;
};

using ScalarValue = std::variant<bool, std::int64_t, std::uint64_t, double, std::string>;
// What a key holds.
using Value = std::variant<bool, std::int64_t, std::uint64_t, double, std::string, TextObject>;

struct ActorId {
    std::array<std::uint8_t, 16> bytes{};

    [[nodiscard]] static ActorId random();
    [[nodiscard]] std::string to_hex_string() const;
    friend bool operator==(const ActorId&, const ActorId&) = default;
};

struct ChangeHash {
    std::array<std::uint8_t, 32> bytes{};

    [[nodiscard]] std::string to_hex() const;
    friend auto operator<=>(const ChangeHash&, const ChangeHash&) = default;
};

class Document {
public:
    Document();  // with a random actor id
    explicit Document(const ActorId& actor);

    // An independent copy: same actor, values, history and open transaction.
    [[nodiscard]] Document clone() const { return *this; }

    [[nodiscard]] const ActorId& actor_id() const { return actor_; }
    void set_actor(const ActorId& actor) { actor_ = actor; }

    // --- reading the root map
    // The value at the key, or nullptr; the pointer stays valid until the document changes.
    [[nodiscard]] const Value* get(std::string_view key) const;
    [[nodiscard]] bool contains(std::string_view key) const { return get(key) != nullptr; }
    [[nodiscard]] std::size_t size() const { return root_.size(); }
    [[nodiscard]] std::vector<std::string> keys() const;  // in byte order
    // The whole current text of a Text object, or none when no key holds that object any more.
    [[nodiscard]] std::optional<std::string> text(ObjId text_object) const;

    // --- writing the root map; each call is one operation (a put replaces whatever the key held)
    void put(std::string_view key, ScalarValue value);
    void put_bool(std::string_view key, bool value) { put(key, ScalarValue(value)); }
    void put_int(std::string_view key, std::int64_t value) { put(key, ScalarValue(value)); }
    void put_uint(std::string_view key, std::uint64_t value) { put(key, ScalarValue(value)); }
    void put_f64(std::string_view key, double value) { put(key, ScalarValue(value)); }
    void put_str(std::string_view key, std::string_view value) { put(key, ScalarValue(std::string(value))); }
    // A new, empty Text object at the key.
    ObjId put_text_object(std::string_view key);
    // Removes the key; false (and no operation) when it was not there.
    bool remove(std::string_view key);

    // --- editing Text objects; positions and counts are in characters (Unicode code points).
    // Deletes `deleted` characters at `position` and inserts `inserted` (UTF-8) there; one operation per character.
    std::expected<void, std::string> splice_text(ObjId text_object, std::size_t position, std::size_t deleted,
                                                 std::string_view inserted);
    // Makes the text equal to `new_text` by one splice of the part that differs.
    std::expected<void, std::string> update_text(ObjId text_object, std::string_view new_text);

    // --- changes
    // Operations in the open transaction (not yet committed).
    [[nodiscard]] std::size_t pending_ops() const { return pending_ops_; }
    // Closes the open transaction into a change and answers its hash; none when nothing was pending.
    std::optional<ChangeHash> commit();
    // The heads after committing what is pending.
    std::vector<ChangeHash> get_heads();
    // The heads of the committed changes only; the open transaction is left alone.
    [[nodiscard]] const std::vector<ChangeHash>& committed_heads() const { return heads_; }
    // The heads the document would have after a commit, without committing.
    [[nodiscard]] std::vector<ChangeHash> effective_heads() const;
    // Grows with every write; lets a widget tell cheaply whether the document changed since it last looked.
    [[nodiscard]] std::uint64_t revision() const { return revision_; }

private:
    void record(std::string_view encoded_op, std::size_t op_count);
    [[nodiscard]] ChangeHash pending_change_hash() const;
    std::string* text_of(ObjId id);

    ActorId actor_;
    std::map<std::string, Value, std::less<>> root_;
    std::map<std::uint64_t, std::string> texts_;  // Text objects that a key holds
    std::uint64_t next_counter_ = 1;
    std::uint64_t seq_ = 0;
    std::vector<ChangeHash> heads_;
    std::size_t pending_ops_ = 0;
    std::string pending_encoding_;  // what the open transaction did, for its hash
    std::uint64_t revision_ = 0;
};

// Typed getters of the root map: none when the key is missing or holds another kind of value.
// Any scalar (a Text object gives none).
[[nodiscard]] std::optional<ScalarValue> doc_value(const Document& doc, std::string_view key);
[[nodiscard]] std::optional<bool> doc_bool(const Document& doc, std::string_view key);
// Only a float scalar; an integer gives none (no conversion).
[[nodiscard]] std::optional<double> doc_f64(const Document& doc, std::string_view key);
// Only a string scalar.
[[nodiscard]] std::optional<std::string> doc_string(const Document& doc, std::string_view key);
// The text of a Text object, or a string scalar.
[[nodiscard]] std::optional<std::string> doc_text(const Document& doc, std::string_view key);

// A button's press: when the key holds true, writes false there (so that the press acts once) and answers true.
bool take_doc_flag(Document& doc, std::string_view key);

// The Text object at the key, made when needed: a string scalar there becomes a Text object holding the same text;
// anything else (or nothing) becomes an empty Text object; an existing Text object is answered unchanged.
ObjId seed_text_object(Document& doc, std::string_view key);

}  // namespace page_doc

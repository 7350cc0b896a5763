#include "page_doc/page_doc.hpp"

#include <gtest/gtest.h>

#include <set>

namespace page_doc {
namespace {

TEST(PageDoc, TypedGettersAnswerOnlyTheirKind)
{
    Document doc;
    doc.put_int("int", 1);
    doc.put_f64("float", 1.0);
    doc.put_uint("uint", 7);
    doc.put_bool("flag", true);
    doc.put_str("word", "true");
    const ObjId text = doc.put_text_object("field");
    ASSERT_TRUE(doc.splice_text(text, 0, 0, "merged"));

    EXPECT_EQ(doc_f64(doc, "int"), std::nullopt);
    EXPECT_EQ(doc_f64(doc, "float"), 1.0);
    EXPECT_EQ(doc_bool(doc, "flag"), true);
    EXPECT_EQ(doc_bool(doc, "word"), std::nullopt);
    EXPECT_EQ(doc_string(doc, "word"), "true");
    EXPECT_EQ(doc_string(doc, "field"), std::nullopt);
    EXPECT_EQ(doc_text(doc, "field"), "merged");
    EXPECT_EQ(doc_text(doc, "word"), "true");
    EXPECT_EQ(doc_text(doc, "flag"), std::nullopt);
    EXPECT_EQ(doc_value(doc, "uint"), ScalarValue(std::uint64_t{7}));
    EXPECT_EQ(doc_value(doc, "field"), std::nullopt);
    EXPECT_EQ(doc_bool(doc, std::string("missing")), std::nullopt);
    EXPECT_EQ(doc.keys(), (std::vector<std::string>{"field", "flag", "float", "int", "uint", "word"}));
}

TEST(PageDoc, APressActsOnce)
{
    Document doc;
    doc.put_bool("press", true);
    doc.put_str("word", "true");
    EXPECT_TRUE(take_doc_flag(doc, "press"));
    EXPECT_EQ(doc_bool(doc, "press"), false);
    EXPECT_FALSE(take_doc_flag(doc, "press"));
    EXPECT_FALSE(take_doc_flag(doc, "word"));
    EXPECT_FALSE(take_doc_flag(doc, "missing"));
    EXPECT_EQ(doc_string(doc, "word"), "true");
    EXPECT_FALSE(doc.contains("missing"));
}

TEST(PageDoc, SeedTextObject)
{
    Document doc;
    doc.put_str("name", "Office VPN");
    const ObjId seeded = seed_text_object(doc, "name");
    EXPECT_FALSE(seeded.is_root());
    EXPECT_TRUE(std::holds_alternative<TextObject>(*doc.get("name")));
    EXPECT_EQ(doc_text(doc, "name"), "Office VPN");
    EXPECT_EQ(seed_text_object(doc, "name"), seeded) << "an existing Text object is kept";

    const ObjId empty = seed_text_object(doc, "missing");
    EXPECT_EQ(doc_text(doc, "missing"), "");
    doc.put_bool("flag", true);
    seed_text_object(doc, "flag");
    EXPECT_EQ(doc_text(doc, "flag"), "");
    EXPECT_NE(empty, seeded);
}

TEST(PageDoc, TextEditsCountCharacters)
{
    Document doc;
    const ObjId id = doc.put_text_object("t");
    ASSERT_TRUE(doc.splice_text(id, 0, 0, "Grüße"));
    ASSERT_TRUE(doc.splice_text(id, 2, 2, "ü"));  // "Grü" + "ü" + "e"... replaces "üß"
    EXPECT_EQ(doc.text(id), "Grüe");
    ASSERT_TRUE(doc.update_text(id, "Grüne 🌿e"));
    EXPECT_EQ(doc.text(id), "Grüne 🌿e");
    ASSERT_TRUE(doc.update_text(id, "Grüne 🌱e"));  // shares leading emoji bytes with the old text
    EXPECT_EQ(doc.text(id), "Grüne 🌱e");

    EXPECT_FALSE(doc.splice_text(id, 20, 0, "x"));
    EXPECT_FALSE(doc.splice_text(id, 8, 2, ""));
    EXPECT_FALSE(doc.splice_text(id, 0, 0, "\xff"));
    EXPECT_EQ(doc.text(id), "Grüne 🌱e");

    // Replacing the key drops the object; edits of the old id fail.
    doc.put_str("t", "plain");
    EXPECT_EQ(doc.text(id), std::nullopt);
    EXPECT_FALSE(doc.update_text(id, "x"));
}

TEST(PageDoc, PendingOperationsCommitIntoHeads)
{
    Document doc;
    EXPECT_EQ(doc.pending_ops(), 0u);
    EXPECT_EQ(doc.commit(), std::nullopt);
    EXPECT_TRUE(doc.get_heads().empty());

    doc.put_bool("a", true);
    const ObjId id = doc.put_text_object("b");
    ASSERT_TRUE(doc.splice_text(id, 0, 0, "héllo"));
    EXPECT_EQ(doc.pending_ops(), 7u);  // two puts and five characters
    EXPECT_FALSE(doc.remove("nothing"));
    EXPECT_EQ(doc.pending_ops(), 7u);

    const auto effective = doc.effective_heads();
    EXPECT_TRUE(doc.committed_heads().empty()) << "looking does not commit";
    const auto first = doc.commit();
    ASSERT_TRUE(first);
    EXPECT_EQ(doc.pending_ops(), 0u);
    EXPECT_EQ(doc.get_heads(), std::vector<ChangeHash>{*first});
    EXPECT_EQ(effective, std::vector<ChangeHash>{*first});
    EXPECT_EQ(first->to_hex().size(), 64u);

    doc.put_bool("a", false);
    const auto second = doc.get_heads();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second.front(), *first);
}

TEST(PageDoc, ChangeHashesDependOnActorHistoryAndContent)
{
    const ActorId actor = ActorId::random();
    EXPECT_EQ(actor.to_hex_string().size(), 32u);
    EXPECT_NE(actor, ActorId::random());

    const auto heads_after = [&](const ActorId& who, double value) {
        Document doc(who);
        doc.put_f64("display.scale", 1.0);
        doc.commit();
        doc.put_f64("display.scale", value);
        return doc.get_heads();
    };
    EXPECT_EQ(heads_after(actor, 2.0), heads_after(actor, 2.0));
    EXPECT_NE(heads_after(actor, 2.0), heads_after(actor, 1.5));
    EXPECT_NE(heads_after(actor, 2.0), heads_after(ActorId::random(), 2.0));
}

TEST(PageDoc, CloneIsIndependent)
{
    Document doc;
    doc.put_str("k", "v");
    const ObjId id = seed_text_object(doc, "field");
    Document copy = doc.clone();
    EXPECT_EQ(copy.actor_id(), doc.actor_id());
    EXPECT_EQ(copy.pending_ops(), doc.pending_ops());
    EXPECT_EQ(copy.get_heads(), doc.effective_heads()) << "a clone commits to the heads the original would have";
    EXPECT_GT(doc.pending_ops(), 0u);

    ASSERT_TRUE(copy.update_text(id, "only in the copy"));
    copy.put_bool("k", false);
    EXPECT_EQ(doc_text(doc, "field"), "");
    EXPECT_EQ(doc_string(doc, "k"), "v");
    EXPECT_EQ(to_string(ROOT), "Root");

    const std::uint64_t revision = doc.revision();
    doc.put_bool("z", true);
    EXPECT_GT(doc.revision(), revision);
}

}  // namespace
}  // namespace page_doc

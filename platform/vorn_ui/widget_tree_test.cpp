// Child access, broadcasts, the first-answer query, collectors and finders.

#include "vorn_ui/testing/probe_widget.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vorn_ui {
namespace {

using testing::CallLog;
using testing::ProbeWidget;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// R with children A (itself with A1, A2) and B.
struct Tree {
    CallLog log;
    ProbeWidget root{"R", &log};
    ProbeWidget& a = root.add("A");
    ProbeWidget& a1 = a.add("A1");
    ProbeWidget& a2 = a.add("A2");
    ProbeWidget& b = root.add("B");
};

TEST(WidgetBroadcast, ReachesTheSubtreeDepthFirstWithTheArgumentUnchanged)
{
    Tree t;
    t.root.propagate_code(7);
    EXPECT_THAT(t.log, ElementsAre("R.code:7", "A.code:7", "A1.code:7", "A2.code:7", "B.code:7"));

    t.log.clear();
    t.root.visit_descendants(WordPair{3, 9});
    EXPECT_THAT(t.log, ElementsAre("R.visit:3/9", "A.visit:3/9", "A1.visit:3/9", "A2.visit:3/9", "B.visit:3/9"));

    t.log.clear();
    t.root.visit_descendants_mut(WordPair{1, 2});
    t.root.notify_descendants(WordPair{4, 5});
    t.root.set_interaction_flag(6);
    InteractionEnv env{.flags = 1, .bytes = {0, 0, 0, 42}};
    t.root.set_interaction_environment(env);
    EXPECT_EQ(testing::calls_of(t.log, "visit_mut:1/2"), (std::vector<std::string>{"R", "A", "A1", "A2", "B"}));
    EXPECT_EQ(testing::calls_of(t.log, "notify:4/5"), (std::vector<std::string>{"R", "A", "A1", "A2", "B"}));
    EXPECT_EQ(testing::calls_of(t.log, "flag:6"), (std::vector<std::string>{"R", "A", "A1", "A2", "B"}));
    EXPECT_EQ(testing::calls_of(t.log, "env:1/42"), (std::vector<std::string>{"R", "A", "A1", "A2", "B"}));
}

TEST(WidgetChildren, ForEachChildVisitsEveryChildInOrder)
{
    Tree t;
    std::vector<const Widget*> seen;
    t.root.for_each_child([&](const Widget& child) { seen.push_back(&child); });
    EXPECT_THAT(seen, ElementsAre(&t.a, &t.b));

    ProbeWidget leaf("leaf");
    EXPECT_THAT(leaf.children(), IsEmpty());
    EXPECT_THAT(leaf.children_mut(), IsEmpty());
}

TEST(WidgetQuery, AnswersTheFirstChildAnswerAndStopsThere)
{
    Tree t;
    t.a1.query_answer = QueryAnswer{1, "X"};
    t.b.query_answer = QueryAnswer{2, "Y"};
    QueryRecord query;
    EXPECT_EQ(t.root.query_descendants(query), (QueryAnswer{1, "X"}));
    EXPECT_THAT(testing::calls_of(t.log, "query"), ElementsAre("R", "A", "A1"));

    ProbeWidget leaf("leaf");
    EXPECT_EQ(leaf.query_descendants(query), std::nullopt);
}

TEST(WidgetQuery, StopsOnceTheRecordIsFinished)
{
    Tree t;
    t.b.query_answer = QueryAnswer{2, "Y"};

    QueryRecord finished{.value = 5, .flags = 1, .kind = 0, .text = {}};
    EXPECT_EQ(t.root.query_descendants(finished), std::nullopt);
    EXPECT_THAT(testing::calls_of(t.log, "query"), ElementsAre("R"));

    // A child that finishes the record while answering absent keeps the next sibling from being asked.
    t.log.clear();
    t.a.finish_query = true;
    QueryRecord open;
    EXPECT_EQ(t.root.query_descendants(open), std::nullopt);
    EXPECT_THAT(testing::calls_of(t.log, "query"), ElementsAre("R", "A"));

    // A value without the flag, or the flag without a value, does not stop the walk.
    t.a.finish_query = false;
    for (QueryRecord half : {QueryRecord{.value = 5, .flags = 0, .kind = 0, .text = {}},
                             QueryRecord{.value = 0, .flags = 1, .kind = 0, .text = {}}}) {
        EXPECT_EQ(t.root.query_descendants(half), (QueryAnswer{2, "Y"}));
    }
}

TEST(WidgetCollectors, JoinEveryChildListInTreeOrder)
{
    Tree t;
    t.a1.texts = std::vector<std::string>{"a1", "a2"};
    t.a2.texts = std::vector<std::string>{};  // an empty list does not end the walk
    t.b.texts = std::vector<std::string>{"b1"};

    std::vector<std::string> firsts;
    for (const TextPairEntry& entry : t.root.collect_text_entries(77)) {
        firsts.push_back(entry.pair.first);
    }
    EXPECT_THAT(firsts, ElementsAre("a1", "a2", "b1"));
    EXPECT_EQ(testing::calls_of(t.log, "entries:77"), (std::vector<std::string>{"R", "A", "A1", "A2", "B"}));

    std::vector<std::string> ids;
    for (const ViewEntry& entry : t.root.take_view_entries_2()) {
        ids.push_back(entry.id.value_or("?"));
    }
    EXPECT_THAT(ids, ElementsAre("a1", "a2", "b1"));

    ProbeWidget leaf("leaf");
    EXPECT_THAT(leaf.take_texts(), IsEmpty());
    EXPECT_THAT(leaf.take_view_entries(), IsEmpty());
    EXPECT_THAT(leaf.take_view_entries_3(), IsEmpty());
    EXPECT_THAT(leaf.collect_text_entries(0), IsEmpty());
}

TEST(WidgetFinders, SearchesStopAtTheFirstTrueWithArgumentsUnchanged)
{
    Tree t;
    t.a2.flag = true;
    t.b.flag = true;
    EXPECT_TRUE(t.root.offer_request(9, 10, 11));
    EXPECT_THAT(testing::calls_of(t.log, "offer_request:9/10/11"), ElementsAre("R", "A", "A1", "A2"));

    t.log.clear();
    EXPECT_TRUE(t.root.offer_code(200));
    EXPECT_THAT(testing::calls_of(t.log, "offer_code:200"), ElementsAre("R", "A", "A1", "A2"));

    t.log.clear();
    EXPECT_TRUE(t.root.subtree_flag());
    EXPECT_THAT(testing::calls_of(t.log, "subtree_flag"), ElementsAre("R", "A", "A1", "A2"));

    ProbeWidget leaf("leaf");
    EXPECT_FALSE(leaf.subtree_flag());
    EXPECT_FALSE(leaf.offer_request(1, 2, 3));
    EXPECT_FALSE(leaf.offer_code(1));
}

TEST(WidgetFinders, TakeTextPairAnswersTheFirstChildsValue)
{
    Tree t;
    t.a1.text_pair = TextPair{"first", "1"};
    t.b.text_pair = TextPair{"second", "2"};
    EXPECT_EQ(t.root.take_text_pair(), (TextPair{"first", "1"}));
    EXPECT_THAT(testing::calls_of(t.log, "text_pair"), ElementsAre("R", "A", "A1"));
    // The first one was handed over; the next call reaches the second.
    EXPECT_EQ(t.root.take_text_pair(), (TextPair{"second", "2"}));
    EXPECT_EQ(t.root.take_text_pair(), std::nullopt);
}

TEST(WidgetFinders, RevealDescendantComparesAddresses)
{
    Tree t;
    EXPECT_FALSE(t.root.reveal_descendant(&t.root));  // never itself

    t.log.clear();
    EXPECT_TRUE(t.root.reveal_descendant(&t.a));  // a direct child: found without asking it
    EXPECT_THAT(testing::calls_of(t.log, "reveal"), ElementsAre("R"));

    t.log.clear();
    EXPECT_TRUE(t.root.reveal_descendant(&t.a2));  // deeper: through the child's own search; A2 itself not asked
    EXPECT_THAT(testing::calls_of(t.log, "reveal"), ElementsAre("R", "A", "A1"));

    ProbeWidget outsider("X");
    t.log.clear();
    EXPECT_FALSE(t.root.reveal_descendant(&outsider));
    EXPECT_THAT(testing::calls_of(t.log, "reveal"), ElementsAre("R", "A", "A1", "A2", "B"));
}

}  // namespace
}  // namespace vorn_ui

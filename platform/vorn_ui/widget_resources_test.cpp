// Resources and resource-operation routing: the first answer, Pending and the poll.

#include "vorn_ui/testing/probe_widget.hpp"
#include "vorn_ui/testing/stub_document.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vorn_ui {
namespace {

using testing::CallLog;
using testing::ProbeWidget;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

constexpr std::string_view kind = "settings.display-operation";
constexpr std::string_view payload = R"({"SetBrightness":{"level":0.5}})";
const OperationId op_id = OperationId::from_parts(0x0102030405060708ULL, 0x1112131415161718ULL);

ResourceOperationAnswer handles(std::string_view wanted, ResourceOperationAnswer answer, OperationClass, std::string_view k)
{
    return k == wanted ? answer : ResourceOperationAnswer::not_handled();
}

// R with children A (with child A1) and B.
struct Tree {
    CallLog log;
    page_doc::Document doc;
    ProbeWidget root{"R", &log};
    ProbeWidget& a = root.add("A");
    ProbeWidget& a1 = a.add("A1");
    ProbeWidget& b = root.add("B");

    ResourceOperationStart start(OperationClass op_class = OperationClass::Effect)
    {
        return root.start_resource_operation_with_document(op_id, op_class, kind, payload, doc);
    }
};

TEST(ResourceRouting, HandlersAreConsultedPostOrderUntilTheFirstAnswer)
{
    Tree t;
    EXPECT_EQ(t.start(), ResourceOperationStart::not_handled());
    // Starts let every child subtree start before the widget routes, routes let every child subtree route before
    // the widget invokes its own handler, and a default handler asks its children's handlers again.
    EXPECT_THAT(testing::calls_of(t.log, "handle"),
                ElementsAre("A1", "A1", "A", "A1", "B", "A1", "A", "A1", "B", "R", "A", "A1", "B"));

    // A handler that answers ends the walk where it is first consulted.
    t.log.clear();
    t.a.handler = [](OperationClass c, std::string_view k) {
        return handles(kind, ResourceOperationAnswer::handled(), c, k);
    };
    EXPECT_EQ(t.start(), ResourceOperationStart::completed_with({}));
    EXPECT_THAT(testing::calls_of(t.log, "handle"), ElementsAre("A1", "A1", "A"));
    EXPECT_THAT(testing::calls_of(t.log, "start"), ElementsAre("R", "A", "A1"));  // B never reached
}

TEST(ResourceRouting, ConsultationsGrowWithDepthInAChainOfDefaults)
{
    CallLog log;
    page_doc::Document doc;
    ProbeWidget root("D0", &log);
    ProbeWidget& d1 = root.add("D1");
    ProbeWidget& d2 = d1.add("D2");
    d2.add("D3");
    EXPECT_EQ(root.start_resource_operation_with_document(op_id, OperationClass::Effect, kind, payload, doc),
              ResourceOperationStart::not_handled());
    const auto handles = testing::calls_of(log, "handle");
    const auto count = [&](std::string_view name) { return std::ranges::count(handles, name); };
    EXPECT_EQ(count("D0"), 1);
    EXPECT_EQ(count("D1"), 3);
    EXPECT_EQ(count("D2"), 6);
    EXPECT_EQ(count("D3"), 10);
}

TEST(ResourceRouting, FirstChildInListOrderAnswers)
{
    Tree t;
    t.a1.handler = [](OperationClass c, std::string_view k) {
        return handles(kind, ResourceOperationAnswer::failed("display brightness must be between 0 and 1"), c, k);
    };
    t.b.handler = [](OperationClass c, std::string_view k) {
        return handles(kind, ResourceOperationAnswer::handled(), c, k);
    };
    // The grandchild's failure reaches the root unchanged; B is never asked.
    EXPECT_EQ(t.start(), ResourceOperationStart::failed("display brightness must be between 0 and 1"));
    EXPECT_THAT(testing::calls_of(t.log, "handle"), ElementsAre("A1"));
    EXPECT_THAT(testing::calls_of(t.log, "start"), ElementsAre("R", "A", "A1"));

    // The kind is compared exactly by the handlers: another kind goes unclaimed everywhere.
    EXPECT_EQ(t.root.start_resource_operation_with_document(op_id, OperationClass::Effect, "settings.Display-operation",
                                                            payload, t.doc),
              ResourceOperationStart::not_handled());
}

TEST(ResourceRouting, PendingFromAChildRouteEndsTheWalk)
{
    Tree t;
    t.a.route_answer = ResourceOperationStart::pending();
    t.root.handler = [](OperationClass, std::string_view) { return ResourceOperationAnswer::handled(); };
    EXPECT_EQ(t.start(), ResourceOperationStart::pending());
    EXPECT_THAT(testing::calls_of(t.log, "handle"), ElementsAre("A1"));  // R's own handler is not consulted
    EXPECT_THAT(testing::calls_of(t.log, "route"), ElementsAre("A1", "A"));
    EXPECT_THAT(testing::calls_of(t.log, "start"), ElementsAre("R", "A", "A1"));

    // Later the toolkit polls the root with the same id; the report comes from the widget that owns the operation.
    t.log.clear();
    EXPECT_EQ(t.root.poll_resource_operation(op_id, false, {}), std::nullopt);  // nothing to report yet
    EXPECT_THAT(testing::calls_of(t.log, "poll"), ElementsAre("R", "A", "A1", "B"));

    t.a1.report = OperationCompletion::completed_with(op_id, CompletedOperation{{}, "brightness set"});
    t.b.report = OperationCompletion::completed_with(op_id, {});
    t.log.clear();
    EXPECT_EQ(t.root.poll_resource_operation(op_id, false, {}),
              OperationCompletion::completed_with(op_id, CompletedOperation{{}, "brightness set"}));
    EXPECT_THAT(testing::calls_of(t.log, "poll"), ElementsAre("R", "A", "A1"));  // B not asked

    // Another id is not this operation; the cancel flag travels with the poll.
    t.log.clear();
    EXPECT_EQ(t.root.poll_resource_operation(OperationId::from_parts(1, 2), true, {}), std::nullopt);
    EXPECT_THAT(testing::calls_of(t.log, "poll:cancel"), ElementsAre("R", "A", "A1", "B"));
}

TEST(ResourceRouting, ClassZeroIsNotForwardedByHandlersButRoutesStillReachChildren)
{
    Tree t;
    t.b.handler = [](OperationClass c, std::string_view) {
        return c == OperationClass::Unclassified ? ResourceOperationAnswer::handled()
                                                 : ResourceOperationAnswer::not_handled();
    };
    EXPECT_EQ(t.root.handle_resource_operation(OperationClass::Unclassified, kind, payload, t.doc),
              ResourceOperationAnswer::not_handled());
    EXPECT_THAT(testing::calls_of(t.log, "handle"), ElementsAre("R"));

    t.log.clear();
    EXPECT_EQ(t.root.route_resource_operation(op_id, OperationClass::Unclassified, kind, payload, t.doc),
              ResourceOperationStart::completed_with({}));
    EXPECT_THAT(testing::calls_of(t.log, "handle"), ElementsAre("A1", "A", "B"));
}

TEST(ResourceRouting, LeafAnswersAndConversions)
{
    page_doc::Document doc;
    ProbeWidget leaf("leaf");
    for (auto c : {OperationClass::Unclassified, OperationClass::Effect, OperationClass::Presentation}) {
        EXPECT_EQ(leaf.handle_resource_operation(c, kind, payload, doc), ResourceOperationAnswer::not_handled());
        EXPECT_EQ(leaf.invoke_resource_operation_v2(c, kind, payload, doc), ResourceOperationResult::not_handled());
        EXPECT_EQ(leaf.route_resource_operation(op_id, c, kind, payload, doc), ResourceOperationStart::not_handled());
    }
    EXPECT_EQ(leaf.poll_resource_operation(op_id, false, {}), std::nullopt);

    leaf.handler = [](OperationClass, std::string_view) { return ResourceOperationAnswer::handled(); };
    EXPECT_EQ(leaf.invoke_resource_operation_v2(OperationClass::Effect, kind, payload, doc),
              ResourceOperationResult::completed_with(CompletedOperation{}));
    leaf.handler = [](OperationClass, std::string_view) { return ResourceOperationAnswer::failed("no such output"); };
    EXPECT_EQ(leaf.invoke_resource_operation_v2(OperationClass::Effect, kind, payload, doc),
              ResourceOperationResult::failed("no such output"));
    EXPECT_EQ(leaf.start_resource_operation_with_document(op_id, OperationClass::Effect, kind, payload, doc),
              ResourceOperationStart::failed("no such output"));
}

TEST(ResourceRouting, HandledKindsAreTheUnionOfTheSubtree)
{
    Tree t;
    t.root.kinds = {"settings.open-pane"};
    t.a1.kinds = {"settings.display-operation", "settings.audio-operation"};
    t.b.kinds = {"settings.display-operation"};
    EXPECT_THAT(t.root.resource_operation_handlers(),
                UnorderedElementsAre("settings.open-pane", "settings.display-operation", "settings.audio-operation"));

    ProbeWidget leaf("leaf");
    leaf.kinds = {"settings.power-operation"};
    EXPECT_THAT(leaf.resource_operation_handlers(), UnorderedElementsAre("settings.power-operation"));
}

TEST(OperationId, ComparesAllSixteenBytes)
{
    EXPECT_EQ(OperationId::from_parts(1, 2), OperationId::from_parts(1, 2));
    EXPECT_NE(OperationId::from_parts(1, 2), OperationId::from_parts(1, 3));
    EXPECT_NE(OperationId::from_parts(1, 2), OperationId::from_parts(2, 2));
    EXPECT_EQ(OperationId::from_parts(0x0102030405060708ULL, 0).bytes[0], 0x01);
    EXPECT_EQ(OperationId::from_parts(0, 0x0102030405060708ULL).bytes[15], 0x08);
}

}  // namespace
}  // namespace vorn_ui

#pragma once
// What the runner does with the application's two operation cells when it hands an operation to a page, and the
// outcomes a page's test expects in the status cell (tests only, header only).
//
//   operations::testing::hand_over(requests, status, Op{Op::SetProfile{"Balanced"}});
//   model.sync(doc);
//   EXPECT_EQ(status.get(), operations::testing::done(Op{Op::SetProfile{"Balanced"}}, "Balanced is already active."));

#include "operations/cells.hpp"

#include <string>
#include <string_view>

namespace settings::operations::testing {

// Running under the operation's key, and the request in the request cell.
template <class Operation>
void hand_over(const OperationRequestCell& requests, const OperationStatusCell& status, const Operation& operation)
{
    (void)status.publish(OperationStatus::running(operation_key(operation)));
    (void)requests.publish(PaneOperationRequest{operation});
}

template <class Operation>
[[nodiscard]] OperationStatus done(const Operation& operation, std::string_view text)
{
    return OperationStatus::done(operation_key(operation), std::string(text));
}

template <class Operation>
[[nodiscard]] OperationStatus failed(const Operation& operation, std::string_view text)
{
    return OperationStatus::failed(operation_key(operation), std::string(text));
}

}  // namespace settings::operations::testing

#include "operations/cells.hpp"

namespace settings::operations {

bool OperationStatus::is_running_kind(std::string_view kind) const
{
    return state == State::Running && key.size() > kind.size() && key.starts_with(kind) && key[kind.size()] == ':';
}

bool finish_operation(const OperationStatusCell& cell, std::string_view kind,
                      const std::expected<std::string, std::string>& outcome)
{
    OperationStatus current = cell.get();
    if (!current.is_running_kind(kind)) {
        return false;
    }
    auto next = outcome ? OperationStatus::done(std::move(current.key), *outcome)
                        : OperationStatus::failed(std::move(current.key), outcome.error());
    return cell.publish(std::move(next)).has_value();
}

bool finish_operation_with_key(const OperationStatusCell& cell, std::string_view key,
                               const std::expected<std::string, std::string>& outcome)
{
    if (!cell.get().is_running(key)) {
        return false;
    }
    auto next = outcome ? OperationStatus::done(std::string(key), *outcome)
                        : OperationStatus::failed(std::string(key), outcome.error());
    return cell.publish(std::move(next)).has_value();
}

}  // namespace settings::operations

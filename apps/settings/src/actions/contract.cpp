#include "actions/contract.hpp"

#include "vorn_log/log.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace settings::actions {

void contract_violation(std::string_view message)
{
    VORN_ERROR("resource_contract", "{}", message);
    vorn_log::logger().flush();
    std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
    std::fflush(stderr);
    std::abort();
}

void unreachable(std::string_view what)
{
    contract_violation("internal error: entered unreachable code: " + std::string(what));
}

}  // namespace settings::actions

#include "accounts/probe.hpp"

namespace settings::accounts {

std::expected<std::string, std::string> UnavailableAccountProbe::probe(const account_registry::Account& /*account*/,
                                                                       std::string_view /*secret*/) const
{
    return std::unexpected(std::string(unavailable_message));
}

std::shared_ptr<const AccountProbe> default_account_probe() { return std::make_shared<UnavailableAccountProbe>(); }

}  // namespace settings::accounts

#include "signing_ids/signing_ids.hpp"

namespace signing_ids::unix {

std::expected<SigningIdentity, std::string> load()
{
    return std::unexpected(std::string("no signing identity is set up for this user"));
}

}  // namespace signing_ids::unix

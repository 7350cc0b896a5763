// Stored account texts from disk (journal, account store, legacy lists): reading never crashes, and whatever is
// read is written back so that it reads again as the same record.

#include "accounts/records.hpp"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

template <class R>
void round_trip(std::string_view text)
{
    const auto decoded = settings::accounts::decode_record<R>(text);
    if (!decoded) {
        return;
    }
    const auto again = settings::accounts::decode_record<R>(settings::accounts::encode_record(*decoded));
    if (!again || !(*again == *decoded)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    round_trip<settings::accounts::AccountMutationJournal>(text);
    round_trip<settings::accounts::AccountStore>(text);
    round_trip<settings::accounts::AccountSyncStatusStore>(text);
    round_trip<settings::accounts::DavStore>(text);
    round_trip<settings::accounts::NextcloudStore>(text);
    return 0;
}

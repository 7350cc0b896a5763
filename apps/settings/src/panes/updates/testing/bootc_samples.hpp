#pragma once
// `bootc status --format json` documents in the shape bootc prints them (a BootcHost with its booted, staged and
// rollback entries), for tests.

#include <string>

namespace settings::panes::updates::testing {

struct BootcImages {
    bool staged = false;
    bool rollback = false;
};

// Booted: quay.io/vorn/os:42 version 42.20261210.0. Staged (when asked): version 42.20261211.0. Rollback (when
// asked): quay.io/vorn/os:41. Entries that are not there are null, as bootc prints them.
inline std::string bootc_status(BootcImages images)
{
    const auto entry = [](const std::string& reference, const std::string& version, const std::string& digest) {
        return R"({"image":{"image":{"image":")" + reference + R"(","transport":"registry"},"version":")" + version +
               R"(","timestamp":"2026-12-10T08:00:00Z","imageDigest":"sha256:)" + digest +
               R"(","architecture":"amd64"},"cachedUpdate":null,"incompatible":false,"pinned":false,)"
               R"("store":"ostreeContainer","ostree":{"checksum":")" + digest + R"(","deploySerial":0}})";
    };
    return R"({"apiVersion":"org.containers.bootc/v1","kind":"BootcHost","metadata":{"name":"host"},)"
           R"("spec":{"image":{"image":"quay.io/vorn/os:42","transport":"registry"},"bootOrder":"default"},)"
           R"("status":{"staged":)" +
           (images.staged ? entry("quay.io/vorn/os:42", "42.20261211.0", "5a5a") : std::string("null")) +
           R"(,"booted":)" + entry("quay.io/vorn/os:42", "42.20261210.0", "4b4b") + R"(,"rollback":)" +
           (images.rollback ? entry("quay.io/vorn/os:41", "41.20261101.0", "3c3c") : std::string("null")) +
           R"(,"rollbackQueued":false,"type":"bootcHost"}})";
}

}  // namespace settings::panes::updates::testing

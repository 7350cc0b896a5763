#pragma once
// libcurl's process-wide set-up, done once before the first request, from any thread.

namespace vorn_net::detail {

// Initialises libcurl with an allocator that wipes every block libcurl frees (its copies of request headers,
// credentials and responses must not linger in freed memory). True when libcurl is ready.
[[nodiscard]] bool ensure_curl();

}  // namespace vorn_net::detail

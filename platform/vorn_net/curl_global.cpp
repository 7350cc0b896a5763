#include "vorn_net/curl_global.hpp"

#include <curl/curl.h>
#include <malloc.h>
#include <sodium.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace vorn_net::detail {

namespace {

// Every block goes through the C library's allocator; only free and realloc add the wiping, so a block libcurl got
// before this allocator was installed is released just as well.
void* wiping_malloc(std::size_t size) { return std::malloc(size); }

void wiping_free(void* block)
{
    if (block != nullptr) {
        sodium_memzero(block, malloc_usable_size(block));
        std::free(block);
    }
}

void* wiping_realloc(void* block, std::size_t size)
{
    if (block == nullptr) {
        return std::malloc(size);
    }
    if (size == 0) {
        wiping_free(block);
        return nullptr;
    }
    void* grown = std::malloc(size);
    if (grown == nullptr) {
        return nullptr;
    }
    const std::size_t old_size = malloc_usable_size(block);
    std::memcpy(grown, block, old_size < size ? old_size : size);
    wiping_free(block);
    return grown;
}

char* wiping_strdup(const char* text)
{
    const std::size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(std::malloc(size));
    if (copy != nullptr) {
        std::memcpy(copy, text, size);
    }
    return copy;
}

void* wiping_calloc(std::size_t count, std::size_t size) { return std::calloc(count, size); }

}  // namespace

bool ensure_curl()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] {
        ready = sodium_init() >= 0 &&
                curl_global_init_mem(CURL_GLOBAL_DEFAULT, wiping_malloc, wiping_free, wiping_realloc, wiping_strdup,
                                     wiping_calloc) == CURLE_OK;
    });
    return ready;
}

}  // namespace vorn_net::detail

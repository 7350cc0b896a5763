#pragma once
// Whole JSON files that hold one record of the settings store (the display files of display_config.hpp): read
// strictly, written whole and atomically. For the store's own sources.

#include "json_text/record.hpp"
#include "safe_write/file_lock.hpp"
#include "safe_write/safe_write.hpp"
#include "vorn_try/vorn_try.hpp"

#include <fmt/format.h>

#include <expected>
#include <filesystem>
#include <optional>
#include <string>

namespace config_sections {

// The record in the file: none when the file does not exist; "<path> is damaged: <why>" when it does not read.
template <class T>
[[nodiscard]] std::expected<std::optional<T>, std::string> read_record_file(const std::filesystem::path& path)
{
    VORN_TRY(const auto text, safe_write::read_file(path));
    if (!text) {
        return std::nullopt;
    }
    auto json = json_text::parse(*text);
    if (!json) {
        return std::unexpected(fmt::format("{} is damaged: {}", path.string(), json.error()));
    }
    auto record = json_text::decode<T>(*json);
    if (!record) {
        return std::unexpected(fmt::format("{} is damaged: {}", path.string(), record.error()));
    }
    return std::optional<T>(std::move(*record));
}

// Writes the record as two-space pretty JSON, creating the folder.
template <class T>
[[nodiscard]] std::expected<void, std::string> write_record_file(const T& record, const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) {
        return std::unexpected(fmt::format("could not create {}: {}", path.parent_path().string(), ec.message()));
    }
    return safe_write::write_file(path, json_text::pretty(json_text::Json(record)));
}

}  // namespace config_sections

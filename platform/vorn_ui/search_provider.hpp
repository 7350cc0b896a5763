#pragma once
// A search provider of the window (the settings search answers the desktop's search through one).

#include <string_view>

namespace vorn_ui {

class SearchProvider {
public:
    virtual ~SearchProvider() = default;
    // The provider's name as the desktop shows it ("Personal Settings").
    [[nodiscard]] virtual std::string_view provider_name() const = 0;

protected:
    SearchProvider() = default;
    SearchProvider(const SearchProvider&) = default;
    SearchProvider& operator=(const SearchProvider&) = default;
};

}  // namespace vorn_ui

#include "app/settings_app.hpp"

namespace settings::app {

std::unique_ptr<vorn_ui::Widget> make_search_field(const SearchTextCell& /*search_text*/) { return nullptr; }

}  // namespace settings::app

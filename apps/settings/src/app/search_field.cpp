#include "app/settings_app.hpp"

#include "vorn_ui/widgets/text_input.hpp"

namespace settings::app {

std::unique_ptr<vorn_ui::Widget> make_search_field(const SearchTextCell& search_text)
{
    return std::make_unique<vorn_ui::TextInput>(vorn_ui::TextInput::from_state(search_text)
                                                    .with_kind(vorn_ui::text_input_kind::search)
                                                    .with_id(std::string(kSearchFieldId))
                                                    .with_placeholder(std::string(kSearchPlaceholder))
                                                    .with_text_size(13.0f));
}

}  // namespace settings::app

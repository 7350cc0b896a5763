// Program entry of Vorn Settings ("so.vorn.settings"). Takes no arguments and reads no environment of its own: the
// launcher opens the window and runs the application until it ends.
#include "launch/launch.hpp"

int main()
{
    return vorn_ui::launch::run_or_exit(settings::launch::launch_config());
}

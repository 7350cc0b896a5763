// Program entry of Vorn Settings ("so.vorn.settings"). Takes no arguments.
#include <cstdio>

int main()
{
    std::fputs("vorn-settings: this build has no window yet; nothing to show\n", stderr);
    return 1;
}

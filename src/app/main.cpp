#include "Version.h"

#include <cstdio>

// The window and the object graph arrive with the user-interface work; until then the
// program says what it is and what is missing.
int main()
{
    std::printf("Larkhaven %s%s\n", lh::Version::text, lh::Version::isDevBuild ? " (development build)" : "");
    std::printf("The player core builds and its tests run (scripts/dev test); the window is not built yet.\n");
    return 0;
}

#include <iostream>

#include "patchtool.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return runPatchtool(args, std::cout, std::cerr, isatty(2) != 0);
}

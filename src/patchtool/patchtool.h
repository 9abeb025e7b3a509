#pragma once
#include <ostream>
#include <string>
#include <vector>

// The whole command line after the program name; diagnostics and usage go to
// err. Returns the exit status: 0 no error, 1 an error in the patch, 2 usage or I/O.
int runPatchtool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool terminal);

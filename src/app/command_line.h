#pragma once
// Cutting a raw command line into arguments, for platforms that hand the
// program one line rather than argv.
#include <string>
#include <string_view>
#include <vector>

namespace zelfin {

// The arguments of raw after the program's own name (the first argument):
// runs of characters 1..32 separate arguments; a stretch between double quotes
// is taken literally without its quotes (a missing closing quote runs to the
// end); a backslash is an ordinary character; pairs of quotes with nothing
// between them at the start of an argument are skipped, so no argument is
// empty. A NUL ends the line.
std::vector<std::string> SplitCommandLine(std::string_view raw);

}  // namespace zelfin

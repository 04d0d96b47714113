#pragma once
// The two forms of the command line: "reference,reshot,catalog folder,catalog
// index" for an unattended processing run, or one survey base folder.
#include <string>
#include <vector>

namespace shell {

struct CommandLine {
    enum class Kind { None, Processing, Scanner, Malformed };
    Kind kind = Kind::None;
    std::vector<std::string> fields; // split at every ",", nothing trimmed
    int catalogIndex = -1;           // Processing only
};

// The program's arguments joined with single blanks.
std::string JoinArguments(int argc, const char* const* argv);

// `lastCatalogPosition`: the highest list position the catalog combo has.
CommandLine ParseCommandLine(const std::string& text, int lastCatalogPosition = 2);

extern const char* const kExpectedProcessingForm;

} // namespace shell

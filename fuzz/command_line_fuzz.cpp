// Any text as the program's command line.
#include "shell/command_line.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto line = shell::ParseCommandLine(text);
    using Kind = shell::CommandLine::Kind;
    // a processing run always names its four parts and a catalog position the combo has (-1: none)
    if (line.kind == Kind::Processing && (line.fields.size() < 4 || line.catalogIndex < -1 || line.catalogIndex > 2))
        __builtin_trap();
    (void)shell::ParseCommandLine(text, 0);
    return 0;
}

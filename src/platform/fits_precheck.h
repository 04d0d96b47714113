#pragma once
// A look at a FITS file's header cards before cfitsio parses them: cfitsio
// copies some values into fixed buffers without a length check, so a damaged
// card could overrun them. Plain and gzip files; tile-compressed images are
// plain FITS tables to this check.
#include <string>

namespace platform {

// "" when the headers of the first HDUs are safe to give to cfitsio, else
// what is wrong with them, in words for a message.
std::string FitsHeaderProblem(const std::string& path);

} // namespace platform

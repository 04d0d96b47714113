#pragma once
#include <string>

namespace processing {

// The output folder of a run, ending with "/": the "current" folder beside the
// reshot, or, for a target examined from the scanner (the reshot lies in a
// numbered folder of the target), the target's "current" folder. A reshot
// path without a folder gives "current/" in the working directory.
std::string WorkFolder(const std::string& reshotPath, bool examineFromScanner);

// OBJECT made fit to start a file name: blanks around it trimmed, path
// separators and characters a file name cannot hold turned into "_", an empty
// name "Object". A header can never make the program write outside its folder.
std::string SafeObjectName(const std::string& object);

} // namespace processing

#pragma once
// Flags the scanner shares with the main window.
#include <string>

namespace scanner {

inline bool examineFromScanner = false;
inline bool nextRequested = false;
inline std::string scanBlinkFolder; // holds the two JPEG products being blinked
inline bool scanAbort = false;      // a window is closing: end the walk and its waits

} // namespace scanner

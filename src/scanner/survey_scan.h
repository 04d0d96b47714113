#pragma once
// The walk of a survey folder tree.
#include <string>

namespace shell {
class FrmMain;
}

namespace scanner {

class FrmScanner;

// Returns when the whole tree has been walked, every wait for the user included.
void ScanBaseFolder(shell::FrmMain& main, FrmScanner& window, const std::string& baseFolder);

} // namespace scanner

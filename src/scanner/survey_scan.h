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

// The six products of a new image, the blink started, and the wait for "NEXT >>".
void PrepareTarget(shell::FrmMain& main, FrmScanner& window, const std::string& referenceFile,
                   const std::string& newImageFile, const std::string& currentFolder);

} // namespace scanner

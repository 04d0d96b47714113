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

// Waits until the products of the target on offer are all written (the
// difference and three of them follow the blink's start); what failed goes to
// standard error.
void FinishPendingProducts();

} // namespace scanner

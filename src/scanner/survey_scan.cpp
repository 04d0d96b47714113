#include "scanner/survey_scan.h"

namespace scanner {

void ScanBaseFolder(shell::FrmMain&, FrmScanner&, const std::string&) {
    // The walk arrives with the image engine; it needs the target preparation.
}

} // namespace scanner

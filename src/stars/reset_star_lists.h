#pragma once

namespace shell {
class FrmMain;
}

namespace stars {

// Clears the pictures, the three star lists and their captions, and disables
// the buttons that act on a result.
void ResetStarLists(shell::FrmMain& w);

} // namespace stars

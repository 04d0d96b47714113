#pragma once
// Waits that keep the windows alive: the event loop runs until the due time.
// All waits share one due time, so that a wait nested in another (a second
// click during the first click's second) ends both when the latest is due.
namespace display {

void WaitSeconds(int seconds);
void WaitMilliseconds(int milliseconds);

} // namespace display

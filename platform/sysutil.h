#pragma once
// Small process-level facilities of the platform layer.

namespace vex {

// Numbers in files never depend on the locale: called right after the QApplication exists (which sets the
// user's locale), it puts LC_NUMERIC back to "C".
void UseCNumericLocale();

// Raises the calling thread's scheduling priority a little. Linux refuses this without privileges; the
// call is best effort and its failure is not an error.
void RaiseThreadPriorityBestEffort();

}  // namespace vex

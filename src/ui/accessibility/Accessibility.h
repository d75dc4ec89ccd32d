#pragma once

namespace lh {

// Makes the window's custom-drawn views readable by assistive technology: installs the
// interfaces that name them and expose their values, texts and rows. Safe to call more than
// once; main thread only.
void installAccessibleInterfaces();

} // namespace lh

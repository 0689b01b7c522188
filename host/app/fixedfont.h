#pragma once

#include <QFont>

namespace Workbench {

// The font for code and command output, where columns must line up. Some platform themes
// (the offscreen one among them) answer the request for a fixed font with the proportional
// default font; then the font configuration's "monospace" is asked for by name.
QFont fixedPitchFont();

} // namespace Workbench

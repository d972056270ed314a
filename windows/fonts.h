#pragma once
// The faces the program names ("微软雅黑" for lists and windows, "宋体" for plot texts) are not installed
// here: they are mapped to installed CJK faces once, and every widget asks for them by the program's name.
#include <QFont>

namespace vex {

// Maps "微软雅黑" to a CJK sans-serif face and "宋体" to a CJK serif face (Noto CJK SC first, then other
// common CJK faces). Idempotent; needs a QGuiApplication. Call once at start-up.
void InstallFontSubstitutions();

// The font of the list views and their headers: "微软雅黑" of a 20-pixel character cell, normal weight.
// Installs the substitutions first.
QFont ListFont();

}  // namespace vex

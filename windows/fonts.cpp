#include "windows/fonts.h"

#include <QStringList>

namespace vex {

void InstallFontSubstitutions() {
    static const bool installed = [] {
        QFont::insertSubstitutions(QStringLiteral("微软雅黑"),
                                   {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
                                    QStringLiteral("Droid Sans Fallback")});
        QFont::insertSubstitutions(QStringLiteral("宋体"),
                                   {QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN"),
                                    QStringLiteral("Noto Sans CJK SC")});
        return true;
    }();
    (void)installed;
}

QFont ListFont() {
    InstallFontSubstitutions();
    QFont font(QStringLiteral("微软雅黑"));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    // A character cell of 20 pixels holds glyphs of a 15-pixel em in the named face.
    font.setPixelSize(15);
    return font;
}

}  // namespace vex

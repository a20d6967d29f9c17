// The palette a dark desktop theme gives the program (as qt6ct's "darker" or
// Adwaita:dark do), so the guide's dark pictures and the tests of the
// windows under a dark theme see the same colours.
#pragma once

#include <QColor>
#include <QPalette>

namespace kestrane::ui {

inline QPalette DarkPalette() {
    QPalette p;
    const QColor window(53, 53, 53), text(238, 238, 236), base(36, 36, 36);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Base, base);
        p.setColor(group, QPalette::AlternateBase, window);
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::Button, window);
        p.setColor(group, QPalette::ButtonText, text);
    }
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(127, 127, 127));
    p.setColor(QPalette::Disabled, QPalette::Button, window);
    return p;
}

}  // namespace kestrane::ui

#pragma once
// The program's icon and the tool-bar icons of the main frame, drawn at run time.
#include <QIcon>

#include <cstdint>

QIcon AppIcon();
// The tool-bar icon of a command; a null icon for commands without one.
QIcon FrameCmdIcon(uint32_t id);

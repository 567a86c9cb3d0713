#pragma once
// What X11 window managers are told about a window's frame: the Motif hints
// (_MOTIF_WM_HINTS), which they read for the title bar's menu and buttons and
// for what the user may do with the window. Qt's xcb plugin writes them from
// the window flags, but for a title bar without buttons it writes the
// functions only, and window managers then draw their usual buttons; and it
// always offers resizing. The fixed windows write their own.
#include <Qt>
#include <cstdint>

class QWidget;

namespace zelfin {

// The bits as the Motif window manager defines them.
inline constexpr uint32_t kMwmHintsFunctions = 1u << 0;
inline constexpr uint32_t kMwmHintsDecorations = 1u << 1;
inline constexpr uint32_t kMwmFuncResize = 1u << 1;
inline constexpr uint32_t kMwmFuncMove = 1u << 2;
inline constexpr uint32_t kMwmFuncMinimize = 1u << 3;
inline constexpr uint32_t kMwmFuncMaximize = 1u << 4;
inline constexpr uint32_t kMwmFuncClose = 1u << 5;
inline constexpr uint32_t kMwmDecorBorder = 1u << 1;
inline constexpr uint32_t kMwmDecorResizeH = 1u << 2;
inline constexpr uint32_t kMwmDecorTitle = 1u << 3;
inline constexpr uint32_t kMwmDecorMenu = 1u << 4;
inline constexpr uint32_t kMwmDecorMinimize = 1u << 5;
inline constexpr uint32_t kMwmDecorMaximize = 1u << 6;

struct MotifHints {
  uint32_t flags = 0;  // which of the two fields below hold
  uint32_t functions = 0;
  uint32_t decorations = 0;
};

// Both fields, always: moving, resizing only when resizable, and exactly the
// menu and the buttons that the flags name; a title bar and border where the
// flags ask for a title.
MotifHints MotifHintsFor(Qt::WindowFlags flags, bool resizable);

// MotifHintsFor the window's flags and whether its size can change.
MotifHints WindowManagerHintsOf(const QWidget* window);

// Writes WindowManagerHintsOf(window) as the window's _MOTIF_WM_HINTS when
// the program runs on X11; elsewhere does nothing. Call it from showEvent: the native window exists
// then and is not yet mapped, and Qt writes its own hints only when the flags are set.
void SetWindowManagerHints(QWidget* window);

}  // namespace zelfin

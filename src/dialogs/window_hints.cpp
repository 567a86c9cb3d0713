#include "dialogs/window_hints.h"

#include <QGuiApplication>
#include <QWidget>

#if defined(ZELFIN_HAVE_XCB) && QT_CONFIG(xcb)
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#define ZELFIN_WRITES_MOTIF_HINTS 1
#endif

namespace zelfin {

MotifHints MotifHintsFor(Qt::WindowFlags flags, bool resizable) {
  MotifHints hints;
  hints.flags = kMwmHintsFunctions | kMwmHintsDecorations;
  hints.functions = kMwmFuncMove;
  if (resizable) hints.functions |= kMwmFuncResize;
  if (flags & Qt::WindowMinimizeButtonHint) hints.functions |= kMwmFuncMinimize;
  if (flags & Qt::WindowMaximizeButtonHint) hints.functions |= kMwmFuncMaximize;
  if (flags & Qt::WindowCloseButtonHint) hints.functions |= kMwmFuncClose;
  if ((flags & Qt::FramelessWindowHint) || !(flags & Qt::WindowTitleHint)) return hints;

  hints.decorations = kMwmDecorBorder | kMwmDecorTitle;
  if (resizable) hints.decorations |= kMwmDecorResizeH;
  if (flags & Qt::WindowSystemMenuHint) hints.decorations |= kMwmDecorMenu;
  if (flags & Qt::WindowMinimizeButtonHint) hints.decorations |= kMwmDecorMinimize;
  if (flags & Qt::WindowMaximizeButtonHint) hints.decorations |= kMwmDecorMaximize;
  return hints;
}

MotifHints WindowManagerHintsOf(const QWidget* window) {
  return MotifHintsFor(window->windowFlags(), window->minimumSize() != window->maximumSize());
}

#ifdef ZELFIN_WRITES_MOTIF_HINTS
namespace {

// The atom of the hints on this connection, asked for once.
xcb_atom_t MotifHintsAtom(xcb_connection_t* connection) {
  static xcb_connection_t* asked_on = nullptr;
  static xcb_atom_t atom = XCB_ATOM_NONE;
  if (asked_on == connection) return atom;
  static constexpr char kName[] = "_MOTIF_WM_HINTS";
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(kName)), kName);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  asked_on = connection;
  return atom;
}

}  // namespace
#endif

void SetWindowManagerHints(QWidget* window) {
#ifdef ZELFIN_WRITES_MOTIF_HINTS
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !window || !window->isWindow()) return;
  xcb_connection_t* connection = x11->connection();
  const xcb_atom_t atom = MotifHintsAtom(connection);
  if (atom == XCB_ATOM_NONE) return;
  const MotifHints hints = WindowManagerHintsOf(window);
  // flags, functions, decorations, input mode, status
  const uint32_t data[5] = {hints.flags, hints.functions, hints.decorations, 0, 0};
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window->winId()),
                      atom, atom, 32, 5, data);
  xcb_flush(connection);
#else
  (void)window;
#endif
}

}  // namespace zelfin

#pragma once

#include <QIcon>

/// The icon of Corvane's windows and of its tray icon.
///
/// The icon theme's "corvane" when the theme has a readable one (installed
/// into the hicolor theme, or replaced by the user's theme); otherwise the copy
/// built into the program, so a program started from the build tree, or from an
/// installation whose theme files are missing or damaged, still shows it.
QIcon corvaneIcon();

/// The copy built into the program: one image per hicolor size.
QIcon bundledCorvaneIcon();

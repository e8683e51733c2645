#pragma once

class QWidget;

/// Moves the top-level window of @p window, frame included, to the centring
/// position (centring.h) on the screen that holds it; its size stays.
void centreOnScreen(QWidget *window);

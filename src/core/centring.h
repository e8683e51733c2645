#pragma once

/// Where a window goes when it is centred: horizontally in the middle, and
/// a little above the middle vertically (0.45 of the free height above it,
/// 0.55 below). In whatever unit the sizes are given, twips or pixels.
struct CentredPosition
{
    double left = 0;
    double top = 0;
};

/// Left = (screen width - window width) / 2, worked in single precision;
/// Top = (screen height - window height) * 0.9 / 2, in double precision.
/// Not rounded; negative when the window is larger than the screen.
CentredPosition centredPosition(double screenWidth, double screenHeight, double windowWidth,
                                double windowHeight);

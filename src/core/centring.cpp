#include "centring.h"

CentredPosition centredPosition(double screenWidth, double screenHeight, double windowWidth,
                                double windowHeight)
{
    const float left = (static_cast<float>(screenWidth) - static_cast<float>(windowWidth)) / 2.0F;
    return {static_cast<double>(left), (screenHeight - windowHeight) * 0.9 / 2.0};
}

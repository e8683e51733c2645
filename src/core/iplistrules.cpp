#include "iplistrules.h"

namespace {

constexpr int kVkEscape = 27;
constexpr int kSumRefresh = 116;
constexpr int kSumFeatureNotAvailable = 117;

} // namespace

std::optional<GridCell> nextCellAfter(GridCell current, int rowCount)
{
    if (current.column < kGridColumnCount - 1)
        return GridCell{current.row, current.column + 1};
    if (current.row + 1 < rowCount)
        return GridCell{current.row + 1, 0};
    return std::nullopt;
}

int virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers)
{
    if (qtKey == Qt::Key_Escape)
        return kVkEscape;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 112 + (qtKey - Qt::Key_F1);
    if (!modifiers.testFlag(Qt::KeypadModifier))
        return 0;
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return 96 + (qtKey - Qt::Key_0);
    switch (qtKey) {
    case Qt::Key_Asterisk:
        return 106;
    case Qt::Key_Plus:
        return 107;
    case Qt::Key_Minus:
        return 109;
    case Qt::Key_Period:
    case Qt::Key_Comma:
        return 110;
    case Qt::Key_Slash:
        return 111;
    default:
        return 0;
    }
}

int shiftState(Qt::KeyboardModifiers modifiers)
{
    return (modifiers.testFlag(Qt::ShiftModifier) ? 1 : 0) +
           (modifiers.testFlag(Qt::ControlModifier) ? 2 : 0) +
           (modifiers.testFlag(Qt::AltModifier) ? 4 : 0);
}

IpListKeyAction keyActionFor(int keyCode, int shiftState)
{
    if (keyCode == kVkEscape)
        return IpListKeyAction::Close;
    switch (keyCode + shiftState) {
    case kSumRefresh:
        return IpListKeyAction::Refresh;
    case kSumFeatureNotAvailable:
        return IpListKeyAction::FeatureNotAvailable;
    default:
        return IpListKeyAction::None;
    }
}

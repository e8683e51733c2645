#pragma once

#include <QtCore/qnamespace.h>
#include <optional>

/// A cell of the list grid: column 0 IP Number, 1 Description, 2 marker.
struct GridCell
{
    int row = 0;
    int column = 0;

    friend bool operator==(const GridCell &, const GridCell &) = default;
};

inline constexpr int kIpNumberColumn = 0;
inline constexpr int kDescriptionColumn = 1;
inline constexpr int kMarkerColumn = 2;
inline constexpr int kGridColumnCount = 3;

/// Where the edit box goes when it loses the focus without a mouse press on
/// the grid: the next column of the row, else column 0 of the next row;
/// nothing after the last cell of the last row.
std::optional<GridCell> nextCellAfter(GridCell current, int rowCount);

/// What a key press does in the list window.
enum class IpListKeyAction { None, Close, Refresh, FeatureNotAvailable };

/// The classic virtual key code of a Qt key: Escape 27, the keypad's digits
/// 96 to 105 and operators 106 to 111, F1 112 to F24 135. Every other key
/// gives 0: its code is below 109 and no modifiers lift it to an action.
int virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers);

/// The modifier state as a sum: Shift 1, Ctrl 2, Alt 4.
int shiftState(Qt::KeyboardModifiers modifiers);

/// Escape closes whatever modifiers are held. Otherwise the key code and the
/// modifier state are added, and only the sum counts: 116 refreshes (F5, but
/// also Shift+F4 and Ctrl+F3), 117 tells that the feature is missing (F6,
/// Shift+F5, Ctrl+F4).
IpListKeyAction keyActionFor(int keyCode, int shiftState);

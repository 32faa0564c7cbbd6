#pragma once

#include <Qt>

/**
 * Item data roles of the library's views and delegates. The values are fixed:
 * pages store them in their own models.
 */
enum CItemDataRole : int {
    CellFlagsRole = 31,      ///< Qt::ItemFlags as int; the editable bit makes a link cell
    ComboItemsRole = 134,    ///< list of [text, icon] entries; marks a combo-box cell
    ButtonRole = 135,        ///< bool; true marks a push-button cell
    DateTimeRole = 138,      ///< QDateTime; marks a date-time cell
    DateRole = 139,          ///< QDate; marks a date cell
    StatusIconLeftRole = 151,  ///< pixmap shown left of StatusIconRightRole in tree child rows
    StatusIconRightRole = 152, ///< pixmap shown at the right end of tree child rows
    RegExpRole = 153,        ///< QRegularExpression (or its pattern) a text cell must match
    MaxBytesRole = 154,      ///< int; byte limit of a text cell in the locale's 8-bit encoding
};

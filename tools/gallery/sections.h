#pragma once

class QString;
class QWidget;

// One builder per family of the widget library; each returns the section's
// content, filled with sample data, for Gallery::addSection().

QWidget *buildLabelSection();
QWidget *buildToolTipSection();
QWidget *buildRegionSection();
QWidget *buildInputSection();
QWidget *buildTableSection();
/** Date cells in a table, a calendar with marked dates, the desk label and a time editor. */
QWidget *buildCalendarSection();
QWidget *buildDialogSection();
QWidget *buildStyleSection();

/** Loads the skin plug-in offering @p key from the program's plugins/skins and
 *  installs the application style and the skin's style sheet, as start-up does. */
bool installSkin(const QString &key);
/** The skin's images, each on light and dark ground, and pictures of skinned dialogs. */
QWidget *buildSkinSection();

/** Name of the button in the tool-tip section that raises a sample complaint. */
inline constexpr char kToolTipDemoButton[] = "galleryToolTipDemo";
/** Name of the table's open date editor in the calendar section. */
inline constexpr char kCalendarDemoEditor[] = "galleryCalendarDemo";

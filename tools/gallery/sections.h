#pragma once

class QWidget;

// One builder per family of the widget library; each returns the section's
// content, filled with sample data, for Gallery::addSection().

QWidget *buildLabelSection();
QWidget *buildToolTipSection();
QWidget *buildRegionSection();

/** Name of the button in the tool-tip section that raises a sample complaint. */
inline constexpr char kToolTipDemoButton[] = "galleryToolTipDemo";

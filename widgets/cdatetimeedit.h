#pragma once

#include "vexawidgets_export.h"

#include <QDateTimeEdit>

class CCalendarTimePopup;

/**
 * A date-time editor whose calendar is the library's CCalendarWidget: a press
 * anywhere on it (or F4, Alt+Down) opens the calendar under it, kept on the
 * screen's work area. Starts at today, 00:00:00, shown "yyyy-MM-dd hh:mm:ss".
 */
class VEXAWIDGETS_EXPORT CDateTimeEdit : public QDateTimeEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDateTimeEdit)

public:
    explicit CDateTimeEdit(QWidget *parent = nullptr);
    explicit CDateTimeEdit(const QDateTime &dateTime, QWidget *parent = nullptr);
    /** A date-only editor, shown "yyyy-MM-dd". */
    explicit CDateTimeEdit(const QDate &date, QWidget *parent = nullptr);
    /** A time-only editor, shown "hh:mm:ss". */
    explicit CDateTimeEdit(const QTime &time, QWidget *parent = nullptr);
    ~CDateTimeEdit() override;

protected:
    CDateTimeEdit(const QVariant &value, QMetaType::Type type, QWidget *parent = nullptr);

    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Init(QMetaType::Type type);
    void ShowCalendarPopup();
    void OnResetButton();

    CCalendarTimePopup *m_pPopup = nullptr;
};

/** The date-only CDateTimeEdit, starting at today. */
class VEXAWIDGETS_EXPORT CDateEdit : public CDateTimeEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDateEdit)

public:
    explicit CDateEdit(QWidget *parent = nullptr);
    ~CDateEdit() override;
};

/** A time editor that callers switch on and off by a flag. */
class VEXAWIDGETS_EXPORT CTimeEdit : public QTimeEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTimeEdit)

public:
    using QTimeEdit::QTimeEdit;
    ~CTimeEdit() override;

public slots:
    /** Disables the editor when \a b; false leaves it as it is. */
    void setUserDisabled(bool b);
    /** Enables the editor when \a b; false leaves it as it is. */
    void setUserEnabled(bool b);
};
